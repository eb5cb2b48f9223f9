// The operating system services iniseal needs, behind one portable interface.
// platform-posix.cc and platform-win32.cc implement it; nothing else in the tree
// includes an OS header.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// ---------------------------------------------------------------------------
// Text conversions

inline constexpr unsigned kAnsiCodePage = 0;  // the system ANSI code page
inline constexpr unsigned kUtf8CodePage = 65001;

// Converts n bytes in codePage to UTF-16. An invalid UTF-8 sequence becomes
// U+FFFD. Returns the number of units written, or -1 when they would not fit in
// cap units (each byte yields at most one unit, so cap >= n always fits).
std::ptrdiff_t MultiByteToWide(unsigned codePage, const char* bytes, std::size_t n, char16_t* out,
                               std::size_t cap);

// Converts n UTF-16 units to codePage. For the ANSI code page the best-fit
// mapping applies and "?" stands for what has no mapping at all; for UTF-8 a
// lone surrogate becomes U+FFFD. Returns the number of bytes written, or -1 when
// they would not fit in cap bytes (cap >= MaxNarrowBytes(n) always fits).
std::ptrdiff_t WideToMultiByte(unsigned codePage, const char16_t* text, std::size_t n, char* out,
                               std::size_t cap);

// The most bytes WideToMultiByte can produce for n units in any code page.
constexpr std::size_t MaxNarrowBytes(std::size_t n) {
  return 3 * n;
}

// The UTF-16 text test: whether the n bytes look like UTF-16 little-endian
// text. *flags holds the tests asked for on entry and those passed on return.
bool IsTextUnicode(const void* bytes, std::size_t n, int* flags);

inline constexpr int kUnicodeTestMask = 0x000F;  // ASCII16, STATISTICS, CONTROLS, SIGNATURE

// ---------------------------------------------------------------------------
// Paths and command line

// The one character that separates the parts of a path.
extern const char16_t kPathSeparator;

// Whether an argument such as "/etc/x.ini" may be a path. Where it may, only
// "/" followed by exactly one character is an option.
extern const bool kSlashStartsPaths;

// The longest path the tool works with, terminator included.
inline constexpr std::size_t kMaxPath = 260;

// Decodes a command-line argument given as UTF-8 bytes; false when the bytes
// are not valid UTF-8.
bool DecodeUtf8Argument(const char* arg, std::u16string* out);

// Full path of the running executable; empty when it cannot be had.
std::u16string ExecutablePath();

// The directory for temporary files, ending in a separator; empty if unknown.
std::u16string TempDirectory();

// The same two paths without heap memory, for the assertion path, which must
// work when the heap is exhausted. Each writes the path and a terminator into
// out and returns its length; 0 (out empty) when it cannot be had or does not
// fit cap units. A cut path would name another place, so none is cut.
std::size_t ExecutablePath(char16_t* out, std::size_t cap);
std::size_t TempDirectory(char16_t* out, std::size_t cap);

// ---------------------------------------------------------------------------
// Errors

// The code of the last failed service call (errno or GetLastError).
int LastError();
void SetLastError(int code);

// Error codes the tool reports itself, in the platform's own numbering.
int ErrorAccessDenied();
int ErrorNotRegularFile();
int ErrorNoSpace();
int ErrorFileExists();

// ---------------------------------------------------------------------------
// Files

// An open file. Every call that fails sets LastError().
class File {
 public:
  virtual ~File() = default;  // closes, ignoring errors

  // Reads up to n bytes; returns the count (0 at end of file) or -1.
  virtual std::ptrdiff_t Read(void* buffer, std::size_t n) = 0;
  virtual bool Write(const void* data, std::size_t n) = 0;
  virtual bool Rewind() = 0;
  // The file's size in bytes, or -1.
  virtual std::int64_t Size() = 0;
  // Pushes written data to stable storage.
  virtual bool Sync() = 0;
  // Closes the file and reports whether everything written reached it.
  virtual bool Close() = 0;
};

