// A platform::FileSystem held in memory, for driving whole runs of the tool in a
// fuzzer: no disk, no leftovers, and any write or replace can be made to fail.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "tests/memory_file.h"

class MemoryFileSystem : public platform::FileSystem {
 public:
  std::map<std::u16string, std::string> files;
  std::int64_t writableBytes = -1;  // writes beyond this many bytes in all fail with ENOSPC
  bool failReplace = false;
  bool failSync = false;

  std::unique_ptr<platform::File> OpenForReading(const std::u16string& path) override {
    auto it = files.find(path);
    if (it == files.end()) {
      platform::SetLastError(2);
      return nullptr;
    }
    return std::make_unique<MemoryFile>(it->second, m_readChunk);
  }

  std::unique_ptr<platform::File> CreateNew(const std::u16string& path) override {
    if (files.count(path) != 0) {
      platform::SetLastError(platform::ErrorFileExists());
      return nullptr;
    }
    files[path];
    return std::make_unique<NewFile>(*this, path);
  }

  bool Replace(const std::u16string& source, const std::u16string& target) override {
    if (failReplace || files.count(source) == 0 || files.count(target) == 0) {
      platform::SetLastError(platform::ErrorAccessDenied());
      return false;
    }
    files[target] = std::move(files[source]);
    files.erase(source);
    return true;
  }

  bool Remove(const std::u16string& path) override { return files.erase(path) != 0; }

  bool SameFile(const std::u16string& a, const std::u16string& b) override {
    return a == b && files.count(a) != 0;
  }

  // The most one Read delivers, to move where buffer refills fall.
  void SetReadChunk(std::size_t chunk) { m_readChunk = chunk; }

 private:
  // Its bytes reach the map as they are written, as on a real disk.
  class NewFile : public platform::File {
   public:
    NewFile(MemoryFileSystem& fs, std::u16string path) : m_fs(fs), m_path(std::move(path)) {}
    std::ptrdiff_t Read(void*, std::size_t) override { return -1; }
    bool Write(const void* data, std::size_t n) override {
      if (m_fs.writableBytes >= 0 &&
          m_fs.m_written + static_cast<std::int64_t>(n) > m_fs.writableBytes) {
        platform::SetLastError(platform::ErrorNoSpace());
        return false;
      }
      m_fs.m_written += static_cast<std::int64_t>(n);
      m_fs.files[m_path].append(static_cast<const char*>(data), n);
      return true;
    }
    bool Rewind() override { return false; }
    std::int64_t Size() override { return static_cast<std::int64_t>(m_fs.files[m_path].size()); }
    bool Sync() override {
      if (m_fs.failSync)
        platform::SetLastError(5);
      return !m_fs.failSync;
    }
    bool Close() override { return true; }

   private:
    MemoryFileSystem& m_fs;
    std::u16string m_path;
  };

  std::size_t m_readChunk = SIZE_MAX;
  std::int64_t m_written = 0;
};
