#include "textfile/convert.h"

#include <cstdint>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kLowBits = 0x0101010101010101ull;

std::uint64_t LoadWord(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

bool HasZeroByte(std::uint64_t w) {
  return ((w - kLowBits) & ~w & kHighBits) != 0;
}

std::size_t AsciiUnitsPrefixLength(const char16_t* text, std::size_t n) {
  std::size_t i = 0;
  while (i + 4 <= n && ((text[i] | text[i + 1] | text[i + 2] | text[i + 3]) & 0xFF80) == 0)
    i += 4;
  while (i < n && text[i] < 0x80)
    ++i;
  return i;
}

}  // namespace

std::size_t AsciiPrefixLength(const char* bytes, std::size_t n) {
  std::size_t i = 0;
  while (i + 8 <= n && (LoadWord(bytes + i) & kHighBits) == 0)
    i += 8;
  while (i < n && static_cast<unsigned char>(bytes[i]) < 0x80)
    ++i;
  return i;
}

void Utf8Classifier::Feed(const char* bytes, std::size_t n) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
  std::size_t i = 0;
  while (i < n) {
    if (m_nPending == 0) {
      // Skip clean ASCII a word at a time; zero bytes need the slow path.
      while (i + 8 <= n) {
        std::uint64_t w = LoadWord(bytes + i);
        if ((w & kHighBits) != 0 || HasZeroByte(w))
          break;
        i += 8;
      }
      if (i >= n)
        break;
    }
    unsigned b = s[i++];
    if (b == 0) {
      m_bSawZero = true;
      if (m_nPending > 0)
        m_bInvalid = true;
      m_nPending = 0;
      continue;
    }
    if (m_nPending > 0) {
      if ((b & 0xC0) != 0x80) {
        m_bInvalid = true;
        m_nPending = 0;
        --i;  // look at this byte again as a lead
      } else {
        --m_nPending;
      }
      continue;
    }
    if (b < 0x80)
      continue;
    if ((b & 0xE0) == 0xC0) {
      m_nPending = 1;
    } else if ((b & 0xF0) == 0xE0) {
      m_nPending = 2;
    } else if ((b & 0xF8) == 0xF0) {
      m_nPending = 3;
    } else {
      m_bInvalid = true;  // a continuation byte as lead, or 11111xxx
      continue;
    }
    m_bSawMultiByte = true;
  }
}

int Utf8Classifier::Result() const {
  if (m_bInvalid || m_nPending > 0)
    return 0;
  return m_bSawMultiByte ? 8 : 7;
}

int ClassifyUtf8(const char* bytes) {
  Utf8Classifier classifier;
  classifier.Feed(bytes, std::strlen(bytes));
  return classifier.Result();
}

void ToWide(const char* bytes, std::size_t n, unsigned codePage, std::u16string& out) {
  // Every byte yields at most one unit in both code pages the tool uses.
  out.resize(n);
  char16_t* dst = out.data();
  std::size_t ascii = AsciiPrefixLength(bytes, n);
  for (std::size_t i = 0; i < ascii; ++i)
    dst[i] = static_cast<unsigned char>(bytes[i]);
  if (ascii == n)
    return;
  // ASCII bytes stand for themselves in every ANSI code page and in UTF-8, so
  // the rest converts on its own.
  std::ptrdiff_t rest =
      platform::MultiByteToWide(codePage, bytes + ascii, n - ascii, dst + ascii, n - ascii);
  out.resize(ascii + static_cast<std::size_t>(rest > 0 ? rest : 0));
}

void ToNarrow(std::u16string_view text, unsigned codePage, std::string& out) {
  std::size_t n = text.size();
  std::size_t ascii = AsciiUnitsPrefixLength(text.data(), n);
  out.resize(ascii == n ? n : ascii + platform::MaxNarrowBytes(n - ascii));
  char* dst = out.data();
  for (std::size_t i = 0; i < ascii; ++i)
    dst[i] = static_cast<char>(text[i]);
  if (ascii == n)
    return;
  std::ptrdiff_t rest = platform::WideToMultiByte(codePage, text.data() + ascii, n - ascii,
                                                  dst + ascii, out.size() - ascii);
  out.resize(ascii + static_cast<std::size_t>(rest > 0 ? rest : 0));
}

std::string ToNarrowAlloc(std::u16string_view text, unsigned codePage) {
  std::string out;
  ToNarrow(text, codePage, out);
  return out;
}
