// Scratch directories for assertion reports: a failed check in a test writes
// its report beside a stand-in program, not beside the test binary, and the
// session number is fixed. Failed checks end the process, so tests make them
// in a child (EXPECT_EXIT) and look at the report and standard error here.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform/platform.h"

class ReportSandbox {
 public:
  ReportSandbox() : m_root(MakeRoot()) {
    std::filesystem::create_directories(Bin());
    std::filesystem::create_directories(Tmp());
    UseProgram(Bin() / "tool.exe");
    UseTempDirectory(Tmp());
    platform::OverrideSessionId(0);
  }
  ~ReportSandbox() {
    platform::OverrideExecutablePath(nullptr);
    platform::OverrideTempDirectory(nullptr);
    platform::OverrideSessionId(-1);
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }
  ReportSandbox(const ReportSandbox&) = delete;
  ReportSandbox& operator=(const ReportSandbox&) = delete;

  const std::filesystem::path& Root() const { return m_root; }
  std::filesystem::path Bin() const { return m_root / "bin"; }  // the program's directory
  std::filesystem::path Tmp() const { return m_root / "tmp"; }  // the temporary directory

  void UseProgram(const std::filesystem::path& program) {
    m_program = program.u16string();
    platform::OverrideExecutablePath(m_program.c_str());
  }
  void UseTempDirectory(const std::filesystem::path& dir) {
    m_temp = dir.u16string() + platform::kPathSeparator;
    platform::OverrideTempDirectory(m_temp.c_str());
  }

  // The file's bytes; empty when it cannot be read.
  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  static std::filesystem::path MakeRoot() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? test->name() : "report";
    return std::filesystem::temp_directory_path() /
           ("iniseal-" + name + "-" + std::to_string(std::random_device()()));
  }

  std::filesystem::path m_root;
  std::u16string m_program;
  std::u16string m_temp;
};

// A death-test matcher that accepts any standard error and keeps it in *out, so
// that the test can examine it with ordinary expectations.
inline ::testing::Matcher<const std::string&> KeepStandardError(std::string* out) {
  return ::testing::Truly([out](const std::string& text) {
    *out = text;
    return true;
  });
}
