// Microbenchmarks of the hot paths: the checksum chain, the conversions and
// line reading for each encoding kind. Throughput is in bytes of input.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "app/line_checksum.h"
#include "platform/platform.h"
#include "tests/memory_file.h"
#include "textfile/convert.h"
#include "textfile/text_file.h"

namespace {

constexpr unsigned kAnsi = platform::kAnsiCodePage;
constexpr unsigned kUtf8 = platform::kUtf8CodePage;

// INI-like lines in UTF-16: sections, comments, blanks and key=value pairs.
// With nonAscii the values hold Latin accents, Greek, Cyrillic and CJK.
std::vector<std::u16string> SampleLines(std::size_t count, bool nonAscii) {
  static const char16_t* const kPlain[] = {u"alpha", u"server", u"timeout", u"path", u"value"};
  static const char16_t* const kWide[] = {u"caf\u00e9", u"gr\u00f6\u00dfe", u"\u65e5\u672c\u8a9e",
                                          u"\u0434\u0430\u043d\u043d\u044b\u0435",
                                          u"\u03b5\u03bb\u03bb\u03b7\u03bd"};
  std::vector<std::u16string> lines;
  for (std::size_t i = 0; i < count; ++i) {
    std::u16string line;
    if (i % 50 == 0) {
      line = u"[section]";
    } else if (i % 17 == 0) {
      line = u"; a comment about the next key";
    } else if (i % 23 != 0) {
      const char16_t* const* words = nonAscii ? kWide : kPlain;
      line = u"  ";
      line += kPlain[i % 5];
      line += u"=";
      line += words[(i / 5) % 5];
      line += u" ";
      line += words[(i / 25) % 5];
      line += u" 12345";
    }
    lines.push_back(line);
  }
  return lines;
}

std::size_t TotalUnits(const std::vector<std::u16string>& lines) {
  std::size_t n = 0;
  for (const std::u16string& line : lines)
    n += line.size();
  return n;
}

// The lines in codePage, each with its line end.
std::string EncodeFile(const std::vector<std::u16string>& lines, unsigned codePage) {
  std::string file;
  for (const std::u16string& line : lines) {
    file += ToNarrowAlloc(line, codePage);
    file += "\r\n";
  }
  return file;
}

std::string EncodeUtf16(const std::vector<std::u16string>& lines, bool bigEndian) {
  std::string file;
  for (const std::u16string& line : lines) {
    for (char16_t u : line + u"\r\n") {
      char lo = static_cast<char>(u & 0xFF);
      char hi = static_cast<char>(u >> 8);
      file += bigEndian ? hi : lo;
      file += bigEndian ? lo : hi;
    }
  }
  return file;
}

// ---------------------------------------------------------------------------
// The checksum chain

void BM_ChecksumWords(benchmark::State& state) {
  std::string bytes(static_cast<std::size_t>(state.range(0)), '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>('a' + i % 26);
  unsigned words = static_cast<unsigned>(bytes.size() / 2);
  std::uint32_t sum = 0;
  for (auto _ : state) {
    sum = ChecksumWords(bytes.data(), words, sum) ^ ChecksumMask;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ChecksumWords)->Arg(40)->Arg(4096);

// AbsorbLine in check mode: conversion to narrow bytes and the chain, per line.
void BM_AbsorbLine(benchmark::State& state) {
  bool nonAscii = state.range(0) != 0;
  std::vector<std::u16string> lines = SampleLines(4096, nonAscii);
  ResetLines();
  SetStoreLines(false);
  SetChecksumCodePage(nonAscii ? kUtf8 : kAnsi);
  for (auto _ : state) {
    for (const std::u16string& line : lines)
      AbsorbLine(line, !line.empty() && line[0] != u';');
    benchmark::DoNotOptimize(RunningChecksum());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalUnits(lines)));
  state.SetLabel(nonAscii ? "utf-8, non-ASCII" : "1252, ASCII");
  SetStoreLines(true);
}
BENCHMARK(BM_AbsorbLine)->Arg(0)->Arg(1);

// ---------------------------------------------------------------------------
// Conversions, line by line as the reader and the writer call them

struct ConversionCase {
  unsigned codePage;
  bool nonAscii;
  const char* label;
};

const ConversionCase kConversions[] = {
    {kAnsi, false, "1252, ASCII"},
    {kAnsi, true, "1252, non-ASCII"},
    {kUtf8, false, "utf-8, ASCII"},
    {kUtf8, true, "utf-8, non-ASCII"},
};

void BM_ToWide(benchmark::State& state) {
  const ConversionCase& c = kConversions[state.range(0)];
  std::vector<std::string> lines;
  std::size_t bytes = 0;
  for (const std::u16string& line : SampleLines(4096, c.nonAscii)) {
    lines.push_back(ToNarrowAlloc(line, c.codePage));
    bytes += lines.back().size();
  }
  std::u16string out;
  for (auto _ : state) {
    for (const std::string& line : lines) {
      ToWide(line.data(), line.size(), c.codePage, out);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.SetLabel(c.label);
}
BENCHMARK(BM_ToWide)->DenseRange(0, 3);

void BM_ToNarrow(benchmark::State& state) {
  const ConversionCase& c = kConversions[state.range(0)];
  std::vector<std::u16string> lines = SampleLines(4096, c.nonAscii);
  std::string out;
  for (auto _ : state) {
    for (const std::u16string& line : lines) {
      ToNarrow(line, c.codePage, out);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * TotalUnits(lines) * sizeof(char16_t)));
  state.SetLabel(c.label);
}
BENCHMARK(BM_ToNarrow)->DenseRange(0, 3);

// ---------------------------------------------------------------------------
// Line reading, for each encoding kind

struct ReadCase {
  TextEncoding kind;
  const char* label;
};

const ReadCase kReads[] = {
    {TextEncoding::Ascii, "Ascii"},           {TextEncoding::Ansi, "Ansi"},
    {TextEncoding::Utf8Bom, "Utf8Bom"},       {TextEncoding::Utf8, "Utf8"},
    {TextEncoding::Utf16LeBom, "Utf16LeBom"}, {TextEncoding::Utf16Le, "Utf16Le"},
    {TextEncoding::Utf16BeBom, "Utf16BeBom"},
};

std::string FileOfKind(TextEncoding kind) {
  bool nonAscii = kind != TextEncoding::Ascii;
  std::vector<std::u16string> lines = SampleLines(1 << 16, nonAscii);
  switch (kind) {
    case TextEncoding::Ascii:
    case TextEncoding::Ansi:
      return EncodeFile(lines, kAnsi);
    case TextEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + EncodeFile(lines, kUtf8);
    case TextEncoding::Utf8:
      return EncodeFile(lines, kUtf8);
    case TextEncoding::Utf16LeBom:
      return "\xFF\xFE" + EncodeUtf16(lines, false);
    case TextEncoding::Utf16Le:
      return EncodeUtf16(lines, false);
    default:
      return "\xFE\xFF" + EncodeUtf16(lines, true);
  }
}

// Sniffing and reading every line of a file of about 2 to 4 MiB.
void BM_ReadLine(benchmark::State& state) {
  const ReadCase& c = kReads[state.range(0)];
  std::string content = FileOfKind(c.kind);
  std::u16string line;
  for (auto _ : state) {
    TextFile file(std::make_unique<MemoryFile>(content));
    if (file.GetEncoding() != c.kind) {
      state.SkipWithError("the sample file was sniffed as another kind");
      break;
    }
    while (file.ReadLine(line))
      benchmark::DoNotOptimize(line.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
  state.SetLabel(c.label);
}
BENCHMARK(BM_ReadLine)->DenseRange(0, 6);

}  // namespace
