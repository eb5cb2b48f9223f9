// The assertion reporter: the one way a failed consistency check is reported.
// It sends a line to the debugger, appends a report to a file named after the
// program and its session, shows the message and ends the process with exit
// code 3. It uses no heap memory of its own, so that it also works when the
// heap is what failed.
#pragma once

// Checks expr; when it is false, reports it with its text, this source path and
// line and ends the process.
#define TAV_ASSERT(expr) \
  ((expr) ? static_cast<void>(0) : AssertFailed(u"" #expr, __FILE__, __LINE__))

// Reports the failed check, then ends the process at once with exit code 3,
// without the runtime's clean-up.
[[noreturn]] void AssertFailed(const char16_t* pszExpression, const char* pszSourcePath, int nLine);

// The report of a failed check, without ending the process.
void ReportAssertion(const char16_t* pszExpression, const char* pszSourcePath, int nLine);

// The login session number of the process, asked for once and then kept; 0
// when it cannot be found.
int GetSessionId();

// The current thread's name, or null when it has none.
const char16_t* GetThreadName();

// The build stamp, "!!!!:dd/mm/yy hh:mm:ss V" and the version, in that fixed
// layout: the date and time stand at offset 5, the version text at offset 23.
const char* GetBuildStamp();
inline constexpr int kBuildStampTimeOffset = 5;
inline constexpr int kBuildStampTimeLength = 17;
inline constexpr int kBuildStampVersionOffset = 23;
