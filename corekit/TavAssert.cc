#include "corekit/TavAssert.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "platform/platform.h"

namespace {

// Working texts, in units, terminator included. They live on the stack: the
// reporter must not need the heap.
constexpr std::size_t kIdentityUnits = 60;
constexpr std::size_t kReportNameUnits = 64;
constexpr std::size_t kReportPathUnits = platform::kMaxPath;
constexpr std::size_t kCaptionUnits = 80;
constexpr std::size_t kMessageUnits = 2048;
constexpr std::size_t kDebuggerLineUnits = 2048;
constexpr std::size_t kErrorPartUnits = 40;
constexpr std::size_t kHeaderUnits = 96;
constexpr std::size_t kExecutablePathUnits = 4096;
// The report as written: every unit takes at most two bytes ("\n" as CR LF).
constexpr std::size_t kReportBytes = 2 * (kHeaderUnits + kMessageUnits + 3);

constexpr int kExitCode = 3;

int g_nSessionId = -1;  // asked for once, then kept

// Formats into pszOut, cut to fit cchCap units.
std::size_t Format(char16_t* pszOut, std::size_t cchCap, const char16_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  std::size_t n = platform::FormatWideV(pszOut, cchCap, pszFormat, args);
  va_end(args);
  return n;
}

// Formats after the cchUsed units already in pszOut, cut to fit cchCap units.
std::size_t AppendFormat(char16_t* pszOut, std::size_t cchCap, std::size_t cchUsed,
                         const char16_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  std::size_t n = platform::FormatWideV(pszOut + cchUsed, cchCap - cchUsed, pszFormat, args);
  va_end(args);
  return cchUsed + n;
}

// Joins the parts into pszOut; false, rather than a cut path that would name
// another file, when they do not fit.
bool JoinWhole(char16_t* pszOut, std::size_t cchCap,
               std::initializer_list<std::u16string_view> parts) {
  std::size_t cchUsed = 0;
  for (std::u16string_view part : parts) {
    if (part.size() >= cchCap - cchUsed)
      return false;
    std::copy(part.begin(), part.end(), pszOut + cchUsed);
    cchUsed += part.size();
  }
  pszOut[cchUsed] = 0;
  return true;
}

// The source path after its last backslash, else after its last "/".
const char* ShortSourceName(const char* pszPath) {
  std::string_view path(pszPath);
  std::size_t cut = path.rfind('\\');
  if (cut == std::string_view::npos)
    cut = path.rfind('/');
  return cut == std::string_view::npos ? pszPath : pszPath + cut + 1;
}

// The program's file name with its extension (".exe" if it has none) replaced
// by ".err", or by ".<session>.err" in a session above 0. A long name is cut
// before the extension, so that the report keeps its ending.
void MakeReportName(std::u16string_view programName, int nSession, char16_t* pszOut) {
  char16_t szSuffix[24];
  std::size_t cchSuffix = nSession > 0 ? Format(szSuffix, std::size(szSuffix), u".%d.err", nSession)
                                       : Format(szSuffix, std::size(szSuffix), u".err");
  std::size_t cchBase = std::min(programName.rfind(u'.'), programName.size());
  cchBase = std::min(cchBase, kReportNameUnits - 1 - cchSuffix);
  JoinWhole(pszOut, kReportNameUnits,
            {programName.substr(0, cchBase), std::u16string_view(szSuffix, cchSuffix)});
}

// The report header: the local time and the operating system.
void FormatHeader(char16_t* pszOut) {
  platform::LocalTime t = platform::CurrentLocalTime();
  std::size_t n = Format(pszOut, kHeaderUnits, u"%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year,
                         t.month, t.day, t.hour, t.minute, t.second, t.milliseconds);
  platform::OsVersion os = platform::CurrentOsVersion();
  if (os.kernel[0] == 0) {
    AppendFormat(pszOut, kHeaderUnits, n, u", Win%s %d.%d\n", os.platformId == 2 ? u"NT" : u"9x",
                 os.major, os.minor);
  } else {
    AppendFormat(pszOut, kHeaderUnits, n, u", %hs %d.%d\n", os.kernel, os.major, os.minor);
  }
}

// Adds text as the report's text stream writes it: "\n" as CR LF and each unit
// up to U+00FF as the byte of that value. A unit above U+00FF ends the piece.
std::size_t PutPiece(char* pBytes, std::size_t cbCap, std::size_t cbUsed, const char16_t* pszText) {
  for (; *pszText != 0 && *pszText <= 0xFF && cbUsed + 2 <= cbCap; ++pszText) {
    if (*pszText == u'\n')
      pBytes[cbUsed++] = '\r';
    pBytes[cbUsed++] = static_cast<char>(*pszText);
  }
  return cbUsed;
}

// The report's bytes: the header, the message and the blank lines after it.
std::size_t MakeReport(const char16_t* pszMessage, char* pBytes) {
  char16_t szHeader[kHeaderUnits];
  FormatHeader(szHeader);
  std::size_t cbUsed = 0;
  for (const char16_t* pszPiece :
       {static_cast<const char16_t*>(szHeader), pszMessage, u"\n", u"\n\n"}) {
    cbUsed = PutPiece(pBytes, kReportBytes, cbUsed, pszPiece);
  }
  return cbUsed;
}

// Appends the report in "Support" beside the program, else beside the program,
// else in the temporary directory; false when none of them takes it.
bool AppendReport(std::u16string_view programDirectory, const char16_t* pszName,
                  const char* pReport, std::size_t cbReport) {
  auto appendAt = [&](std::initializer_list<std::u16string_view> parts) {
    char16_t szPath[kReportPathUnits];
    return JoinWhole(szPath, kReportPathUnits, parts) &&
           platform::AppendToFile(szPath, pReport, cbReport);
  };
  const std::u16string_view separator(&platform::kPathSeparator, 1);
  if (!programDirectory.empty() && (appendAt({programDirectory, u"Support", separator, pszName}) ||
                                    appendAt({programDirectory, pszName}))) {
    return true;
  }
  char16_t szTempDirectory[kReportPathUnits];
  std::u16string_view tempDirectory(szTempDirectory,
                                    platform::TempDirectory(szTempDirectory, kReportPathUnits));
  return !tempDirectory.empty() && appendAt({tempDirectory, pszName});
}

}  // namespace

