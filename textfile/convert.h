// Conversions between bytes in a code page and UTF-16, with fast paths for
// ASCII, and the UTF-8 classifier used to sniff files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Classifies NUL-terminated bytes: 0 when they are not UTF-8, 8 when they hold
// a multi-byte sequence, 7 when they are pure ASCII (also when empty). Overlong
// forms, surrogates and leads F5 to F7 are not rejected.
int ClassifyUtf8(const char* bytes);

// ClassifyUtf8 over a stream of chunks; a zero byte is noted, not an end.
class Utf8Classifier {
 public:
  void Feed(const char* bytes, std::size_t n);
  bool SawZeroByte() const { return m_bSawZero; }
  // The result ClassifyUtf8 gives for everything fed, were it zero-free.
  int Result() const;

 private:
  int m_nPending = 0;  // continuation bytes still expected
  bool m_bInvalid = false;
  bool m_bSawMultiByte = false;
  bool m_bSawZero = false;
};

// Converts n bytes in codePage to UTF-16, replacing out's content. A UTF-8
// sequence that is not valid becomes U+FFFD.
void ToWide(const char* bytes, std::size_t n, unsigned codePage, std::u16string& out);

// Converts UTF-16 text to codePage, replacing out's content: best fit and "?"
// for the ANSI code page, U+FFFD for a lone surrogate in UTF-8.
void ToNarrow(std::u16string_view text, unsigned codePage, std::string& out);

// Converts UTF-16 text to codePage in a new buffer of its own.
std::string ToNarrowAlloc(std::u16string_view text, unsigned codePage);

// Length of the leading run of ASCII bytes (below 0x80).
std::size_t AsciiPrefixLength(const char* bytes, std::size_t n);
