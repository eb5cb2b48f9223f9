#include "tests/e2e_cases.h"

#include "tests/utf16.h"

#ifndef INISEAL_VERSION
#error "INISEAL_VERSION must name the project version"
#endif

namespace {

using namespace std::string_literals;

const std::string kBanner = "Generate checksum for .INI file\n";

// Inputs, and what tools/seal_model.py says their sealed forms are.
const std::string kAscii = "0x1234\n  [section]\nkey=1\n; comment\n\n\tname = value \n";
const std::string kAsciiSealed =
    "0x7ec462d\r\n[section]\r\nkey=1\r\n; comment\r\n\r\nname = value \r\n";
const std::string kUtf8 = "0xdead\r\n[s]\r\nk=caf\xc3\xa9\r\n";
const std::string kUtf8Sealed = "0xf0f4b6b9\r\n[s]\r\nk=caf\xc3\xa9\r\n";
const std::string kUtf8SealedAnsi = "0xee06ab8\r\n[s]\r\nk=caf\xe9\r\n";
const std::string kAnsi = "old\r\nk=caf\xe9\r\n";
const std::string kAnsiSealed = "0x14adb66b\r\nk=caf\xe9\r\n";
const std::string kAnsiSealedUtf8 = "0x73e3026b\r\nk=caf\xc3\xa9\r\n";
const std::u16string kWideText = u"old\r\n[s]\r\nk=\u4e2d\u00e9\r\n";
const std::string kWideSealedUtf8 = "0x4f35b70b\r\n[s]\r\nk=\xe4\xb8\xad\xc3\xa9\r\n";
const std::string kWideSealedAnsi = "0x3f58dfcf\r\n[s]\r\nk=?\xe9\r\n";
const std::string kUtf8Bom = "\xef\xbb\xbfold\n k=\xe2\x82\xac\n";
const std::string kUtf8BomSealed = "0xd36988ff\r\nk=\xe2\x82\xac\r\n";

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += piece;
  return out;
}

// Lines far longer than any line buffer: the first outgrows the 15-bit word count.
const std::string kLongLines =
    "0x0\n"
    "k=" +
    std::string(70000, 'x') + "\nv=" + Repeat("\xe2\x82\xac", 5000) + "\n";
const std::string kLongLinesSealed =
    "0xa9cdd2c\r\nk=" + std::string(70000, 'x') + "\r\nv=" + Repeat("\xe2\x82\xac", 5000) + "\r\n";

std::string Sealed(const std::string& checksum, const std::string& shownName) {
  return "Checksum is: " + checksum + "\nOutput is in file: " + shownName + "\n";
}

std::string SealMatches(const std::string& checksum, const std::string& shownName) {
  return "Checksum is: " + checksum + "\nSeal matches: " + shownName + "\n";
}

std::string SealBroken(const std::string& checksum, const std::string& shownName) {
  return "Checksum is: " + checksum + "\nSeal does not match: " + shownName + "\n";
}

// The usage text itself is the help's business; what counts is that it comes
// instead of a run.
const std::string kUsage = "Usage: iniseal [/Q] [/S | /U | /V] [file]\n{...}";
const std::string kVersion = "iniseal " INISEAL_VERSION " (built {date})\n";

// kAsciiSealed with one byte changed (key=1 became key=2), and its true checksum.
const std::string kAsciiTampered =
    "0x7ec462d\r\n[section]\r\nkey=2\r\n; comment\r\n\r\nname = value \r\n";
const std::string kAsciiTamperedChecksum = "0x7eceae1";