// The file system as the tool uses it. Tests substitute a fake to make any step fail.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an existing regular file for reading. Anything else (a directory, a
  // FIFO, a device) is refused with ErrorNotRegularFile(), without blocking.
  virtual std::unique_ptr<File> OpenForReading(const std::u16string& path) = 0;

  // Creates a new file for writing; fails if the path exists.
  virtual std::unique_ptr<File> CreateNew(const std::u16string& path) = 0;

  // Replaces the file at target by the file at source in one atomic step: at
  // every instant target names either the old or the new file. A target that is
  // a link keeps being a link; the file it points to is replaced. The new file
  // takes the target's permissions. A read-only target is refused with
  // ErrorAccessDenied(). On failure, target is untouched and source remains.
  virtual bool Replace(const std::u16string& source, const std::u16string& target) = 0;

  virtual bool Remove(const std::u16string& path) = 0;

  // Whether both paths name the same existing file.
  virtual bool SameFile(const std::u16string& a, const std::u16string& b) = 0;
};

// The real file system of this machine.
FileSystem& RealFileSystem();

// Opens path for appending, creating the file if needed, appends the n bytes
// as they are and closes it. False when the file cannot be opened; a failed
// write is not reported. Uses no heap memory: the assertion reporter calls it.
bool AppendToFile(const char16_t* path, const void* bytes, std::size_t n);

// ---------------------------------------------------------------------------
// Console and formatting

// Formats like the platform's printf-style wide formatter (%s wide, %hs narrow,
// %d, %u, %x, %lx, widths, zero padding and precision). The result is cut to
// fit cap units, terminator included. Returns the units written.
std::size_t FormatWideV(char16_t* out, std::size_t cap, const char16_t* format, va_list args);

// Writes a console message to standard output, converted as the platform's
// console expects.
void WriteConsoleText(std::u16string_view text);

// Writes diagnostic text to standard error as it is.
void WriteStandardError(std::string_view text);

// ---------------------------------------------------------------------------
// Memory

// A hint that the n bytes at p form a large block that will be filled and
// kept: where the system has large pages, backing it with them makes the first
// touch of each byte much cheaper. Nothing changes for the caller either way.
void AdviseLargePages(void* p, std::size_t n);

// ---------------------------------------------------------------------------
// Process

unsigned CurrentProcessId();
unsigned CurrentThreadId();

// The number of the login session the process runs in; 0 when it cannot be
// found.
int SessionId();

// The current thread's name slot: a wide text that something outside the tool
// may have stored for the thread; null when it has none.
const char16_t* ThreadNameSlot();
void SetThreadNameSlot(const char16_t* name);

// Sends a line to an attached debugger (or where the platform has no such
// channel, to standard error).
void WriteDebuggerText(const char16_t* text);

// Shows text in a modal box with the caption, a single OK button and no icon,
// and waits until it is closed (or where there is no such box, writes the
// caption and the text to standard error).
void ShowMessageBox(const char16_t* text, const char16_t* caption);

struct LocalTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};
LocalTime CurrentLocalTime();

struct OsVersion {
  int platformId = 0;    // Windows: 2 for the NT family; elsewhere 0
  char kernel[32] = {};  // elsewhere: the kernel's name, such as "Linux"; empty on Windows
  int major = 0;
  int minor = 0;
};
OsVersion CurrentOsVersion();

// Ends the process at once with the exit code, without the runtime's clean-up.
[[noreturn]] void ExitProcessNow(int exitCode);

// ---------------------------------------------------------------------------
// Stand-ins for tests, for what a process cannot choose for itself. Each holds
// until it is replaced; null or a negative number brings the real one back.

void OverrideExecutablePath(const char16_t* path);  // also seen by ExecutablePath()
void OverrideTempDirectory(const char16_t* dir);    // also seen by TempDirectory()
void OverrideSessionId(int id);

}  // namespace platform
