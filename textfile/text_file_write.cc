// The writing side of TextFile: UTF-16 text out in the record's encoding.

#include <cstdarg>
#include <cstring>

#include "textfile/convert.h"
#include "textfile/text_file.h"

bool TextFile::FlushBuffer() {
  if (m_bWriteFailed)
    return false;
  if (m_nEnd > 0 && !m_stream->Write(m_buffer.get(), m_nEnd)) {
    m_bWriteFailed = true;
    m_nError = platform::LastError();
  }
  m_nEnd = 0;
  return !m_bWriteFailed;
}

bool TextFile::WriteBytes(const char* bytes, std::size_t n) {
  m_bWriting = true;
  if (m_bWriteFailed)
    return false;
  if (m_nEnd + n > kBufferSize) {
    if (!FlushBuffer())
      return false;
    if (n > kBufferSize) {
      if (!m_stream->Write(bytes, n)) {
        m_bWriteFailed = true;
        m_nError = platform::LastError();
      }
      return !m_bWriteFailed;
    }
  }
  std::memcpy(m_buffer.get() + m_nEnd, bytes, n);
  m_nEnd += n;
  return true;
}

// Converts text straight into the write buffer, by way of the scratch string
// only for a text too long for the buffer.
void TextFile::WriteConverted(std::u16string_view text, unsigned codePage) {
  m_bWriting = true;
  std::size_t room = MaxNarrowBytes(text.size());
  if (m_nEnd + room > kBufferSize && !FlushBuffer())
    return;
  if (room > kBufferSize) {
    ToNarrow(text, codePage, m_narrow);
    WriteBytes(m_narrow.data(), m_narrow.size());
    return;
  }
  m_nEnd += ToNarrow(text, codePage, m_buffer.get() + m_nEnd);
}

bool TextFile::WriteText(std::u16string_view text) {
  if (!m_stream)
    return false;
  unsigned codePage =
      m_kind == TextEncoding::Utf8 ? platform::kUtf8CodePage : platform::kAnsiCodePage;
  // A line feed goes out as CR LF, as a text-mode stream writes it.
  while (!text.empty()) {
    std::size_t lf = text.find(u'\n');
    WriteConverted(text.substr(0, lf), codePage);
    if (lf == std::u16string_view::npos)
      break;
    WriteBytes("\r\n", 2);
    text.remove_prefix(lf + 1);
  }
  return !m_bWriteFailed;
}

bool TextFile::WriteEncoded(std::string_view bytes) {
  if (!m_stream)
    return false;
  WriteBytes(bytes.data(), bytes.size());
  return !m_bWriteFailed;
}

bool TextFile::WriteChar(char16_t ch) {
  if (ch == 0)
    return false;
  return WriteText(std::u16string_view(&ch, 1));
}

bool TextFile::WriteLine(std::u16string_view text, char16_t ch) {
  if (!m_stream)
    return false;
  WriteText(text);
  if (ch != 0)
    WriteChar(ch);
  return true;
}

bool TextFile::WriteFormatted(const char16_t* format, unsigned ch, ...) {
  char16_t text[1026];
  va_list args;
  va_start(args, ch);
  platform::FormatWideV(text, 1026, format, args);
  va_end(args);
  return WriteLine(text, static_cast<char16_t>(ch));
}

bool TextFile::FlushToDisk() {
  if (!m_stream || !FlushBuffer())
    return false;
  if (!m_stream->Sync()) {
    m_bWriteFailed = true;
    m_nError = platform::LastError();
  }
  return !m_bWriteFailed;
}
