// Win32 implementation of the platform services: every service is the real
// Windows call, so the 32-bit exe behaves as the tool always has there.

#include "platform/platform.h"

#include "platform/overrides.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// GCC 12 takes the segment reads inside NtCurrentTeb for out-of-bounds reads.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#include <windows.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

namespace platform {

const char16_t kPathSeparator = u'\\';
const bool kSlashStartsPaths = false;

namespace {

const wchar_t* W(const char16_t* s) {
  return reinterpret_cast<const wchar_t*>(s);
}
const wchar_t* W(const std::u16string& s) {
  return W(s.c_str());
}
wchar_t* W(char16_t* s) {
  return reinterpret_cast<wchar_t*>(s);
}

// The conversion calls count in int; a larger run is converted in pieces that
// end where no character can be split.
constexpr std::size_t kMaxPiece = INT_MAX / 4;

// Where a piece of at most kMaxPiece bytes may end. UTF-8 may be cut before any
// byte that is not a continuation byte; an ANSI code page after a byte below
// 0x40, since no double-byte code page uses those as trail bytes.
std::size_t NarrowPieceEnd(unsigned codePage, const unsigned char* s, std::size_t n) {
  if (n <= kMaxPiece)
    return n;
  std::size_t end = kMaxPiece;
  std::size_t lowest = kMaxPiece - 16;
  if (codePage == kUtf8CodePage) {
    while (end > lowest && (s[end] & 0xC0) == 0x80)
      --end;
  } else {
    while (end > lowest && s[end - 1] >= 0x40)
      --end;
  }
  return end > lowest ? end : kMaxPiece;
}

std::size_t WidePieceEnd(const char16_t* s, std::size_t n) {
  if (n <= kMaxPiece)
    return n;
  std::size_t end = kMaxPiece;
  if (s[end] >= 0xDC00 && s[end] <= 0xDFFF)
    --end;  // keep a surrogate pair together
  return end;
}

// Converts n input units piece by piece: pieceEnd(done) says how long the next
// piece is, convert(done, piece, written) converts it and returns the output
// units it wrote, or -1.
template <typename PieceEnd, typename Convert>
std::ptrdiff_t ConvertInPieces(std::size_t n, PieceEnd pieceEnd, Convert convert) {
  std::size_t done = 0;
  std::size_t written = 0;
  while (done < n) {
    std::size_t piece = pieceEnd(done);
    std::ptrdiff_t got = convert(done, piece, written);
    if (got < 0)
      return -1;
    done += piece;
    written += static_cast<std::size_t>(got);
  }
  return static_cast<std::ptrdiff_t>(written);
}

int Room(std::size_t cap) {
  return static_cast<int>(cap < static_cast<std::size_t>(INT_MAX) ? cap : INT_MAX);
}

// One call of the conversion on n > 0 units, which always give some output. A
// zero capacity would ask Windows for the size instead, so it fails here.
std::ptrdiff_t MultiByteToWidePiece(unsigned codePage, const char* bytes, std::size_t n,
                                    char16_t* out, std::size_t cap) {
  int len = static_cast<int>(n);
  int room = Room(cap);
  if (room == 0) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return -1;
  }
  int got = MultiByteToWideChar(codePage, 0, bytes, len, W(out), room);
  return got > 0 ? got : -1;
}

std::ptrdiff_t WideToMultiBytePiece(unsigned codePage, const char16_t* text, std::size_t n,
                                    char* out, std::size_t cap) {
  // Only the ANSI code page takes a default character; UTF-8 refuses one.
  const char* defaultChar = codePage == kUtf8CodePage ? nullptr : "?";
  int len = static_cast<int>(n);
  int room = Room(cap);
  if (room == 0) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return -1;
  }
  int got = WideCharToMultiByte(codePage, 0, W(text), len, out, room, defaultChar, nullptr);
  return got > 0 ? got : -1;
}

// ---------------------------------------------------------------------------
// Files

class Win32File final : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE)
      CloseHandle(handle_);
  }

  std::ptrdiff_t Read(void* buffer, std::size_t n) override {
    DWORD want = static_cast<DWORD>(n < kMaxIo ? n : kMaxIo);
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, want, &got, nullptr))
      return -1;
    return static_cast<std::ptrdiff_t>(got);
  }

  bool Write(const void* data, std::size_t n) override {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
      DWORD want = static_cast<DWORD>(n < kMaxIo ? n : kMaxIo);
      DWORD put = 0;
      if (!WriteFile(handle_, p, want, &put, nullptr))
        return false;
      if (put == 0) {
        ::SetLastError(ERROR_DISK_FULL);
        return false;
      }
      p += put;
      n -= put;
    }
    return true;
  }

  bool Rewind() override {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN) != 0;
  }

  std::int64_t Size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size))
      return -1;
    return size.QuadPart;
  }

  bool Sync() override { return FlushFileBuffers(handle_) != 0; }

  bool Close() override {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  static constexpr std::size_t kMaxIo = 1u << 30;
  HANDLE handle_;
};

