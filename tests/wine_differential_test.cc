// The native build against the Windows build under Wine on a generated corpus
// of INI files in all seven encodings: both must seal to the same bytes, print
// the same messages (each read in its console's encoding) and exit alike.
// Where they differ, the POSIX layer is wrong: it stands in for Windows.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/tool_runner.h"
#include "textfile/convert.h"

#ifndef INISEAL_WINE_RUNNER
#error "INISEAL_WINE_RUNNER must name the command that runs Windows programs"
#endif

namespace {

struct DiffCase {
  std::string name;
  std::string fileName;
  std::string bytes;
};

void PrintTo(const DiffCase& c, std::ostream* os) {
  *os << c.name;
}

std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string out;
  for (char16_t u : text) {
    char hi = static_cast<char>(u >> 8);
    char lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

// The file's bytes in each of the seven encodings the reader tells apart.
std::vector<std::pair<std::string, std::string>> Encodings(std::u16string_view text) {
  std::string utf8 = ToNarrowAlloc(text, 65001);
  return {
      {"Narrow", ToNarrowAlloc(text, 0)},  // ASCII where the text is, else ANSI
      {"Ansi", ToNarrowAlloc(text, 0) + "\xe9\r\n"},
      {"Utf8Bom", "\xef\xbb\xbf" + utf8},
      {"Utf8", utf8 + "\xc3\xa9\r\n"},
      {"Utf16LeBom", "\xff\xfe" + Utf16(text, false)},
      {"Utf16Le", Utf16(text, false)},
      {"Utf16BeBom", "\xfe\xff" + Utf16(text, true)},
  };
}

// Texts with what a sealed file must keep or change: indents, comments, blank
// lines, every line end, text in Windows-1252, text outside it, best fit,
// surrogate pairs and controls.
std::vector<std::pair<std::string, std::u16string>> Texts() {
  std::vector<std::pair<std::string, std::u16string>> texts = {
      {"Plain", u"0x1234\r\n  [section]\r\nkey=1\r\n; comment\r\n\r\n\tname = value \r\n"},
      {"LineEnds", u"old\nk=1\r\n\r\r\nv=2\rw=3\n\n"},
      {"Western", u"old\r\n[Caf\u00e9]\r\nna\u00efve=\u20ac 5 \u2014 \u0160\u017e\u0178\r\n"},
      {"Elsewhere",
       u"old\r\n[\u03ba\u03bb\u03b5\u03b9\u03b4\u03af]\r\n\u4e2d\u6587=\u041f\u0440\u0438\r\n"
       u"smile=\U0001F600\r\n"},
      {"BestFit", u"old\r\n\u0100\u0101=\u2010\uff21\u2264\r\n\u3000ideographic space\r\n"},
      {"Controls", u"old\r\n\x01\x1f key=\x7f\x81\x8d\x9d\r\n"},
  };
  // And random ones, the same on every run.
  static const std::u16string kPieces[] = {
      u"key=value",    u"[s]",          u";",      u" ",          u"\t",     u"caf\u00e9",
      u"\u20ac\u2122", u"\u03bb\u03b5", u"\u4e2d", u"\U0001F600", u"\u0100", u"\r\n",
      u"\n",           u"\r",           u"=",
  };
  std::mt19937 random(7);
  for (int i = 0; i < 6; ++i) {
    std::u16string text = u"old\r\n";
    for (int k = std::uniform_int_distribution<int>(5, 40)(random); k > 0; --k)
      text +=
          kPieces[std::uniform_int_distribution<std::size_t>(0, std::size(kPieces) - 1)(random)];
    texts.push_back({"Random" + std::to_string(i), text});
  }
  return texts;
}

std::vector<DiffCase> Corpus() {
  std::vector<DiffCase> cases;
  for (const auto& [textName, text] : Texts()) {
    for (const auto& [kind, bytes] : Encodings(text))
      cases.push_back({textName + "_" + kind, "x.ini", bytes});
  }
  // The pair forces its own encodings whatever it holds.
  for (const auto& [kind, bytes] : Encodings(Texts()[2].second)) {
    cases.push_back({"Pair_" + kind, "hostcfg.ini", bytes});
    cases.push_back({"PairUtf8_" + kind, "hostcfgu.ini", bytes});
  }
  // UTF-8 that is not valid behind a mark, clear of the line end, where Wine's
  // conversion differs from Windows'.
  cases.push_back({"InvalidUtf8", "x.ini",
                   "\xef\xbb\xbfold\r\na=\xe9xyz\r\nb=\xc0\x80xyz\r\nc=\xed\xa0\x80xyz\r\n"
                   "d=\xf5\x80xyz\r\ne=\xf0\x9f\x98xyz\r\nf=\x80\r\n"});
  return cases;
}

const ToolTarget& NativeTool() {
  static const ToolTarget target{INISEAL_NATIVE_TOOL, "", false};
  return target;
}

const ToolTarget& WindowsTool() {
  static const ToolTarget target{INISEAL_WINDOWS_TOOL, INISEAL_WINE_RUNNER, true};
  return target;
}

struct Outcome {
  int exitCode;
  std::string output;  // as UTF-8
  std::string sealed;
  std::vector<std::string> files;
};

Outcome RunTool(const ToolTarget& target, const DiffCase& c, const std::vector<std::string>& args) {
  Scratch scratch(target);
  scratch.Write("tool/" + c.fileName, c.bytes);
  ToolRun run = RunInScratch(scratch, args);
  std::string output = run.output;
  if (target.windows) {
    // The Windows console takes the ANSI code page.
    std::u16string wide;
    ToWide(output.data(), output.size(), 0, wide);
    output = ToNarrowAlloc(wide, 65001);
  }
  return {run.exitCode, output, scratch.Read("tool/" + c.fileName), scratch.Files()};
}

class Differential : public ::testing::TestWithParam<DiffCase> {};

TEST_P(Differential, SealAndCheckAgree) {
  const DiffCase& c = GetParam();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{c.fileName}, std::vector<std::string>{"/S", c.fileName}}) {
    Outcome native = RunTool(NativeTool(), c, args);
    Outcome windows = RunTool(WindowsTool(), c, args);
    std::string mode = args.size() == 1 ? "seal" : "check";
    EXPECT_EQ(windows.exitCode, native.exitCode) << mode;
    EXPECT_EQ(windows.output, native.output) << mode;
    EXPECT_EQ(windows.sealed, native.sealed) << mode;
    EXPECT_EQ(windows.files, native.files) << mode;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, Differential, ::testing::ValuesIn(Corpus()),
                         [](const auto& param) { return param.param.name; });

}  // namespace
