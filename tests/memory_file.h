// An in-memory platform::File for tests: reads from and writes to a string,
// and can be told to fail.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/platform.h"

class MemoryFile : public platform::File {
 public:
  explicit MemoryFile(std::string content = {}, std::size_t chunk = SIZE_MAX)
      : m_content(std::move(content)), m_chunk(chunk) {}

  std::ptrdiff_t Read(void* buffer, std::size_t n) override {
    if (failReads) {
      platform::SetLastError(5);
      return -1;
    }
    std::size_t take = std::min({n, m_chunk, m_content.size() - m_pos});
    std::memcpy(buffer, m_content.data() + m_pos, take);
    m_pos += take;
    return static_cast<std::ptrdiff_t>(take);
  }
  bool Write(const void* data, std::size_t n) override {
    if (written.size() + n > writeLimit) {
      platform::SetLastError(platform::ErrorNoSpace());
      return false;
    }
    written.append(static_cast<const char*>(data), n);
    return true;
  }
  bool Rewind() override {
    m_pos = 0;
    return true;
  }
  std::int64_t Size() override { return static_cast<std::int64_t>(m_content.size()); }
  bool Sync() override { return true; }
  bool Close() override { return true; }

  std::string written;
  std::size_t writeLimit = SIZE_MAX;
  bool failReads = false;

 private:
  std::string m_content;
  std::size_t m_chunk;  // the most one Read delivers
  std::size_t m_pos = 0;
};