bool IsDirectory(const std::u16string& path) {
  DWORD attrs = GetFileAttributesW(W(path));
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whether an open handle is a plain file on a disk: not a device such as NUL
// or CON, not a pipe, not a directory.
bool IsRegularDiskFile(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK)
    return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info))
    return false;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

using GetFinalPathFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// Systems before file links lack GetFinalPathNameByHandleW, so it is looked up
// by name and the exe still starts there.
GetFinalPathFunction FinalPathCall() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  FARPROC proc = kernel != nullptr ? GetProcAddress(kernel, "GetFinalPathNameByHandleW") : nullptr;
  return reinterpret_cast<GetFinalPathFunction>(reinterpret_cast<void (*)()>(proc));
}

// The path a link finally points to, so that the file behind it is replaced
// and the link stays; the path itself when it is no link or cannot be followed.
std::u16string ResolveLink(const std::u16string& path, DWORD attrs) {
  GetFinalPathFunction finalPath = FinalPathCall();
  if ((attrs & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || finalPath == nullptr)
    return path;
  HANDLE handle = CreateFileW(W(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return path;
  std::u16string resolved(kMaxPath, u'\0');
  DWORD n = finalPath(handle, W(resolved.data()), static_cast<DWORD>(resolved.size()),
                      FILE_NAME_NORMALIZED);
  if (n >= resolved.size()) {
    resolved.resize(n + 1);
    n = finalPath(handle, W(resolved.data()), static_cast<DWORD>(resolved.size()),
                  FILE_NAME_NORMALIZED);
  }
  CloseHandle(handle);
  if (n == 0 || n >= resolved.size())
    return path;
  resolved.resize(n);
  return resolved;
}

// Gives source the target's access rules, so that the replacement is no more
// open than the file it replaces. A volume without them has nothing to copy.
bool CopySecurity(const std::u16string& target, const std::u16string& source) {
  const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
  DWORD need = 0;
  GetFileSecurityW(W(target), what, nullptr, 0, &need);
  if (need == 0)
    return true;
  std::vector<unsigned char> descriptor(need);
  if (!GetFileSecurityW(W(target), what, descriptor.data(), need, &need))
    return true;
  return SetFileSecurityW(W(source), what, descriptor.data()) != 0;
}

// The attributes a sealed file keeps from the one it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

// Windows refuses to replace a file that another process holds open, such as a
// second run reading it or a virus scanner: the move is tried again for a
// couple of seconds before it counts as failed.
constexpr int kMoveAttempts = 100;
constexpr DWORD kMoveRetryMilliseconds = 20;

bool MoveIntoPlace(const std::u16string& source, const std::u16string& target) {
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(W(source), W(target), kMoveFlags))
      return true;
    DWORD error = GetLastError();
    bool busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    if (!busy || attempt == kMoveAttempts)
      return false;
    Sleep(kMoveRetryMilliseconds);
    ::SetLastError(error);
  }
}

std::u16string DirectoryOf(const std::u16string& path) {
  std::size_t sep = path.find_last_of(u"\\/");
  return sep == std::u16string::npos ? std::u16string() : path.substr(0, sep + 1);
}

// A move that would copy onto the target in place is not atomic, so a source
// on another volume is copied beside the target first and then moved.
bool ReplaceAcrossVolumes(const std::u16string& source, const std::u16string& target) {
  std::u16string dir = DirectoryOf(target);
  std::u16string sibling;
  bool copied = false;
  std::u16string pid;
  for (char c : std::to_string(GetCurrentProcessId()))
    pid += static_cast<char16_t>(c);
  for (int attempt = 0; attempt < 100 && !copied; ++attempt) {
    sibling = dir + u"lic.$$$." + pid + u".";
    for (char c : std::to_string(attempt))
      sibling += static_cast<char16_t>(c);
    copied = CopyFileW(W(source), W(sibling), TRUE) != 0;
    if (!copied && GetLastError() != ERROR_FILE_EXISTS)
      break;
  }
  if (!copied)
    return false;
  HANDLE handle = CreateFileW(W(sibling), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
  if (handle != INVALID_HANDLE_VALUE)
    CloseHandle(handle);
  ok = ok && MoveIntoPlace(sibling, target);
  if (!ok) {
    DWORD error = GetLastError();
    SetFileAttributesW(W(sibling), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(W(sibling));
    ::SetLastError(error);
    return false;
  }
  DeleteFileW(W(source));
  return true;
}

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> OpenForReading(const std::u16string& path) override {
    HANDLE handle = CreateFileW(
        W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      // A directory cannot be opened as a file: say what it is.
      if (GetLastError() == ERROR_ACCESS_DENIED && IsDirectory(path)) {
        ::SetLastError(ErrorNotRegularFile());
      }
      return nullptr;
    }
    if (!IsRegularDiskFile(handle)) {
      CloseHandle(handle);
      ::SetLastError(ErrorNotRegularFile());
      return nullptr;
    }
    return std::make_unique<Win32File>(handle);
  }

  std::unique_ptr<File> CreateNew(const std::u16string& path) override {
    HANDLE handle =
        CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      return nullptr;
    return std::make_unique<Win32File>(handle);
  }

  bool Replace(const std::u16string& source, const std::u16string& target) override {
    DWORD attrs = GetFileAttributesW(W(target));
    if (attrs == INVALID_FILE_ATTRIBUTES)
      return false;
    std::u16string to = ResolveLink(target, attrs);
    if (to != target) {
      attrs = GetFileAttributesW(W(to));
      if (attrs == INVALID_FILE_ATTRIBUTES)
        return false;
    }
    if ((attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    if (!CopySecurity(to, source))
      return false;
    DWORD kept = attrs & kKeptAttributes;
    if (!SetFileAttributesW(W(source), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL))
      return false;
    if (MoveIntoPlace(source, to))
      return true;
    if (GetLastError() != ERROR_NOT_SAME_DEVICE)
      return false;
    return ReplaceAcrossVolumes(source, to);
  }

  bool Remove(const std::u16string& path) override { return DeleteFileW(W(path)) != 0; }

  bool SameFile(const std::u16string& a, const std::u16string& b) override {
    BY_HANDLE_FILE_INFORMATION ia;
    BY_HANDLE_FILE_INFORMATION ib;
    if (!Identify(a, &ia) || !Identify(b, &ib))
      return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
  }

 private:
  // Directories too, hence the backup-semantics flag; no access is asked for.
  static bool Identify(const std::u16string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle = CreateFileW(W(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      return false;
    bool ok = GetFileInformationByHandle(handle, info) != 0;
    CloseHandle(handle);
    return ok;
  }
};

// ---------------------------------------------------------------------------
// Console

// The longest console message in bytes, as the tool has always written them.
constexpr std::size_t kConsoleBytes = 256;

std::ptrdiff_t ConsoleConvert(std::u16string_view text, std::size_t units, std::string& bytes) {
  if (units == 0)
    return 0;
  return WideToMultiBytePiece(kAnsiCodePage, text.data(), units, bytes.data(), bytes.size());
}

bool FitsConsole(std::ptrdiff_t n) {
  return n >= 0 && static_cast<std::size_t>(n) <= kConsoleBytes;
}

// Converts as many whole characters of text as fit in kConsoleBytes.
std::string ConsoleBytes(std::u16string_view text) {
  text = text.substr(0, kMaxPiece);
  std::string bytes(MaxNarrowBytes(text.size()), '\0');
  std::ptrdiff_t n = ConsoleConvert(text, text.size(), bytes);
  if (!FitsConsole(n)) {
    // The longest prefix that fits: a prefix of fits units always fits, one
    // of tooLong never does.
    std::size_t fits = 0;
    std::size_t tooLong = text.size();
    while (tooLong - fits > 1) {
      std::size_t mid = fits + (tooLong - fits) / 2;
      (FitsConsole(ConsoleConvert(text, mid, bytes)) ? fits : tooLong) = mid;
    }
    if (fits > 0 && text[fits - 1] >= 0xD800 && text[fits - 1] <= 0xDBFF)
      --fits;
    n = ConsoleConvert(text, fits, bytes);
  }
  bytes.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return bytes;
}

// Fills out through a path call that returns the length it wrote, or room or
// more when out is too small for the whole path; out stays empty then.
template <typename PathCall>
std::size_t FillWhole(char16_t* out, std::size_t cap, PathCall call) {
  if (cap == 0)
    return 0;
  DWORD room = static_cast<DWORD>(std::min<std::size_t>(cap, 32768));
  DWORD n = call(W(out), room);
  if (n >= room)
    n = 0;
  out[n] = 0;
  return n;
}

// ---------------------------------------------------------------------------
// Session number

using ProcessIdToSessionIdFunction = BOOL(WINAPI*)(DWORD, DWORD*);

// Older systems lack ProcessIdToSessionId, so it is looked up by name.
bool SessionFromExport(DWORD* id) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr)
    return false;
  FARPROC proc = GetProcAddress(kernel, "ProcessIdToSessionId");
  if (proc == nullptr)
    return false;
  auto lookUp = reinterpret_cast<ProcessIdToSessionIdFunction>(reinterpret_cast<void (*)()>(proc));
  return lookUp(GetCurrentProcessId(), id) != 0;
}

// Without the export: the session id kept in the process's token.
bool SessionFromToken(DWORD* id) {
  constexpr DWORD kQueryInformation = 0x0400;  // PROCESS_QUERY_INFORMATION
  HANDLE process = OpenProcess(kQueryInformation, FALSE, GetCurrentProcessId());
  if (process == nullptr)
    return false;
  HANDLE token = nullptr;
  bool ok = OpenProcessToken(process, TOKEN_QUERY, &token) != 0;
  if (ok) {
    DWORD size = 0;
    ok = GetTokenInformation(token, TokenSessionId, id, sizeof *id, &size) != 0;
    CloseHandle(token);
  }
  CloseHandle(process);
  return ok;
}

}  // namespace

// ---------------------------------------------------------------------------
// Conversions

std::ptrdiff_t MultiByteToWide(unsigned codePage, const char* bytes, std::size_t n, char16_t* out,
                               std::size_t cap) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
  return ConvertInPieces(
      n, [&](std::size_t done) { return NarrowPieceEnd(codePage, s + done, n - done); },
      [&](std::size_t done, std::size_t piece, std::size_t written) {
        return MultiByteToWidePiece(codePage, bytes + done, piece, out + written, cap - written);
      });
}

std::ptrdiff_t WideToMultiByte(unsigned codePage, const char16_t* text, std::size_t n, char* out,
                               std::size_t cap) {
  return ConvertInPieces(
      n, [&](std::size_t done) { return WidePieceEnd(text + done, n - done); },
      [&](std::size_t done, std::size_t piece, std::size_t written) {
        return WideToMultiBytePiece(codePage, text + done, piece, out + written, cap - written);
      });
}

bool IsTextUnicode(const void* bytes, std::size_t n, int* flags) {
  // The test is statistical: a very large buffer is judged by its start.
  int len = static_cast<int>(n < static_cast<std::size_t>(INT_MAX) ? n : (INT_MAX & ~1));
  INT asked = flags != nullptr ? *flags : kUnicodeTestMask;
  BOOL yes = ::IsTextUnicode(bytes, len, &asked);
  if (flags != nullptr)
    *flags = asked;
  return yes != 0;
}

// ---------------------------------------------------------------------------
// Paths

bool DecodeUtf8Argument(const char* arg, std::u16string* out) {
  std::size_t n = std::char_traits<char>::length(arg);
  out->clear();
  if (n == 0)
    return true;
  if (n > kMaxPiece)
    return false;
  int len = static_cast<int>(n);
  int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, arg, len, nullptr, 0);
  if (units <= 0)
    return false;
  out->resize(static_cast<std::size_t>(units));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, arg, len, W(out->data()), units) ==
         units;
}