std::vector<E2eCase> MakeCases() {
  const std::string pairOutput =
      kBanner + Sealed("0x7ec462d", "hostcfg.ini") + Sealed("0xf0f4b6b9", "hostcfgu.ini");
  const std::vector<E2eFile> pair = {{"tool/hostcfg.ini", kAscii}, {"tool/hostcfgu.ini", kUtf8}};
  const std::vector<E2eFile> pairSealed = {{"tool/hostcfg.ini", kAsciiSealed},
                                           {"tool/hostcfgu.ini", kUtf8Sealed}};
  return {
      // The pair beside the tool.
      {"PairWithoutArguments", {}, pair, 0, pairOutput, pairSealed},
      {"NothingToDo", {}, {}, 0, kBanner, {}},
      {"QuietSilencesEverything", {"/q"}, pair, 0, "", pairSealed},
      {"QuietByDashAndLongForm", {"-quiet"}, pair, 0, "", pairSealed},
      {"CheckModeReadsOnlyTheFirst",
       {"/S"},
       {{"tool/hostcfg.ini", kAscii}, {"tool/hostcfgu.ini/not-a-file", ""}},
       0,
       kBanner + "Checksum is: 0x7ec462d\n",
       {}},
      {"LaterModeOptionWins", {"/S", "-u"}, pair, 0, pairOutput, pairSealed},
      {"LaterModeOptionWinsCheck",
       {"/U", "-silent"},
       pair,
       0,
       kBanner + "Checksum is: 0x7ec462d\n",
       {}},
      {"PartnerGivenFirst",
       {"hostcfgu.ini"},
       pair,
       0,
       kBanner + Sealed("0xf0f4b6b9", "hostcfgu.ini") + Sealed("0x7ec462d", "hostcfg.ini"),
       pairSealed},
      {"PairInAnotherDirectory",
       {"sub{/}HOSTCFG.INI"},
       {{"work/sub/HOSTCFG.INI", kUtf8}, {"work/sub/hostcfgu.ini", kAnsi}},
       0,
       kBanner + Sealed("0xee06ab8", "sub{/}HOSTCFG.INI") + Sealed("0x73e3026b", "hostcfgu.ini"),
       {{"work/sub/HOSTCFG.INI", kUtf8SealedAnsi}, {"work/sub/hostcfgu.ini", kAnsiSealedUtf8}}},
      {"OnlyTheUtf8TwinPresent",
       {},
       {{"tool/hostcfgu.ini", kAnsi}},
       0,
       kBanner + Sealed("0x73e3026b", "hostcfgu.ini"),
       {{"tool/hostcfgu.ini", kAnsiSealedUtf8}}},
      {"NamedPairFileMissing",
       {"hostcfg.ini"},
       {},
       255,
       kBanner + "Cannot open input file hostcfg.ini, e={e}\n",
       {}},
      {"OptionAloneAndPairMissing",
       {"/U"},
       {},
       255,
       kBanner + "Cannot open input file hostcfg.ini, e={e}\n",
       {}},
      {"QuietAloneAndPairMissing", {"/Q"}, {}, 255, "", {}},
      {"CheckModePairMissing",
       {"/S"},
       {},
       255,
       kBanner + "Cannot open input file hostcfg.ini, e={e}\n",
       {}},
      {"SecondOfPairMissingIsSkipped",
       {"hostcfg.ini"},
       {{"tool/hostcfg.ini", kAscii}},
       0,
       kBanner + Sealed("0x7ec462d", "hostcfg.ini"),
       {{"tool/hostcfg.ini", kAsciiSealed}}},
      {"EmptyPairFileStopsTheRun",
       {},
       {{"tool/hostcfg.ini", ""}, {"tool/hostcfgu.ini", kUtf8}},
       132,
       kBanner + "Cannot read hostcfg.ini (132)",
       {}},

      // One named file.
      {"LastNameWins",
       {"a.ini", "b.ini"},
       {{"tool/a.ini", kAscii}, {"tool/b.ini", "0x1\nk=v\n"}},
       0,
       kBanner + Sealed("0xd64588e9", "b.ini"),
       {{"tool/b.ini", "0xd64588e9\r\nk=v\r\n"}}},
      {"SlashAndDashAloneAreIgnored",
       {"/", "-", "x.ini", "/S"},
       {{"tool/x.ini", kAscii}},
       0,
       kBanner + "Checksum is: 0x7ec462d\n",
       {}},
      {"CheckModeLeavesTheFile",
       {"/S", "x.ini"},
       {{"tool/x.ini", kUtf8}},
       0,
       kBanner + "Checksum is: 0xf0f4b6b9\n",
       {}},
      {"OneLineOnly",
       {"x.ini"},
       {{"tool/x.ini", "0x99\n"}},
       0,
       kBanner + Sealed("0x0", "x.ini"),
       {{"tool/x.ini", "0x0\r\n"}}},
      {"OneLineOnlyCheck",
       {"/s", "x.ini"},
       {{"tool/x.ini", "0x99"}},
       0,
       kBanner + "Checksum is: 0x0\n",
       {}},
      {"EmptyFile", {"x.ini"}, {{"tool/x.ini", ""}}, 132, kBanner + "Cannot read x.ini (132)", {}},
      {"BareMarkIsEmpty",
       {"x.ini"},
       {{"tool/x.ini", "\xef\xbb\xbf"}},
       132,
       kBanner + "Cannot read x.ini (132)",
       {}},
      {"MissingFile", {"x.ini"}, {}, 255, kBanner + "Cannot open input file x.ini, e={e}\n", {}},
      {"RelativePathUsesCurrentDirectory",
       {"sub{/}x.ini"},
       {{"work/sub/x.ini", kAscii}},
       0,
       kBanner + Sealed("0x7ec462d", "sub{/}x.ini"),
       {{"work/sub/x.ini", kAsciiSealed}}},
      {"AbsolutePath",
       {"{tool}{/}x.ini", "/S"},
       {{"tool/x.ini", kAscii}},
       0,
       kBanner + "Checksum is: 0x7ec462d\n",
       {}},
      {"PercentInNameIsPrintedAsIs",
       {"a%d%s.ini"},
       {{"tool/a%d%s.ini", "x\n"}},
       0,
       kBanner + Sealed("0x0", "a%d%s.ini"),
       {{"tool/a%d%s.ini", "0x0\r\n"}}},

      // Encodings in and out.
      {"AnsiStaysAnsi",
       {"x.ini"},
       {{"tool/x.ini", kAnsi}},
       0,
       kBanner + Sealed("0x14adb66b", "x.ini"),
       {{"tool/x.ini", kAnsiSealed}}},
      {"Utf8BomLosesItsMark",
       {"x.ini"},
       {{"tool/x.ini", kUtf8Bom}},
       0,
       kBanner + Sealed("0xd36988ff", "x.ini"),
       {{"tool/x.ini", kUtf8BomSealed}}},
      {"Utf16LeBomBecomesUtf8",
       {"x.ini"},
       {{"tool/x.ini", "\xff\xfe" + Utf16Le(kWideText)}},
       0,
       kBanner + Sealed("0x4f35b70b", "x.ini"),
       {{"tool/x.ini", kWideSealedUtf8}}},
      {"Utf16LeBecomesUtf8",
       {"x.ini"},
       {{"tool/x.ini", Utf16Le(kWideText)}},
       0,
       kBanner + Sealed("0x4f35b70b", "x.ini"),
       {{"tool/x.ini", kWideSealedUtf8}}},
      {"Utf16BeBomBecomesAnsi",
       {"x.ini"},
       {{"tool/x.ini", "\xfe\xff" + Utf16Be(kWideText)}},
       0,
       kBanner + Sealed("0x3f58dfcf", "x.ini"),
       {{"tool/x.ini", kWideSealedAnsi}}},
      {"BestFitBlankAndSemicolonCountAsWritten",
       {"x.ini"},
       // U+2003 is written as a blank and U+037E as ";": the sealed file must
       // carry the checksum of the lines it holds, one counted and one a comment.
       {{"tool/x.ini", "\xfe\xff" + Utf16Be(u"old\r\n\u2003key=1\r\n\u037ecomment\r\n")}},
       0,
       kBanner + Sealed("0xac21ebb8", "x.ini"),
       {{"tool/x.ini", "0xac21ebb8\r\nkey=1\r\n;comment\r\n"}}},
      {"PairForcesItsEncodings",
       {},
       {{"tool/hostcfg.ini", kUtf8}, {"tool/hostcfgu.ini", "\xff\xfe" + Utf16Le(kWideText)}},
       0,
       kBanner + Sealed("0xee06ab8", "hostcfg.ini") + Sealed("0x4f35b70b", "hostcfgu.ini"),
       {{"tool/hostcfg.ini", kUtf8SealedAnsi}, {"tool/hostcfgu.ini", kWideSealedUtf8}}},
      {"SealedFileResealsToItself",
       {"x.ini"},
       {{"tool/x.ini", kAsciiSealed}},
       0,
       kBanner + Sealed("0x7ec462d", "x.ini"),
       {}},

      {"LongLinesStayWhole",
       {"x.ini"},
       {{"tool/x.ini", kLongLines}},
       0,
       kBanner + Sealed("0xa9cdd2c", "x.ini"),
       {{"tool/x.ini", kLongLinesSealed}}},
      {"LongLinesResealToThemselves",
       {"x.ini"},
       {{"tool/x.ini", kLongLinesSealed}},
       0,
       kBanner + Sealed("0xa9cdd2c", "x.ini"),
       {}},

      // What cannot be sealed without loss is refused and left alone.
      {"ZeroByteIsRefused",
       {"x.ini"},
       {{"tool/x.ini", "first\nk=a\0b\n"s}},
       255,
       kBanner + "Cannot read x.ini: it holds a zero character, which would be lost\n",
       {}},
      {"ZeroByteIsRefusedInCheckMode",
       {"x.ini", "/S"},
       {{"tool/x.ini",
         "\xef\xbb\xbf"
         "first\nk=a\0b\n"s}},
       255,
       kBanner + "Cannot read x.ini: it holds a zero character, which would be lost\n",
       {}},
      {"OddLengthUtf16IsRefused",
       {"x.ini"},
       {{"tool/x.ini", "\xff\xfe" + Utf16Le(u"a\r\nb=1") + "c"}},
       255,
       kBanner + "Cannot read x.ini: its UTF-16 text ends in half a character\n",
       {}},
      {"IllFormedUtf8IsRefused",
       {"x.ini"},
       {{"tool/x.ini", "first\nk=\xc0\xaf\n"}},  // overlong: sniffed as UTF-8, not decodable
       255,
       kBanner + "Cannot read x.ini: it holds text that is not valid in its encoding, which would "
                 "be lost\n",
       {}},
      {"LoneSurrogateIsRefused",
       {"x.ini"},
       {{"tool/x.ini", "\xff\xfe" + Utf16Le(u"a\r\nb=\xd800\r\n")}},
       255,
       kBanner + "Cannot read x.ini: it holds text that is not valid in its encoding, which would "
                 "be lost\n",
       {}},
      {"ArgumentNotUtf8IsRefused", {"x\xff.ini"}, {{"tool/x\xff.ini", kAscii}}, 255, "", {}, true},
      {"Utf16UnitsHoldingControlBytesSurvive",
       {"x.ini"},
       // U+041A holds 0x1A, U+0D0A and U+0A0D hold 0x0D and 0x0A, U+0A00 a 0x0A at an odd offset
       {{"tool/x.ini",
         "\xff\xfe" +
             Utf16Le(u"old\r\n[s]\r\nk=\u041a\u0d0a\u0a0d\u1a1a\u0a00\u001a\r\nz\u0a0d\r\n")}},
       0,
       kBanner + Sealed("0x1e9303a", "x.ini"),
       {{"tool/x.ini",
         "0x1e9303a\r\n[s]\r\nk=\xd0\x9a\xe0\xb4\x8a\xe0\xa8\x8d\xe1\xa8\x9a\xe0\xa8\x80\x1a\r\n"
         "z\xe0\xa8\x8d\r\n"}}},
      {"DirectoryIsRefused",
       {"x.ini"},
       {{"tool/x.ini/inner", ""}},
       255,
       kBanner + "Cannot open input file x.ini: not a regular file\n",
       {}},
      {"TemporaryFileIsRefused",
       {"lic.$$$"},
       {{"tool/lic.$$$", kAscii}},
       255,
       kBanner + "Cannot seal lic.$$$: it is the tool's temporary file\n",
       {}},
      {"StaleTemporaryFileDoesNotStopARun",
       {"x.ini"},
       {{"tool/x.ini", kAscii}, {"tool/lic.$$$", "stale"}},
       0,
       kBanner + Sealed("0x7ec462d", "x.ini"),
       {{"tool/x.ini", kAsciiSealed}}},
      {"PathTooLong",
       {std::string(300, 'a') + ".ini"},
       {},
       255,
       kBanner + "Path too long: " + std::string(300, 'a').substr(0, 255 - 15),
       {}},

      // Help and version come instead of a run, whatever else is given.
      {"HelpBySlashQuestionMark", {"/?"}, pair, 0, kUsage, {}},
      {"HelpByDashQuestionMark", {"-?"}, pair, 0, kUsage, {}},
      {"HelpByDashH", {"-h"}, pair, 0, kUsage, {}},
      {"HelpByDoubleDash", {"--help"}, pair, 0, kUsage, {}},
      {"HelpByLongForm", {"-Help"}, pair, 0, kUsage, {}},
      {"HelpAnywhereOpensNoFile", {"/S", "missing.ini", "/?"}, {}, 0, kUsage, {}},
      {"HelpPrintsDespiteQuiet", {"/Q", "-h"}, pair, 0, kUsage, {}},
      {"HelpBeforeVersion", {"--version", "--help"}, pair, 0, kUsage, {}},
      {"Version", {"--version"}, pair, 0, kVersion, {}},
      {"VersionPrintsDespiteQuietAndOpensNoFile",
       {"-q", "missing.ini", "--version"},
       {},
       0,
       kVersion,
       {}},

      // Verify mode: the checksum against the first line, nothing written.
      {"VerifyFreshSeal",
       {"/V", "x.ini"},
       {{"tool/x.ini", kAsciiSealed}},
       0,
       kBanner + SealMatches("0x7ec462d", "x.ini"),
       {}},
      {"VerifyOneByteChanged",
       {"x.ini", "-v"},
       {{"tool/x.ini", kAsciiTampered}},
       1,
       kBanner + SealBroken(kAsciiTamperedChecksum, "x.ini"),
       {}},
      {"VerifyUnsealedFile",
       {"/V", "x.ini"},
       {{"tool/x.ini", kAscii}},
       1,
       kBanner + SealBroken("0x7ec462d", "x.ini"),
       {}},
      {"VerifyFirstLineIsNoChecksum",
       {"/V", "x.ini"},
       {{"tool/x.ini", "[section]\nkey=1\n"}},
       1,
       kBanner + "Checksum is: 0xac21ebb8\nSeal does not match: x.ini (its first line is no "
                 "checksum)\n",
       {}},
      {"VerifyTakesCaseBlanksAndLeadingZeros",
       {"/V", "x.ini"},
       {{"tool/x.ini", " \t0X07EC462D \t" + kAsciiSealed.substr(kAsciiSealed.find('\r'))}},
       0,
       kBanner + SealMatches("0x7ec462d", "x.ini"),
       {}},
      {"VerifyUtf16AsSealingReadsIt",
       {"/V", "x.ini"},
       {{"tool/x.ini", "\xff\xfe" + Utf16Le(u" 0X4F35B70B\t\r\n[s]\r\nk=\u4e2d\u00e9\r\n")}},
       0,
       kBanner + SealMatches("0x4f35b70b", "x.ini"),
       {}},
      {"VerifyPair",
       {"/V"},
       pairSealed,
       0,
       kBanner + SealMatches("0x7ec462d", "hostcfg.ini") +
           SealMatches("0xf0f4b6b9", "hostcfgu.ini"),
       {}},
      {"VerifyPairGoesOnPastABrokenSeal",
       {"-V"},
       {{"tool/hostcfg.ini", kAsciiTampered}, {"tool/hostcfgu.ini", kUtf8Sealed}},
       1,
       kBanner + SealBroken(kAsciiTamperedChecksum, "hostcfg.ini") +
           SealMatches("0xf0f4b6b9", "hostcfgu.ini"),
       {}},
      {"VerifyPairPartnerMissing",
       {"/V", "hostcfgu.ini"},
       {{"tool/hostcfgu.ini", kUtf8Sealed}},
       0,
       kBanner + SealMatches("0xf0f4b6b9", "hostcfgu.ini") +
           "Not verified: hostcfg.ini cannot be opened, e={e}\n",
       {}},
      {"VerifyPairFirstMissing",
       {"/V"},
       {{"tool/hostcfgu.ini", kUtf8Sealed}},
       255,
       kBanner + "Cannot open input file hostcfg.ini, e={e}\n",
       {}},
      {"VerifyQuietTellsByExitCode", {"/Q", "/V", "x.ini"}, {{"tool/x.ini", kAscii}}, 1, "", {}},
      {"VerifyEmptyFile",
       {"/V", "x.ini"},
       {{"tool/x.ini", ""}},
       132,
       kBanner + "Cannot read x.ini (132)",
       {}},
      {"LaterModeOptionWinsVerify",
       {"/V", "/S", "-verify", "x.ini"},
       {{"tool/x.ini", kAsciiSealed}},
       0,
       kBanner + SealMatches("0x7ec462d", "x.ini"),
       {}},
      {"LaterModeOptionWinsOverVerify",
       {"/V", "-u", "x.ini"},
       {{"tool/x.ini", kAscii}},
       0,
       kBanner + Sealed("0x7ec462d", "x.ini"),
       {{"tool/x.ini", kAsciiSealed}}},
  };
}

}  // namespace

const std::vector<E2eCase>& E2eCases() {
  static const std::vector<E2eCase> cases = MakeCases();
  return cases;
}
