// POSIX implementation of the platform services. Windows-only notions (the
// system ANSI code page, the UTF-16 text test) are stood in for here.

#include "platform/platform.h"

#include "platform/overrides.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <string>

namespace platform {

#include "platform/cp1252.inc"
#include "platform/cp1252_bestfit.inc"

const char16_t kPathSeparator = u'/';
const bool kSlashStartsPaths = true;

namespace {

// ---------------------------------------------------------------------------
// UTF-8

bool IsContinuation(unsigned b) {
  return (b & 0xC0) == 0x80;
}

// Replaces ill-formed input as the Win32 conversion does (measured under Wine by
// tools/win32_probe): a byte that cannot start a sequence becomes one U+FFFD; a
// lead whose second byte is a continuation byte outside the lead's range (an
// overlong form, a surrogate, a value above U+10FFFF) becomes one U+FFFD with
// that byte; a sequence broken off by another byte becomes one U+FFFD for the
// bytes before it; and a lead with fewer bytes left than its sequence needs
// becomes one U+FFFD with the continuation bytes after it. Wine there also
// swallows the characters that follow; Unicode forbids consuming well-formed
// characters, so ours are decoded on their own.
std::size_t DecodeUtf8(const unsigned char* s, std::size_t n, char16_t* out) {
  std::size_t i = 0;
  std::size_t o = 0;
  while (i < n) {
    unsigned b = s[i];
    if (b < 0x80) {
      out[o++] = static_cast<char16_t>(b);
      ++i;
      continue;
    }
    // Well-formed two- and three-byte sequences, nearly all there is, at once.
    if (b >= 0xC2 && b <= 0xDF && n - i >= 2 && IsContinuation(s[i + 1])) {
      out[o++] = static_cast<char16_t>((b & 0x1F) << 6 | (s[i + 1] & 0x3F));
      i += 2;
      continue;
    }
    if (b >= 0xE1 && b <= 0xEF && b != 0xED && n - i >= 3 && IsContinuation(s[i + 1]) &&
        IsContinuation(s[i + 2])) {
      out[o++] =
          static_cast<char16_t>((b & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F));
      i += 3;
      continue;
    }
    std::size_t need = 0;
    std::uint32_t cp = 0;
    unsigned lo = 0x80;
    unsigned hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 2;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 3;
      cp = b & 0x0F;
      if (b == 0xE0)
        lo = 0xA0;  // overlong below
      if (b == 0xED)
        hi = 0x9F;  // surrogates above
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 4;
      cp = b & 0x07;
      if (b == 0xF0)
        lo = 0x90;  // overlong below
      if (b == 0xF4)
        hi = 0x8F;  // beyond U+10FFFF above
    } else {
      out[o++] = 0xFFFD;
      ++i;
      continue;
    }
    out[o] = 0xFFFD;
    if (n - i < need) {
      ++o;
      for (++i; i < n && IsContinuation(s[i]); ++i) {
      }
      continue;
    }
    unsigned second = s[i + 1];
    if (!IsContinuation(second)) {
      ++o;
      ++i;
      continue;
    }
    if (second < lo || second > hi) {
      ++o;
      i += 2;
      continue;
    }
    cp = (cp << 6) | (second & 0x3F);
    std::size_t j = i + 2;
    for (; j < i + need && IsContinuation(s[j]); ++j)
      cp = (cp << 6) | (s[j] & 0x3F);
    if (j < i + need) {
      ++o;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out[o++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      out[o++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out[o++] = static_cast<char16_t>(cp);
    }
    i = j;
  }
  return o;
}

std::size_t EncodeUtf8(const char16_t* s, std::size_t n, unsigned char* out) {
  std::size_t o = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t u = s[i];
    if (u < 0x80) {
      out[o++] = static_cast<unsigned char>(u);
      continue;
    }
    if (u < 0x800) {
      out[o++] = static_cast<unsigned char>(0xC0 | (u >> 6));
      out[o++] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      continue;
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      bool pair = u <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF;
      if (!pair) {
        u = 0xFFFD;  // a lone surrogate has no UTF-8 form
      } else {
        std::uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (s[++i] - 0xDC00);
        out[o++] = static_cast<unsigned char>(0xF0 | (cp >> 18));
        out[o++] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        out[o++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        out[o++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        continue;
      }
    }
    out[o++] = static_cast<unsigned char>(0xE0 | (u >> 12));
    out[o++] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
    out[o++] = static_cast<unsigned char>(0x80 | (u & 0x3F));
  }
  return o;
}

std::size_t Utf8Length(const char16_t* s, std::size_t n) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < n; ++i) {
    char16_t u = s[i];
    if (u < 0x80) {
      bytes += 1;
    } else if (u < 0x800) {
      bytes += 2;
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 &&
               s[i + 1] <= 0xDFFF) {
      bytes += 4;
      ++i;
    } else {
      bytes += 3;
    }
  }
  return bytes;
}

// ---------------------------------------------------------------------------
// Windows-1252

unsigned char Cp1252FromUnit(char16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
    return static_cast<unsigned char>(u);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == u)
      return static_cast<unsigned char>(0x80 + i);
  }
  const BestFit* end = kCp1252BestFit + std::size(kCp1252BestFit);
  const BestFit* it = std::lower_bound(kCp1252BestFit, end, u,
                                       [](const BestFit& e, char16_t v) { return e.unit < v; });
  if (it != end && it->unit == u)
    return it->byte;
  return '?';
}