// The longest path Windows knows, in units.
constexpr std::size_t kLongestPath = 32768;

std::u16string ExecutablePath() {
  std::u16string path(kLongestPath, u'\0');
  path.resize(ExecutablePath(path.data(), path.size()));
  return path;
}

std::u16string TempDirectory() {
  std::u16string path(kLongestPath, u'\0');
  path.resize(TempDirectory(path.data(), path.size()));
  return path;
}

std::size_t ExecutablePath(char16_t* out, std::size_t cap) {
  if (detail::TestOverrides().hasExecutablePath)
    return detail::CopyWhole(detail::TestOverrides().executablePath, out, cap);
  return FillWhole(out, cap, [](wchar_t* buffer, DWORD room) {
    return GetModuleFileNameW(nullptr, buffer, room);
  });
}

std::size_t TempDirectory(char16_t* out, std::size_t cap) {
  if (detail::TestOverrides().hasTempDirectory)
    return detail::CopyWhole(detail::TestOverrides().tempDirectory, out, cap);
  return FillWhole(out, cap,
                   [](wchar_t* buffer, DWORD room) { return GetTempPathW(room, buffer); });
}

// ---------------------------------------------------------------------------
// Errors

int LastError() {
  return static_cast<int>(GetLastError());
}
void SetLastError(int code) {
  ::SetLastError(static_cast<DWORD>(code));
}
int ErrorAccessDenied() {
  return ERROR_ACCESS_DENIED;
}
int ErrorNotRegularFile() {
  return ERROR_BAD_FILE_TYPE;
}
int ErrorNoSpace() {
  return ERROR_DISK_FULL;
}
int ErrorFileExists() {
  return ERROR_FILE_EXISTS;
}

