// Fuzzes the whole seal in memory: a run of the tool over an in-memory file
// system. The first byte picks the file's name, where reads are cut and which
// step of the rewrite fails; the rest is the file.
//
// A refusal or failure leaves the input exactly as it was and nothing beside
// it. A seal is faithful: read again in the kind it was written in, the sealed
// file holds the checksum of its own lines and exactly the lines the run stored.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/line_checksum.h"
#include "app/run.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/memory_file_system.h"
#include "tests/memory_file.h"
#include "textfile/convert.h"
#include "textfile/text_file.h"

namespace {

const std::u16string kDir = u"/t/";
const std::u16string kProgram = kDir + u"iniseal";

struct Reading {
  TextEncoding kind = TextEncoding::Undetected;
  std::vector<std::u16string> lines;
  bool whole = false;  // read to its end without a fault
};

Reading Read(const std::string& bytes, TextEncoding kind = TextEncoding::Undetected) {
  TextFile file(std::make_unique<MemoryFile>(bytes));
  if (kind != TextEncoding::Undetected)
    file.SetEncoding(kind);
  Reading r;
  r.kind = file.GetEncoding();
  std::u16string line;
  while (file.ReadLine(line))
    r.lines.push_back(line);
  r.whole = file.Fault() == ReadFault::None;
  return r;
}

// The kind a seal writes, by the rules the README gives.
TextEncoding OutputKind(TextEncoding sniffed, const std::u16string& name) {
  if (name == u"hostcfg.ini")
    return TextEncoding::Ansi;
  if (name == u"hostcfgu.ini")
    return TextEncoding::Utf8;
  if (sniffed == TextEncoding::Utf8Bom || sniffed == TextEncoding::Utf16LeBom ||
      sniffed == TextEncoding::Utf16Le)
    return TextEncoding::Utf8;
  return sniffed;
}

unsigned CodePage(TextEncoding outputKind) {
  return outputKind == TextEncoding::Utf8 ? platform::kUtf8CodePage : platform::kAnsiCodePage;
}

std::u16string WithoutLeadingControls(const std::u16string& line) {
  std::size_t skip = 0;
  while (skip < line.size() && line[skip] >= 1 && line[skip] <= 32)
    ++skip;
  return line.substr(skip);
}

std::u16string ChecksumLine(std::uint32_t sum) {
  std::u16string text = u"0x";
  const char* digits = "0123456789abcdef";
  std::u16string hex;
  do {
    hex.insert(hex.begin(), static_cast<char16_t>(digits[sum % 16]));
    sum /= 16;
  } while (sum != 0);
  return text + hex;
}

std::uint32_t ChecksumOf(const std::vector<std::u16string>& lines, std::size_t from,
                         unsigned codePage) {
  ResetLines();
  SetChecksumCodePage(codePage);
  SetStoreLines(false);
  for (std::size_t i = from; i < lines.size(); ++i) {
    std::u16string rest = WithoutLeadingControls(lines[i]);
    AbsorbLine(rest, !rest.empty() && rest[0] != u';');
  }
  std::uint32_t sum = RunningChecksum();
  SetStoreLines(true);
  ResetLines();
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const std::uint8_t control = data[0];
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  static const std::u16string kNames[] = {u"x.ini", u"hostcfg.ini", u"hostcfgu.ini", u"lic.$$$"};
  const std::u16string name = kNames[control & 3];
  const std::u16string path = kDir + name;

  MemoryFileSystem fs;
  fs.files[path] = input;
  fs.SetReadChunk((control & 4) != 0 ? 1 + (control >> 4) : SIZE_MAX);
  int fault = (control >> 3) & 3;  // 0: none
  if (fault == 1)
    fs.writableBytes = static_cast<std::int64_t>(input.size() * (control >> 5) / 8);
  fs.failReplace = fault == 2;
  fs.failSync = fault == 3;

  int exitCode = RunTool({kProgram, u"/Q", name}, fs, kProgram);
  Check(exitCode == 0 || exitCode == 132 || exitCode == 255);
  if (exitCode != 0) {
    // Refused or failed: the input as it was, and nothing left beside it. The
    // pair's partner was never there, so nothing else can have been touched.
    Check(fs.files.size() == 1 && fs.files[path] == input);
    return 0;
  }
  Check(fault == 0 || (fault == 1 && fs.writableBytes >= 0));
  Check(fs.files.size() == 1 && fs.files.count(path) == 1);
  const std::string sealed = fs.files[path];

  Reading before = Read(input);
  Check(before.whole && !before.lines.empty());
  TextEncoding outputKind = OutputKind(before.kind, name);
  unsigned codePage = CodePage(outputKind);
  // Only text the ANSI code page lacks may change, to its best fit or "?"; the
  // lines count as they are written.
  bool lossless = codePage == platform::kUtf8CodePage || before.kind == TextEncoding::Ascii ||
                  before.kind == TextEncoding::Ansi;
  std::vector<std::u16string> taken = before.lines;
  if (!lossless) {
    for (std::u16string& line : taken) {
      std::string narrow = ToNarrowAlloc(line, codePage);
      ToWide(narrow.data(), narrow.size(), codePage, line);
    }
  }
  std::vector<std::u16string> stored;
  for (std::size_t i = 1; i < taken.size(); ++i)
    stored.push_back(WithoutLeadingControls(taken[i]));

  // Every kind but UTF-8 is written in the ANSI code page.
  Reading after =
      Read(sealed, codePage == platform::kUtf8CodePage ? TextEncoding::Utf8 : TextEncoding::Ansi);
  Check(after.whole && after.lines.size() == stored.size() + 1);
  std::uint32_t sum = ChecksumOf(taken, 1, codePage);
  Check(after.lines[0] == ChecksumLine(sum));
  // The sealed file carries the checksum of its own lines.
  Check(ChecksumOf(after.lines, 1, codePage) == sum);
  for (std::size_t i = 0; i < stored.size(); ++i)
    Check(after.lines[i + 1] == stored[i]);

  // Sealing the sealed file again changes nothing, as long as sniffing reads it
  // as it was written. (It may not: 8-bit text whose only bytes that are not
  // UTF-8 stood in the dropped first line reads back as UTF-8.)
  Reading resniffed = Read(sealed);
  if (resniffed.lines == after.lines) {
    MemoryFileSystem again;
    again.files[path] = sealed;
    Check(RunTool({kProgram, u"/Q", name}, again, kProgram) == 0);
    Check(again.files[path] == sealed);
  }
  return 0;
}