// ---------------------------------------------------------------------------
// Files

std::string ToUtf8(const std::u16string& s) {
  std::string out(MaxNarrowBytes(s.size()), '\0');
  out.resize(EncodeUtf8(s.data(), s.size(), reinterpret_cast<unsigned char*>(out.data())));
  return out;
}

std::u16string FromUtf8(const std::string& s) {
  std::u16string out(s.size(), u'\0');
  out.resize(DecodeUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size(), out.data()));
  return out;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

void SyncDirectoryOf(const std::string& path) {
  int fd = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  fsync(fd);  // best effort: the rename itself already happened atomically
  close(fd);
}

bool WriteAll(int fd, const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t put = write(fd, p, n);
    if (put < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    p += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0)
      close(fd_);
  }

  std::ptrdiff_t Read(void* buffer, std::size_t n) override {
    for (;;) {
      ssize_t got = read(fd_, buffer, n);
      if (got >= 0 || errno != EINTR)
        return got;
    }
  }

  bool Write(const void* data, std::size_t n) override { return WriteAll(fd_, data, n); }

  bool Rewind() override { return lseek(fd_, 0, SEEK_SET) == 0; }

  std::int64_t Size() override {
    struct stat st;
    if (fstat(fd_, &st) != 0)
      return -1;
    return st.st_size;
  }

  bool Sync() override { return fsync(fd_) == 0; }

  bool Close() override {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// Copies source into a new file beside target and renames that into place, for
// a source on another file system than target.
bool ReplaceAcrossFileSystems(const std::string& source, const std::string& target,
                              const struct stat& targetStat) {
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0)
    return false;
  std::string dir = DirectoryOf(target);
  std::string temp;
  int out = -1;
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    temp = dir + "/lic.$$$." + std::to_string(getpid()) + "." + std::to_string(attempt);
    out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0 && errno != EEXIST)
      break;
  }
  if (out < 0) {
    int e = errno;
    close(in);
    errno = e;
    return false;
  }
  PosixFile reader(in);
  PosixFile writer(out);
  bool ok = true;
  static constexpr std::size_t kChunk = 1 << 20;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (;;) {
    std::ptrdiff_t got = reader.Read(buffer.get(), kChunk);
    if (got < 0)
      ok = false;
    if (got <= 0)
      break;
    if (!writer.Write(buffer.get(), static_cast<std::size_t>(got))) {
      ok = false;
      break;
    }
  }
  ok = ok && fchmod(out, targetStat.st_mode & 07777) == 0;
  if (ok && fchown(out, targetStat.st_uid, targetStat.st_gid) != 0 && errno != EPERM)
    ok = false;
  ok = ok && writer.Sync();
  ok = writer.Close() && ok;
  ok = ok && rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    int e = errno;
    unlink(temp.c_str());
    errno = e;
    return false;
  }
  unlink(source.c_str());
  return true;
}

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> OpenForReading(const std::u16string& path) override {
    // O_NONBLOCK so that a FIFO without a writer does not hang the open.
    std::string name = ToUtf8(path);
    int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      // A socket cannot be opened at all; say what it is rather than ENXIO.
      struct stat st;
      if (errno == ENXIO && stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        errno = ErrorNotRegularFile();
      return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      errno = ErrorNotRegularFile();
      return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PosixFile>(fd);
  }

  std::unique_ptr<File> CreateNew(const std::u16string& path) override {
    int fd = open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
      return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  bool Replace(const std::u16string& source, const std::u16string& target) override {
    std::string from = ToUtf8(source);
    char* resolved = realpath(ToUtf8(target).c_str(), nullptr);
    if (resolved == nullptr)
      return false;
    std::string to = resolved;
    free(resolved);
    struct stat st;
    if (stat(to.c_str(), &st) != 0)
      return false;
    if ((st.st_mode & S_IWUSR) == 0) {
      errno = EACCES;  // read-only, as Windows would refuse it
      return false;
    }
    if (chmod(from.c_str(), st.st_mode & 07777) != 0)
      return false;
    if (chown(from.c_str(), st.st_uid, st.st_gid) != 0 && errno != EPERM)
      return false;
    if (rename(from.c_str(), to.c_str()) != 0) {
      if (errno != EXDEV)
        return false;
      if (!ReplaceAcrossFileSystems(from, to, st))
        return false;
    }
    SyncDirectoryOf(to);
    return true;
  }

  bool Remove(const std::u16string& path) override { return unlink(ToUtf8(path).c_str()) == 0; }

  bool SameFile(const std::u16string& a, const std::u16string& b) override {
    struct stat sa;
    struct stat sb;
    if (stat(ToUtf8(a).c_str(), &sa) != 0 || stat(ToUtf8(b).c_str(), &sb) != 0)
      return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
};

// ---------------------------------------------------------------------------
// Formatting

class Formatter {
 public:
  Formatter(char16_t* out, std::size_t cap) : out_(out), cap_(cap) {}

  void Put(char16_t c) {
    if (cap_ > 0 && used_ + 1 < cap_)
      out_[used_++] = c;
  }
  void Pad(std::size_t width, std::size_t len, char16_t fill) {
    for (std::size_t i = len; i < width; ++i)
      Put(fill);
  }
  std::size_t Finish() {
    if (cap_ > 0)
      out_[used_] = 0;
    return used_;
  }

 private:
  char16_t* out_;
  std::size_t cap_;
  std::size_t used_ = 0;
};

std::size_t UnsignedDigits(std::uint32_t v, unsigned base, bool upper, char16_t* digits) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::size_t n = 0;
  do {
    digits[n++] = static_cast<char16_t>(set[v % base]);
    v /= base;
  } while (v != 0);
  std::reverse(digits, digits + n);
  return n;
}

// ---------------------------------------------------------------------------
// Heap-free text helpers for the assertion path

// The longest path this layer handles, in bytes or units.
constexpr std::size_t kLongestPath = 4096;

// Decodes n UTF-8 bytes (n < kLongestPath) whole into out, or leaves it empty.
std::size_t DecodeWhole(const char* bytes, std::size_t n, char16_t* out, std::size_t cap) {
  char16_t units[kLongestPath];
  n = DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes), n, units);
  return detail::CopyWhole(std::u16string_view(units, n), out, cap);
}

