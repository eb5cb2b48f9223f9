// The real file system with faults to order: each step the rewrite takes can
// be made to fail with a chosen error, without root and without a full disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

struct Faults {
  int openForReading = 0;  // error code, or 0 for none
  int createNew = 0;
  std::int64_t writableBytes = -1;  // the writes beyond this many bytes fail with ENOSPC
  int sync = 0;
  int close = 0;
  int replace = 0;
};

class FaultyFileSystem : public platform::FileSystem {
 public:
  explicit FaultyFileSystem(Faults faults) : m_faults(faults) {}

  std::unique_ptr<platform::File> OpenForReading(const std::u16string& path) override {
    if (Fail(m_faults.openForReading))
      return nullptr;
    return Real().OpenForReading(path);
  }
  std::unique_ptr<platform::File> CreateNew(const std::u16string& path) override {
    if (Fail(m_faults.createNew))
      return nullptr;
    std::unique_ptr<platform::File> file = Real().CreateNew(path);
    if (!file)
      return nullptr;
    return std::make_unique<FaultyFile>(std::move(file), m_faults);
  }
  bool Replace(const std::u16string& source, const std::u16string& target) override {
    if (Fail(m_faults.replace))
      return false;
    return Real().Replace(source, target);
  }
  bool Remove(const std::u16string& path) override { return Real().Remove(path); }
  bool SameFile(const std::u16string& a, const std::u16string& b) override {
    return Real().SameFile(a, b);
  }

 private:
  class FaultyFile : public platform::File {
   public:
    FaultyFile(std::unique_ptr<platform::File> inner, const Faults& faults)
        : m_inner(std::move(inner)), m_faults(faults) {}
    std::ptrdiff_t Read(void* buffer, std::size_t n) override { return m_inner->Read(buffer, n); }
    bool Write(const void* data, std::size_t n) override {
      if (m_faults.writableBytes >= 0 &&
          m_written + static_cast<std::int64_t>(n) > m_faults.writableBytes) {
        platform::SetLastError(platform::ErrorNoSpace());
        return false;
      }
      m_written += static_cast<std::int64_t>(n);
      return m_inner->Write(data, n);
    }
    bool Rewind() override { return m_inner->Rewind(); }
    std::int64_t Size() override { return m_inner->Size(); }
    bool Sync() override { return !Fail(m_faults.sync) && m_inner->Sync(); }
    bool Close() override {
      bool closed = m_inner->Close();
      return !Fail(m_faults.close) && closed;
    }

   private:
    std::unique_ptr<platform::File> m_inner;
    Faults m_faults;
    std::int64_t m_written = 0;
  };

  static platform::FileSystem& Real() { return platform::RealFileSystem(); }
  static bool Fail(int error) {
    if (error == 0)
      return false;
    platform::SetLastError(error);
    return true;
  }

  Faults m_faults;
};
