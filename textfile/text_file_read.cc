// The reading side of TextFile: sniffing the encoding and delivering lines.

#include <cstring>

#include "textfile/convert.h"
#include "textfile/text_file.h"

namespace {

bool IsUtf16(TextEncoding kind) {
  return kind == TextEncoding::Utf16LeBom || kind == TextEncoding::Utf16Le ||
         kind == TextEncoding::Utf16BeBom;
}

unsigned CodePageOf(TextEncoding kind) {
  return (kind == TextEncoding::Utf8 || kind == TextEncoding::Utf8Bom) ? platform::kUtf8CodePage
                                                                       : platform::kAnsiCodePage;
}

// Whether a surrogate stands without its partner.
bool HasLoneSurrogate(const char16_t* units, std::size_t n) {
  if (!HasSurrogate(units, n))
    return false;  // the usual text, told by one quick scan
  for (std::size_t i = 0; i < n; ++i) {
    if (units[i] < 0xD800 || units[i] > 0xDFFF)
      continue;
    if (units[i] > 0xDBFF || i + 1 == n || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF)
      return true;
    ++i;
  }
  return false;
}

}  // namespace

void TextFile::SetFault(ReadFault fault) {
  if (m_fault == ReadFault::None)
    m_fault = fault;
}

// Keeps the unread bytes and appends what the stream has next.
bool TextFile::Refill() {
  if (m_bAtEnd || !m_stream)
    return false;
  std::size_t left = m_nEnd - m_nPos;
  std::memmove(m_buffer.get(), m_buffer.get() + m_nPos, left);
  m_nPos = 0;
  m_nEnd = left;
  std::ptrdiff_t got = m_stream->Read(m_buffer.get() + left, kBufferSize - left);
  if (got <= 0) {
    if (got < 0) {
      m_nError = platform::LastError();
      SetFault(ReadFault::ReadError);
    }
    m_bAtEnd = true;
    return false;
  }
  m_nEnd += static_cast<std::size_t>(got);
  return true;
}

void TextFile::Restart() {
  m_nPos = 0;
  m_nEnd = 0;
  m_bAtEnd = false;
  if (!m_stream->Rewind()) {
    m_nError = platform::LastError();
    SetFault(ReadFault::ReadError);
    m_bAtEnd = true;
  }
}

TextEncoding TextFile::GetEncoding() {
  if (m_kind == TextEncoding::Undetected)
    DetectEncoding();
  return m_kind;
}

void TextFile::DetectEncoding() {
  if (!m_stream) {
    m_kind = TextEncoding::Ascii;
    return;
  }
  if (DetectMark())
    return;
  m_kind = SniffContent();
  Restart();
}

// A byte order mark decides the kind at once; reading goes on after it.
bool TextFile::DetectMark() {
  while (m_nEnd - m_nPos < 3 && Refill()) {
  }
  const unsigned char* b = reinterpret_cast<const unsigned char*>(m_buffer.get() + m_nPos);
  std::size_t n = m_nEnd - m_nPos;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    m_kind = TextEncoding::Utf8Bom;
    m_nPos += 3;
  } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    m_kind = TextEncoding::Utf16LeBom;
    m_nPos += 2;
  } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    m_kind = TextEncoding::Utf16BeBom;
    m_nPos += 2;
  } else {
    return false;
  }
  return true;
}

// Without a mark, the whole content decides: UTF-8 when it is valid UTF-8 with
// a multi-byte sequence, ASCII when it is plain, and otherwise the UTF-16 text
// test tells UTF-16 from 8-bit text.
TextEncoding TextFile::SniffContent() {
  std::int64_t size = m_stream->Size();
  if (size <= 0)
    return TextEncoding::Ascii;
  Restart();
  Utf8Classifier classifier;
  while (Refill()) {
    classifier.Feed(m_buffer.get(), m_nEnd);
    m_nPos = m_nEnd;
  }
  if (!classifier.SawZeroByte()) {
    int utf8 = classifier.Result();
    if (utf8 == 8)
      return TextEncoding::Utf8;
    if (utf8 == 7)
      return TextEncoding::Ascii;
  }
  return LooksLikeUtf16(size) ? TextEncoding::Utf16Le : TextEncoding::Ansi;
}

bool TextFile::LooksLikeUtf16(std::int64_t size) {
  if (static_cast<std::uint64_t>(size) >= SIZE_MAX)
    return false;
  std::size_t capacity = static_cast<std::size_t>(size);
  // One byte more: the UTF-16 test pairs an odd last byte with the zero after it.
  std::unique_ptr<char[]> content(new (std::nothrow) char[capacity + 1]);
  if (!content)
    return false;
  Restart();
  std::size_t n = 0;
  while (n < capacity) {
    std::ptrdiff_t got = m_stream->Read(content.get() + n, capacity - n);
    if (got <= 0)
      break;
    n += static_cast<std::size_t>(got);
  }
  content[n] = 0;
  int flags = platform::kUnicodeTestMask;
  return platform::IsTextUnicode(content.get(), n, &flags) && flags != 0;
}