// Encodes a NUL-terminated wide text to UTF-8 into out; false when it does not fit.
bool EncodeWhole(const char16_t* text, char* out, std::size_t cap) {
  std::size_t n = std::char_traits<char16_t>::length(text);
  if (Utf8Length(text, n) >= cap)
    return false;
  out[EncodeUtf8(text, n, reinterpret_cast<unsigned char*>(out))] = '\0';
  return true;
}

// Writes a wide text to fd as UTF-8, a piece at a time through the stack.
void WriteWide(int fd, const char16_t* text) {
  constexpr std::size_t kPiece = 512;
  unsigned char bytes[MaxNarrowBytes(kPiece)];
  std::size_t n = std::char_traits<char16_t>::length(text);
  while (n > 0) {
    std::size_t take = std::min(n, kPiece);
    // Keep a surrogate pair in one piece.
    if (take < n && text[take - 1] >= 0xD800 && text[take - 1] <= 0xDBFF)
      --take;
    WriteAll(fd, bytes, EncodeUtf8(text, take, bytes));
    text += take;
    n -= take;
  }
}

thread_local const char16_t* t_threadName = nullptr;

}  // namespace

// ---------------------------------------------------------------------------
// Conversions

std::ptrdiff_t MultiByteToWide(unsigned codePage, const char* bytes, std::size_t n, char16_t* out,
                               std::size_t cap) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
  if (codePage == kUtf8CodePage) {
    if (cap < n) {
      // Count first: only an output that really overflows fails.
      std::u16string tmp(n, u'\0');
      std::size_t units = DecodeUtf8(s, n, tmp.data());
      if (units > cap)
        return -1;
      std::copy_n(tmp.data(), units, out);
      return static_cast<std::ptrdiff_t>(units);
    }
    return static_cast<std::ptrdiff_t>(DecodeUtf8(s, n, out));
  }
  if (cap < n)
    return -1;
  for (std::size_t i = 0; i < n; ++i) {
    unsigned b = s[i];
    out[i] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
  }
  return static_cast<std::ptrdiff_t>(n);
}