int GetSessionId() {
  if (g_nSessionId < 0)
    g_nSessionId = std::max(platform::SessionId(), 0);
  return g_nSessionId;
}

const char16_t* GetThreadName() {
  return platform::ThreadNameSlot();
}

void ReportAssertion(const char16_t* pszExpression, const char* pszSourcePath, int nLine) {
  unsigned nError = static_cast<unsigned>(platform::LastError());
  if (pszExpression == nullptr)
    pszExpression = u"";
  if (pszSourcePath == nullptr)
    pszSourcePath = "";

  unsigned nThread = platform::CurrentThreadId();
  char16_t szIdentity[kIdentityUnits];
  std::size_t cchIdentity = Format(szIdentity, kIdentityUnits, u", tid=%u (x%x)", nThread, nThread);
  if (const char16_t* pszThreadName = GetThreadName()) {
    AppendFormat(szIdentity, kIdentityUnits, cchIdentity, u", thread=%s", pszThreadName);
  }

  char16_t szDebuggerLine[kDebuggerLineUnits];
  Format(szDebuggerLine, kDebuggerLineUnits, u"Assert, tid=%x thread=%s exp=%s @ %hs:%d\n", nThread,
         szIdentity, pszExpression, pszSourcePath, nLine);
  platform::WriteDebuggerText(szDebuggerLine);

  char16_t szErrorPart[kErrorPartUnits] = {};
  if (nError != 0)
    Format(szErrorPart, kErrorPartUnits, u", error code %u (x%x)", nError, nError);

  const char* pszStamp = GetBuildStamp();
  char16_t szMessage[kMessageUnits];
  Format(szMessage, kMessageUnits,
         u"File %hs, line %d%s%s\n\nBuild: %hs (%.17hs)\n\nExpression: %s",
         ShortSourceName(pszSourcePath), nLine, szErrorPart, szIdentity,
         pszStamp + kBuildStampVersionOffset, pszStamp + kBuildStampTimeOffset, pszExpression);

  char16_t szProgram[kExecutablePathUnits];
  std::u16string_view program(szProgram, platform::ExecutablePath(szProgram, kExecutablePathUnits));
  std::size_t cchDirectory = program.rfind(platform::kPathSeparator) + 1;  // 0 without one
  char16_t szReportName[kReportNameUnits];
  MakeReportName(program.substr(cchDirectory), GetSessionId(), szReportName);

  char report[kReportBytes];
  std::size_t cbReport = MakeReport(szMessage, report);
  bool bCopied = AppendReport(program.substr(0, cchDirectory), szReportName, report, cbReport);

  char16_t szCaption[kCaptionUnits];
  std::size_t cchCaption = Format(szCaption, kCaptionUnits, u"Assert failed - ");
  if (bCopied) {
    AppendFormat(szCaption, kCaptionUnits, cchCaption, u"copied to %s", szReportName);
  } else {
    AppendFormat(szCaption, kCaptionUnits, cchCaption, u"NOT copied to disk");
  }
  platform::ShowMessageBox(szMessage, szCaption);
}

void AssertFailed(const char16_t* pszExpression, const char* pszSourcePath, int nLine) {
  ReportAssertion(pszExpression, pszSourcePath, nLine);
  platform::ExitProcessNow(kExitCode);
}