// Where the line starting at bytes ends (just after its line feed), or npos.
std::size_t TextFile::FindLineEnd(const char* bytes, std::size_t n) const {
  if (!IsUtf16(m_kind)) {
    const void* lf = std::memchr(bytes, '\n', n);
    return lf ? static_cast<const char*>(lf) - bytes + 1 : std::string::npos;
  }
  // A UTF-16 line feed is the unit 0x000A at a unit boundary.
  bool bigEndian = m_kind == TextEncoding::Utf16BeBom;
  std::size_t from = 0;
  while (from < n) {
    const void* hit = std::memchr(bytes + from, '\n', n - from);
    if (!hit)
      break;
    std::size_t at = static_cast<const char*>(hit) - bytes;
    if (!bigEndian && at % 2 == 0 && at + 1 < n && bytes[at + 1] == 0)
      return at + 2;
    if (bigEndian && at % 2 == 1 && bytes[at - 1] == 0)
      return at + 1;
    from = at + 1;
  }
  return std::string::npos;
}

// The raw bytes of the next line with its line feed, if it has one. Nearly
// always the whole line is in the buffer already and is handed out from there.
bool TextFile::NextRawLine(std::string_view* line) {
  std::size_t unit = IsUtf16(m_kind) ? 2 : 1;
  bool spansRefill = false;
  m_pending.clear();
  for (;;) {
    const char* start = m_buffer.get() + m_nPos;
    std::size_t avail = m_nEnd - m_nPos;
    std::size_t cut = FindLineEnd(start, avail);
    if (cut != std::string::npos) {
      m_nPos += cut;
      if (!spansRefill) {
        *line = std::string_view(start, cut);
        return true;
      }
      m_pending.append(start, cut);
      *line = m_pending;
      return true;
    }
    // Keep the whole units; half a unit waits for the next read.
    std::size_t whole = avail - avail % unit;
    m_pending.append(start, whole);
    m_nPos += whole;
    spansRefill = true;
    if (!Refill()) {
      if (m_fault != ReadFault::None)
        return false;
      if (m_nEnd > m_nPos) {
        SetFault(ReadFault::OddLength);
        return false;
      }
      if (m_pending.empty())
        return false;
      *line = m_pending;
      return true;
    }
  }
}

void TextFile::DeliverNarrow(std::string_view line, std::u16string& out) {
  if (std::memchr(line.data(), 0, line.size()) != nullptr) {
    SetFault(ReadFault::ZeroCharacter);
    return;
  }
  ConvertNarrow(line, out);
}

// Converts a line known to hold no zero byte.
void TextFile::ConvertNarrow(std::string_view line, std::u16string& out) {
  const char* bytes = line.data();
  std::size_t n = line.size();
  while (n > 0 && (bytes[n - 1] == '\n' || bytes[n - 1] == '\r'))
    --n;
  unsigned codePage = CodePageOf(m_kind);
  ToWide(bytes, n, codePage, out);
  // An ill-formed UTF-8 sequence decodes to U+FFFD and would be written back as
  // that: the file is refused rather than changed.
  if (codePage == platform::kUtf8CodePage && out.find(u'\uFFFD') != std::u16string::npos &&
      ToNarrowAlloc(out, codePage) != line.substr(0, n))
    SetFault(ReadFault::IllFormed);
}

// Takes the line at the read position, without its line feed, when the first
// byte that find stops at is a line feed in the buffer.
bool TextFile::TakeBufferedLine(std::size_t (*find)(const char*, std::size_t),
                                std::string_view* line) {
  const char* first = m_buffer.get() + m_nPos;
  std::size_t avail = m_nEnd - m_nPos;
  std::size_t at = find(first, avail);
  if (at == avail || first[at] != '\n')
    return false;
  m_nPos += at + 1;
  *line = std::string_view(first, at);
  return true;
}

// The usual 8-bit line, whole in the buffer: one scan finds its end and shows
// it holds no zero byte. Anything else takes the general way.
bool TextFile::ReadWholeNarrowLine(std::u16string& out) {
  std::string_view line;
  if (!TakeBufferedLine(FindLineFeedOrZero, &line))
    return false;
  ConvertNarrow(line, out);
  return true;
}

bool TextFile::ReadAsciiLine(std::string_view* line) {
  if (!m_stream || m_fault != ReadFault::None || IsUtf16(GetEncoding()) ||
      !TakeBufferedLine(FindLineFeedOrNonAscii, line))
    return false;
  while (!line->empty() && line->back() == '\r')
    line->remove_suffix(1);
  return true;
}

void TextFile::DeliverUtf16(std::string_view line, std::u16string& out) {
  std::size_t units = line.size() / 2;
  if (out.size() < units)
    out.resize(units);
  char16_t* dst = out.data();
  if (UnitsFromBytes(line.data(), units, m_kind == TextEncoding::Utf16BeBom, dst)) {
    SetFault(ReadFault::ZeroCharacter);
    return;
  }
  // A lone surrogate has no form in any other encoding: it would come back as
  // U+FFFD or "?".
  if (HasLoneSurrogate(dst, units)) {
    SetFault(ReadFault::IllFormed);
    return;
  }
  while (units > 0 && (dst[units - 1] == u'\n' || dst[units - 1] == u'\r'))
    --units;
  out.resize(units);
}

bool TextFile::ReadLine(std::u16string& out) {
  // out keeps its old content until it is replaced, so that converting into
  // it fills no units just to overwrite them.
  std::string_view line;
  bool read = m_stream && m_fault == ReadFault::None;
  if (read)
    GetEncoding();
  if (read && !IsUtf16(m_kind) && ReadWholeNarrowLine(out)) {
    if (m_fault == ReadFault::None)
      return true;
    read = false;
  }
  if (read && NextRawLine(&line)) {
    if (IsUtf16(m_kind)) {
      DeliverUtf16(line, out);
    } else {
      DeliverNarrow(line, out);
    }
    if (m_fault == ReadFault::None)
      return true;
  }
  out.clear();
  return false;
}