std::ptrdiff_t WideToMultiByte(unsigned codePage, const char16_t* text, std::size_t n, char* out,
                               std::size_t cap) {
  if (codePage == kUtf8CodePage) {
    if (cap < MaxNarrowBytes(n) && Utf8Length(text, n) > cap)
      return -1;
    return static_cast<std::ptrdiff_t>(EncodeUtf8(text, n, reinterpret_cast<unsigned char*>(out)));
  }
  if (cap < n)
    return -1;
  for (std::size_t i = 0; i < n; ++i)
    out[i] = static_cast<char>(Cp1252FromUnit(text[i]));
  return static_cast<std::ptrdiff_t>(n);
}

bool IsTextUnicode(const void* bytes, std::size_t n, int* flags) {
  // Our own rules in place of the Windows test, fitted to what the Win32 call
  // answers under Wine (tools/win32_probe and the tests that run it). It looks
  // at the first 256 units; an odd last byte pairs with the zero byte that
  // callers put after the buffer. ASCII16 is never reported.
  const unsigned char* s = static_cast<const unsigned char*>(bytes);
  constexpr std::size_t kUnitsLookedAt = 256;
  auto unitAt = [&](std::size_t i) -> unsigned {
    return s[2 * i] | (2 * i + 1 < n ? s[2 * i + 1] : 0) << 8;
  };
  std::size_t units = (n + 1) / 2;
  int passed = 0;
  // STATISTICS: fewer than half the units of an even-sized prefix leave the
  // ASCII and Latin-1 range.
  std::size_t counted = std::min(units / 2 * 2, kUnitsLookedAt);
  std::size_t wide = 0;
  for (std::size_t i = 0; i < counted; ++i) {
    if (unitAt(i) > 0xFF)
      ++wide;
  }
  if (2 * wide < counted)
    passed |= 0x0002;
  // CONTROLS: a line end, tab, blank or zero unit anywhere but in the last
  // unit, or an ideographic space anywhere.
  for (std::size_t i = 0; i < std::min(units, kUnitsLookedAt); ++i) {
    unsigned u = unitAt(i);
    bool control = u == 0x0000 || u == 0x0009 || u == 0x000A || u == 0x000D || u == 0x0020;
    if (u == 0x3000 || (control && i + 1 < units))
      passed |= 0x0004;
  }
  // SIGNATURE: the little-endian byte order mark.
  if (n >= 2 && s[0] == 0xFF && s[1] == 0xFE)
    passed |= 0x0008;
  passed &= flags != nullptr ? *flags : kUnicodeTestMask;
  if (flags != nullptr)
    *flags = passed;
  return passed != 0;
}

// ---------------------------------------------------------------------------
// Paths

bool DecodeUtf8Argument(const char* arg, std::u16string* out) {
  std::string bytes = arg;
  *out = FromUtf8(bytes);
  return ToUtf8(*out) == bytes;  // only valid UTF-8 survives the round trip
}

std::u16string ExecutablePath() {
  char16_t path[kLongestPath];
  return std::u16string(path, ExecutablePath(path, kLongestPath));
}

std::u16string TempDirectory() {
  char16_t path[kLongestPath];
  return std::u16string(path, TempDirectory(path, kLongestPath));
}

std::size_t ExecutablePath(char16_t* out, std::size_t cap) {
  if (detail::TestOverrides().hasExecutablePath)
    return detail::CopyWhole(detail::TestOverrides().executablePath, out, cap);
  char bytes[kLongestPath];
  ssize_t n = readlink("/proc/self/exe", bytes, sizeof bytes);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof bytes)
    return detail::CopyWhole({}, out, cap);
  return DecodeWhole(bytes, static_cast<std::size_t>(n), out, cap);
}

