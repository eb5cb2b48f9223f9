// The text file record: an open file and its encoding kind, read line by line
// into UTF-16 whatever the encoding, or written from UTF-16 in a chosen one.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "corekit/TavString.h"
#include "platform/platform.h"
#include "textfile/text_encoding.h"

// Why ReadLine stopped delivering lines before the end of the file.
enum class ReadFault {
  None,
  ZeroCharacter,  // a zero byte or unit 0 inside the text: it cannot be kept whole
  OddLength,      // UTF-16 content that ends in half a unit
  IllFormed,      // a UTF-8 or UTF-16 sequence that is not valid: it cannot be written back
  ReadError,      // the file system failed; see ErrorCode()
};

class TextFile {
 public:
  // Takes ownership of the stream; the kind is Undetected until asked for.
  explicit TextFile(std::unique_ptr<platform::File> stream);
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Reading ----------------------------------------------------------------

  // Sniffs the encoding of a file open for reading and sets the kind.
  void DetectEncoding();
  TextEncoding GetEncoding();

  // Delivers the next line, whole and without its trailing CR and LF
  // characters. False at the end of the file or when Fault() says why not.
  bool ReadLine(std::u16string& out);
  // The usual line, faster: when the next line is pure ASCII in an 8-bit file
  // and whole in the buffer, hands out its bytes without the trailing CR and
  // LF characters, which are the text ReadLine would deliver, a character for
  // each byte. Otherwise false, and nothing is taken: ReadLine reads the line.
  bool ReadAsciiLine(std::string_view* line);
  ReadFault Fault() const { return m_fault; }
  int ErrorCode() const { return m_nError; }

  // Writing ----------------------------------------------------------------

  void SetEncoding(TextEncoding kind) { m_kind = kind; }
  // Each returns false when there is no stream or a write has failed.
  bool WriteText(std::u16string_view text);
  bool WriteChar(char16_t ch);
  // Writes text (if given), then ch (if not 0); a line feed goes out as CR LF.
  // False only when there is no stream.
  bool WriteLine(std::u16string_view text, char16_t ch);
  // ch is an unsigned rather than a char16_t: the last named parameter before
  // "..." must not be one that default argument promotion changes.
  bool WriteFormatted(const char16_t* format, unsigned ch, ...);
  // Writes bytes already in the record's encoding, line ends included. False
  // when there is no stream or a write has failed.
  bool WriteEncoded(std::string_view bytes);
  // Writes out what is buffered and forces it to stable storage.
  bool FlushToDisk();

  // The error code of the first failed write, flush or close.
  int WriteErrorCode() const { return m_nError; }

  // Closes the stream, if open, and reports whether everything written reached
  // the file. Reading and writing fail after it.
  bool CloseTextFile();

 private:
  static constexpr std::size_t kBufferSize = 1 << 20;

  bool Refill();
  bool NextRawLine(std::string_view* line);
  std::size_t FindLineEnd(const char* bytes, std::size_t n) const;
  void DeliverNarrow(std::string_view line, std::u16string& out);
  void ConvertNarrow(std::string_view line, std::u16string& out);
  bool TakeBufferedLine(std::size_t (*find)(const char*, std::size_t), std::string_view* line);
  bool ReadWholeNarrowLine(std::u16string& out);
  void DeliverUtf16(std::string_view line, std::u16string& out);
  bool DetectMark();
  TextEncoding SniffContent();
  bool LooksLikeUtf16(std::int64_t size);
  void Restart();
  void SetFault(ReadFault fault);
  bool WriteBytes(const char* bytes, std::size_t n);
  void WriteConverted(std::u16string_view text, unsigned codePage);
  bool FlushBuffer();

  // The record's string: the tool stores nothing in it. Released with the stream.
  std::optional<TavString> m_strNote{std::in_place};
  std::unique_ptr<platform::File> m_stream;
  TextEncoding m_kind = TextEncoding::Undetected;
  ReadFault m_fault = ReadFault::None;
  int m_nError = 0;

  std::unique_ptr<char[]> m_buffer;  // read or write buffer
  std::size_t m_nPos = 0;            // next byte to read
  std::size_t m_nEnd = 0;            // end of the bytes held
  bool m_bAtEnd = false;             // the stream has no more bytes
  std::string m_pending;             // a line that spans refills
  std::string m_narrow;              // scratch for conversions on write
  bool m_bWriting = false;           // the buffer holds bytes to write, not read
  bool m_bWriteFailed = false;
};
