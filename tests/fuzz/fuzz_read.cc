// Fuzzes encoding detection and line reading over arbitrary bytes. The first
// byte picks how many bytes one read of the file delivers; the rest is the file.
// However the reads are cut, and whether ASCII lines are taken as bytes, the
// kind, the lines and the fault are the same.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "tests/memory_file.h"
#include "textfile/convert.h"
#include "textfile/text_file.h"

namespace {

bool IsUtf16(TextEncoding kind) {
  return kind == TextEncoding::Utf16LeBom || kind == TextEncoding::Utf16Le ||
         kind == TextEncoding::Utf16BeBom;
}

struct Reading {
  TextEncoding kind;
  std::vector<std::u16string> lines;
  ReadFault fault;
};

// The ASCII way asks ReadAsciiLine first and takes ReadLine where it declines.
Reading ReadAll(const std::string& bytes, std::size_t chunk, bool asciiWay = false) {
  TextFile file(std::make_unique<MemoryFile>(bytes, chunk));
  Reading r;
  r.kind = file.GetEncoding();
  std::u16string line;
  std::string_view ascii;
  for (;;) {
    if (asciiWay && file.ReadAsciiLine(&ascii)) {
      if (IsUtf16(r.kind))
        std::abort();
      r.lines.emplace_back(ascii.begin(), ascii.end());
    } else if (file.ReadLine(line)) {
      r.lines.push_back(line);
    } else {
      break;
    }
  }
  r.fault = file.Fault();
  // Once it has said no, the reader stays silent.
  if (file.ReadLine(line) || !line.empty())
    std::abort();
  return r;
}

// The file's lines as stored, split apart from the reader: after the mark, cut
// after each line feed, without their trailing CR and LF.
std::vector<std::u16string> Utf16Lines(const std::string& bytes, TextEncoding kind) {
  bool bigEndian = kind == TextEncoding::Utf16BeBom;
  std::size_t start = kind == TextEncoding::Utf16Le ? 0 : 2;
  std::vector<std::u16string> lines(1);
  for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
    unsigned a = static_cast<unsigned char>(bytes[i]);
    unsigned b = static_cast<unsigned char>(bytes[i + 1]);
    lines.back() += static_cast<char16_t>(bigEndian ? a << 8 | b : b << 8 | a);
    if (lines.back().back() == u'\n')
      lines.emplace_back();
  }
  if (lines.back().empty())
    lines.pop_back();
  for (std::u16string& line : lines) {
    while (!line.empty() && (line.back() == u'\r' || line.back() == u'\n'))
      line.pop_back();
  }
  return lines;
}

std::vector<std::string> ByteLines(const std::string& bytes, TextEncoding kind) {
  std::size_t start = kind == TextEncoding::Utf8Bom ? 3 : 0;
  std::vector<std::string> lines(1);
  for (std::size_t i = start; i < bytes.size(); ++i) {
    lines.back() += bytes[i];
    if (bytes[i] == '\n')
      lines.emplace_back();
  }
  if (lines.back().empty())
    lines.pop_back();
  for (std::string& line : lines) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
      line.pop_back();
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  std::size_t chunk = 1 + data[0] % 17;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  Reading whole = ReadAll(bytes, SIZE_MAX);
  for (bool asciiWay : {false, true}) {
    Reading cut = ReadAll(bytes, chunk, asciiWay);
    if (whole.kind != cut.kind || whole.lines != cut.lines || whole.fault != cut.fault)
      std::abort();
  }

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

  // A file read to its end gives back its content exactly: its lines, in their
  // own encoding again, are the bytes the file holds.
  if (whole.fault == ReadFault::None) {
    if (IsUtf16(whole.kind)) {
      if (whole.lines != Utf16Lines(bytes, whole.kind))
        std::abort();
    } else {
      unsigned codePage = whole.kind == TextEncoding::Utf8 || whole.kind == TextEncoding::Utf8Bom
                              ? platform::kUtf8CodePage
                              : platform::kAnsiCodePage;
      std::vector<std::string> expected = ByteLines(bytes, whole.kind);
      if (expected.size() != whole.lines.size())
        std::abort();
      for (std::size_t i = 0; i < expected.size(); ++i) {
        if (ToNarrowAlloc(whole.lines[i], codePage) != expected[i])
          std::abort();
      }
    }
  }
  return 0;
}