std::size_t TempDirectory(char16_t* out, std::size_t cap) {
  if (detail::TestOverrides().hasTempDirectory)
    return detail::CopyWhole(detail::TestOverrides().tempDirectory, out, cap);
  const char* dir = getenv("TMPDIR");
  if (dir == nullptr || *dir == '\0')
    dir = "/tmp";
  char bytes[kLongestPath];
  std::size_t n = strnlen(dir, sizeof bytes - 2);
  if (dir[n] != '\0')
    return detail::CopyWhole({}, out, cap);
  std::memcpy(bytes, dir, n);
  if (bytes[n - 1] != '/')
    bytes[n++] = '/';
  return DecodeWhole(bytes, n, out, cap);
}

// ---------------------------------------------------------------------------
// Errors

int LastError() {
  return errno;
}
void SetLastError(int code) {
  errno = code;
}
int ErrorAccessDenied() {
  return EACCES;
}
int ErrorNotRegularFile() {
  return EINVAL;
}
int ErrorNoSpace() {
  return ENOSPC;
}
int ErrorFileExists() {
  return EEXIST;
}

FileSystem& RealFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

// ---------------------------------------------------------------------------
// Console and formatting

std::size_t FormatWideV(char16_t* out, std::size_t cap, const char16_t* format, va_list args) {
  Formatter f(out, cap);
  for (const char16_t* p = format; *p != 0; ++p) {
    if (*p != u'%') {
      f.Put(*p);
      continue;
    }
    ++p;
    bool left = false;
    char16_t fill = u' ';
    for (; *p == u'-' || *p == u'0'; ++p) {
      if (*p == u'-')
        left = true;
      if (*p == u'0')
        fill = u'0';
    }
    std::size_t width = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p)
      width = width * 10 + (*p - u'0');
    std::size_t precision = SIZE_MAX;
    if (*p == u'.') {
      precision = 0;
      for (++p; *p >= u'0' && *p <= u'9'; ++p)
        precision = precision * 10 + (*p - u'0');
    }
    bool narrow = false;
    if (*p == u'h') {
      narrow = true;
      ++p;
    } else if (*p == u'l') {
      ++p;  // long is 32 bits, as on the platform the formats come from
    }
    if (left)
      fill = u' ';
    char16_t digits[16];
    std::size_t len = 0;
    switch (*p) {
      case u'%':
        f.Put(u'%');
        break;
      case u'c':
        f.Put(static_cast<char16_t>(va_arg(args, int)));
        break;
      case u'd':
      case u'i': {
        int v = va_arg(args, int);
        bool negative = v < 0;
        std::uint32_t magnitude = negative ? 0u - static_cast<std::uint32_t>(v) : v;
        len = UnsignedDigits(magnitude, 10, false, digits);
        if (negative && fill == u'0')
          f.Put(u'-');
        std::size_t total = len + (negative ? 1 : 0);
        if (!left)
          f.Pad(width, total, fill);
        if (negative && fill != u'0')
          f.Put(u'-');
        for (std::size_t i = 0; i < len; ++i)
          f.Put(digits[i]);
        if (left)
          f.Pad(width, total, u' ');
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        std::uint32_t v = va_arg(args, unsigned);
        len = UnsignedDigits(v, *p == u'u' ? 10 : 16, *p == u'X', digits);
        if (!left)
          f.Pad(width, len, fill);
        for (std::size_t i = 0; i < len; ++i)
          f.Put(digits[i]);
        if (left)
          f.Pad(width, len, u' ');
        break;
      }
      case u's': {
        if (narrow) {
          const char* s = va_arg(args, const char*);
          if (s == nullptr)
            s = "(null)";
          len = std::min(std::strlen(s), precision);
          if (!left)
            f.Pad(width, len, u' ');
          for (std::size_t i = 0; i < len; ++i)
            f.Put(static_cast<unsigned char>(s[i]));
        } else {
          const char16_t* s = va_arg(args, const char16_t*);
          if (s == nullptr)
            s = u"(null)";
          len = 0;
          while (len < precision && s[len] != 0)
            ++len;
          if (!left)
            f.Pad(width, len, u' ');
          for (std::size_t i = 0; i < len; ++i)
            f.Put(s[i]);
        }
        if (left)
          f.Pad(width, len, u' ');
        break;
      }
      case 0:
        --p;  // a lone "%" at the end
        break;
      default:
        f.Put(*p);
        break;
    }
  }
  return f.Finish();
}

