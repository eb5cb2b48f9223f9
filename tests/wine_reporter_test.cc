// The assertion reporter of the Windows build under Wine: the session number
// from the system, the thread name from the thread information block, the
// report file and the exit code. tools/win32_probe fails a check through it.
//
// The message box cannot be observed here: Wine without a display returns
// from MessageBoxW at once, so these runs do not wait for a click.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tests/tool_runner.h"

#ifndef INISEAL_WINE_RUNNER
#error "INISEAL_WINE_RUNNER must name the command that runs Windows programs"
#endif

namespace fs = std::filesystem;

namespace {

class ReporterRun : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("iniseal-wine-report-" + std::to_string(::getpid()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    fs::copy_file(INISEAL_WIN32_PROBE, m_dir / "win32_probe.exe");
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // Fails a check in the probe; returns its exit code.
  int FailACheck(const std::string& args) {
    std::string command = "cd '" + m_dir.string() + "' && " + INISEAL_WINE_RUNNER +
                          " ./win32_probe.exe assert " + args + " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The one report file below the directory, by its name relative to it.
  std::string ReportName() {
    std::string found;
    for (const auto& entry : fs::recursive_directory_iterator(m_dir)) {
      if (entry.path().extension() == ".err")
        found = fs::relative(entry.path(), m_dir).generic_string();
    }
    return found;
  }

  std::string Read(const std::string& name) { return ReadWholeFile(m_dir / name); }

  fs::path m_dir;
};

// One report as the file holds it, the thread name and error part as given.
std::string ReportPattern(const std::string& errorPart, const std::string& threadPart) {
  return "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}, WinNT "
         "[0-9]+\\.[0-9]+\r\n"
         "File TavString\\.cc, line 42" +
         errorPart + ", tid=([0-9]+) \\(x[0-9a-f]+\\)" + threadPart +
         "\r\n\r\nBuild: V[0-9.]+ \\([0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\)"
         "\r\n\r\nExpression: m_nExtent <= m_nCapacity\r\n\r\n\r\n";
}

TEST_F(ReporterRun, ReportGoesToTheSupportDirectory) {
  fs::create_directory(m_dir / "Support");
  EXPECT_EQ(FailACheck("Worker 5"), 3);
  // Wine runs its programs in session 1; the name carries it.
  std::string name = ReportName();
  EXPECT_TRUE(std::regex_match(name, std::regex("Support/win32_probe\\.[1-9][0-9]*\\.err")))
      << name;
  std::string report = Read(name);
  EXPECT_TRUE(std::regex_match(
      report, std::regex(ReportPattern(", error code 5 \\(x5\\)", ", thread=Worker"))))
      << report;
}

TEST_F(ReporterRun, WithoutSupportDirectoryTheReportLiesBesideTheExeAndGrows) {
  EXPECT_EQ(FailACheck(""), 3);
  EXPECT_EQ(FailACheck(""), 3);
  std::string name = ReportName();
  EXPECT_TRUE(std::regex_match(name, std::regex("win32_probe\\.[1-9][0-9]*\\.err"))) << name;
  std::string one = ReportPattern("", "");
  std::string report = Read(name);
  EXPECT_TRUE(std::regex_match(report, std::regex(one + one))) << report;
}

}  // namespace
