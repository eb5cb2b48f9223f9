// Fuzzes encoding detection and line reading over arbitrary bytes. The first
// byte picks how many bytes one read of the file delivers; the rest is the file.
// However the reads are cut, the kind, the lines and the fault are the same.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/memory_file.h"
#include "textfile/text_file.h"

namespace {

struct Reading {
  TextEncoding kind;
  std::vector<std::u16string> lines;
  ReadFault fault;
};

Reading ReadAll(const std::string& bytes, std::size_t chunk) {
  TextFile file(std::make_unique<MemoryFile>(bytes, chunk));
  Reading r;
  r.kind = file.GetEncoding();
  std::u16string line;
  while (file.ReadLine(line))
    r.lines.push_back(line);
  r.fault = file.Fault();
  // Once it has said no, the reader stays silent.
  if (file.ReadLine(line) || !line.empty())
    std::abort();
  return r;
}

bool IsUtf16(TextEncoding kind) {
  return kind == TextEncoding::Utf16LeBom || kind == TextEncoding::Utf16Le ||
         kind == TextEncoding::Utf16BeBom;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  std::size_t chunk = 1 + data[0] % 17;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  Reading whole = ReadAll(bytes, SIZE_MAX);
  Reading cut = ReadAll(bytes, chunk);
  if (whole.kind != cut.kind || whole.lines != cut.lines || whole.fault != cut.fault)
    std::abort();

  if (whole.kind == TextEncoding::Undetected || static_cast<int>(whole.kind) > 7)
    std::abort();
  if (whole.fault == ReadFault::ReadError)
    std::abort();  // memory does not fail
  if (whole.fault == ReadFault::OddLength && !IsUtf16(whole.kind))
    std::abort();
  std::size_t units = 0;
  for (const std::u16string& line : whole.lines) {
    // Lines come without their ends, and never hold what was refused.
    if (!line.empty() && (line.back() == u'\r' || line.back() == u'\n'))
      std::abort();
    if (line.find(u'\n') != std::u16string::npos || line.find(u'\0') != std::u16string::npos)
      std::abort();
    units += line.size();
  }
  // Every unit comes from at least one byte of the file.
  if (units > bytes.size())
    std::abort();
  return 0;
}
