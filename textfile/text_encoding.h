// The encoding kinds a text file can have.
#pragma once

enum class TextEncoding : int {
  Undetected = 0,  // not yet sniffed
  Ascii = 1,       // no byte above 0x7F and no zero byte; also an empty file
  Ansi = 2,        // 8-bit text in the system ANSI code page
  Utf8Bom = 3,     // UTF-8 after the mark EF BB BF
  Utf8 = 4,        // UTF-8 without mark, with at least one multi-byte sequence
  Utf16LeBom = 5,  // UTF-16 little-endian after the mark FF FE
  Utf16Le = 6,     // UTF-16 little-endian without mark
  Utf16BeBom = 7,  // UTF-16 big-endian after the mark FE FF
};
