// Conversions between bytes in a code page and UTF-16, with fast paths for
// ASCII, and the UTF-8 classifier used to sniff files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"

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
  std::size_t FeedBytes(const unsigned char* s, std::size_t from, std::size_t n);
  std::size_t FeedBlocks(const unsigned char* s, std::size_t from, std::size_t n);

  int m_nPending = 0;  // continuation bytes still expected
  bool m_bInvalid = false;
  bool m_bSawMultiByte = false;
  bool m_bSawZero = false;
};

// Converts n bytes in codePage to UTF-16 into out, which has room for n units
// (no byte yields more than one), and returns the units written. A UTF-8
// sequence that is not valid becomes U+FFFD.
std::size_t ToWide(const char* bytes, std::size_t n, unsigned codePage, char16_t* out);

// The same, replacing out's content.
void ToWide(const char* bytes, std::size_t n, unsigned codePage, std::u16string& out);

// Converts UTF-16 text to codePage into out, which has room for
// MaxNarrowBytes(text.size()) bytes, and returns the bytes written: best fit
// and "?" for the ANSI code page, U+FFFD for a lone surrogate in UTF-8.
std::size_t ToNarrow(std::u16string_view text, unsigned codePage, char* out);

// The same, replacing out's content.
void ToNarrow(std::u16string_view text, unsigned codePage, std::string& out);

// Converts UTF-16 text to codePage in a new buffer of its own.
std::string ToNarrowAlloc(std::u16string_view text, unsigned codePage);

// The most bytes ToNarrow can produce for n units.
inline std::size_t MaxNarrowBytes(std::size_t n) {
  return platform::MaxNarrowBytes(n);
}

// Where the first line feed or zero byte among the n bytes stands, or n.
std::size_t FindLineFeedOrZero(const char* bytes, std::size_t n);

// Where the first byte that is a line feed, zero or not ASCII stands, or n.
std::size_t FindLineFeedOrNonAscii(const char* bytes, std::size_t n);

// Pairs the bytes of `units` UTF-16 units, little- or big-endian as stored,
// into out and returns whether any of them is 0.
bool UnitsFromBytes(const char* bytes, std::size_t units, bool bigEndian, char16_t* out);

// Whether any of the n units is a surrogate, high or low.
bool HasSurrogate(const char16_t* units, std::size_t n);