FileSystem& RealFileSystem() {
  static Win32FileSystem fs;
  return fs;
}

bool AppendToFile(const char16_t* path, const void* bytes, std::size_t n) {
  HANDLE handle = CreateFileW(W(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return false;
  Win32File file(handle);
  file.Write(bytes, n);
  return true;
}

// ---------------------------------------------------------------------------
// Console and formatting

std::size_t FormatWideV(char16_t* out, std::size_t cap, const char16_t* format, va_list args) {
  if (cap == 0)
    return 0;
  // The formatter writes at most 1024 units, its terminator included; the
  // margin keeps it inside the buffer should it ever write one more.
  char16_t full[1100];
  full[0] = 0;
  wvsprintfW(W(full), W(format), args);
  full[std::size(full) - 1] = 0;
  std::size_t n = std::char_traits<char16_t>::length(full);
  if (n > cap - 1)
    n = cap - 1;
  std::char_traits<char16_t>::copy(out, full, n);
  out[n] = 0;
  return n;
}

void WriteConsoleText(std::u16string_view text) {
  // Standard output is a text stream: each line feed goes out as CR LF. It is
  // flushed at once so that nothing waits in a buffer when the process ends.
  std::string bytes = ConsoleBytes(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

void WriteStandardError(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// ---------------------------------------------------------------------------
// Memory

// Large pages need a privilege that a user's process does not hold; the
// hint is not needed to be correct, so it is ignored.
void AdviseLargePages(void*, std::size_t) {}

// ---------------------------------------------------------------------------
// Process

unsigned CurrentProcessId() {
  return GetCurrentProcessId();
}

unsigned CurrentThreadId() {
  return GetCurrentThreadId();
}

int SessionId() {
  if (detail::TestOverrides().sessionId >= 0)
    return detail::TestOverrides().sessionId;
  DWORD id = 0;
  if (!SessionFromExport(&id) && !SessionFromToken(&id))
    return 0;
  return id <= static_cast<DWORD>(INT_MAX) ? static_cast<int>(id) : 0;
}

// The thread information block's arbitrary user pointer, where debuggers and
// tools may keep a thread's name.
const char16_t* ThreadNameSlot() {
  auto* tib = reinterpret_cast<NT_TIB*>(NtCurrentTeb());
  return static_cast<const char16_t*>(tib->ArbitraryUserPointer);
}

void SetThreadNameSlot(const char16_t* name) {
  auto* tib = reinterpret_cast<NT_TIB*>(NtCurrentTeb());
  tib->ArbitraryUserPointer = const_cast<char16_t*>(name);
}

void WriteDebuggerText(const char16_t* text) {
  OutputDebugStringW(W(text));
}

void ShowMessageBox(const char16_t* text, const char16_t* caption) {
  MessageBoxW(nullptr, W(text), W(caption), MB_OK);
}

LocalTime CurrentLocalTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  LocalTime now;
  now.year = t.wYear;
  now.month = t.wMonth;
  now.day = t.wDay;
  now.hour = t.wHour;
  now.minute = t.wMinute;
  now.second = t.wSecond;
  now.milliseconds = t.wMilliseconds;
  return now;
}

OsVersion CurrentOsVersion() {
  OsVersion version;
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(&info))
    return version;
  version.platformId = static_cast<int>(info.dwPlatformId);
  version.major = static_cast<int>(info.dwMajorVersion);
  version.minor = static_cast<int>(info.dwMinorVersion);
  return version;
}

[[noreturn]] void ExitProcessNow(int exitCode) {
  ExitProcess(static_cast<UINT>(exitCode));
  for (;;) {
  }
}

}  // namespace platform

// The runtime's default terminate handler names an escaping exception's type
// and so links in a whole demangler and printf, a quarter of the exe. The tool
// lets no exception escape; should one ever, ending at once is enough.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx
