#include "textfile/text_file.h"

TextFile::TextFile(std::unique_ptr<platform::File> stream)
    : m_stream(std::move(stream)), m_buffer(new char[kBufferSize]) {}

TextFile::~TextFile() {
  CloseTextFile();
}

bool TextFile::CloseTextFile() {
  if (!m_stream)
    return true;
  bool ok = !m_bWriting || FlushBuffer();
  if (!m_stream->Close() && ok) {
    m_nError = platform::LastError();
    ok = false;
  }
  m_stream.reset();
  m_strNote.reset();
  return ok;
}