void WriteConsoleText(std::u16string_view text) {
  std::string bytes(MaxNarrowBytes(text.size()), '\0');
  bytes.resize(
      EncodeUtf8(text.data(), text.size(), reinterpret_cast<unsigned char*>(bytes.data())));
  WriteAll(STDOUT_FILENO, bytes.data(), bytes.size());
}

void WriteStandardError(std::string_view text) {
  WriteAll(STDERR_FILENO, text.data(), text.size());
}

// ---------------------------------------------------------------------------
// Report files

bool AppendToFile(const char16_t* path, const void* bytes, std::size_t n) {
  char name[kLongestPath];
  if (!EncodeWhole(path, name, sizeof name)) {
    errno = ENAMETOOLONG;
    return false;
  }
  int fd = open(name, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0)
    return false;
  WriteAll(fd, bytes, n);
  close(fd);
  return true;
}

// ---------------------------------------------------------------------------
// Memory

void AdviseLargePages(void* p, std::size_t n) {
#if defined(MADV_HUGEPAGE)
  // Only whole pages inside the block may be advised.
  std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
  std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + n) & ~(page - 1);
  if (end > begin)
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

// ---------------------------------------------------------------------------
// Process

unsigned CurrentProcessId() {
  return static_cast<unsigned>(getpid());
}

unsigned CurrentThreadId() {
#if defined(__linux__)
  return static_cast<unsigned>(gettid());
#else
  // Elsewhere: the thread's number in the order threads first ask.
  static std::atomic<unsigned> next{1};
  thread_local unsigned id = next++;
  return id;
#endif
}

int SessionId() {
  if (detail::TestOverrides().sessionId >= 0)
    return detail::TestOverrides().sessionId;
  // The audit login session; the kernel shows 4294967295 for "none".
  int fd = open("/proc/self/sessionid", O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return 0;
  char text[16];
  ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0)
    return 0;
  long long id = 0;
  for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    id = id * 10 + (text[i] - '0');
    if (id > INT_MAX)
      return 0;
  }
  return static_cast<int>(id);
}

const char16_t* ThreadNameSlot() {
  return t_threadName;
}
void SetThreadNameSlot(const char16_t* name) {
  t_threadName = name;
}

void WriteDebuggerText(const char16_t* text) {
  WriteWide(STDERR_FILENO, text);
}

void ShowMessageBox(const char16_t* text, const char16_t* caption) {
  WriteWide(STDERR_FILENO, caption);
  WriteAll(STDERR_FILENO, "\n", 1);
  WriteWide(STDERR_FILENO, text);
  WriteAll(STDERR_FILENO, "\n", 1);
}

LocalTime CurrentLocalTime() {
  LocalTime now;
  struct timespec ts;
  struct tm parts;
  if (clock_gettime(CLOCK_REALTIME, &ts) != 0 || localtime_r(&ts.tv_sec, &parts) == nullptr) {
    return now;
  }
  now.year = parts.tm_year + 1900;
  now.month = parts.tm_mon + 1;
  now.day = parts.tm_mday;
  now.hour = parts.tm_hour;
  now.minute = parts.tm_min;
  now.second = parts.tm_sec;
  now.milliseconds = static_cast<int>(ts.tv_nsec / 1000000);
  return now;
}

OsVersion CurrentOsVersion() {
  OsVersion version;
  struct utsname names;
  if (uname(&names) != 0) {
    std::strcpy(version.kernel, "POSIX");
    return version;
  }
  std::size_t n = strnlen(names.sysname, sizeof version.kernel - 1);
  std::memcpy(version.kernel, names.sysname, n);
  // The release begins with the major and minor numbers: "6.1.0-18-amd64".
  const char* p = names.release;
  int* fields[] = {&version.major, &version.minor};
  for (int* field : fields) {
    for (; *p >= '0' && *p <= '9'; ++p)
      *field = std::min(*field * 10 + (*p - '0'), 99999);
    if (*p != '.')
      break;
    ++p;
  }
  return version;
}

[[noreturn]] void ExitProcessNow(int exitCode) {
  _exit(exitCode);
}

}  // namespace platform
