#include "corekit/TavAssert.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "platform/platform.h"
#include "tests/report_sandbox.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ExitedWithCode;
using ::testing::HasSubstr;
using ::testing::Not;

void SayCleanUpRan() {
  std::fputs("clean-up ran\n", stderr);
}

// Makes a failed check in a child and hands back its standard error.
std::string FailInChild(const char16_t* expression, const char* sourcePath, int line) {
  std::string err;
  EXPECT_EXIT(
      {
        platform::SetLastError(0);  // no error part unless a test asks for one
        AssertFailed(expression, sourcePath, line);
      },
      ExitedWithCode(3), KeepStandardError(&err));
  return err;
}

TEST(BuildStamp, HasItsFixedLayout) {
  EXPECT_TRUE(std::regex_match(
      GetBuildStamp(),
      std::regex(
          R"(!!!!:(0[1-9]|[12]\d|3[01])/(0[1-9]|1[0-2])/\d\d [0-2]\d:[0-5]\d:[0-6]\d V\d+\.\d+\.\d+)")))
      << GetBuildStamp();
}

TEST(AssertFailed, ReportsToDebuggerFileAndMessageThenExitsWith3) {
  ReportSandbox sandbox;
  fs::create_directory(sandbox.Bin() / "Support");
  std::string err;
  EXPECT_EXIT(
      {
        std::atexit(SayCleanUpRan);
        platform::SetLastError(0);
        AssertFailed(u"a==b", "src/corekit/x.cc", 12);
      },
      ExitedWithCode(3), KeepStandardError(&err));

  // The debugger line comes first; its thread= field is the whole identity text.
  std::smatch line;
  ASSERT_TRUE(std::regex_search(
      err, line,
      std::regex(
          R"(^Assert, tid=([0-9a-f]+) thread=, tid=(\d+) \(x([0-9a-f]+)\) exp=a==b @ src/corekit/x\.cc:12\n)")))
      << err;
  EXPECT_EQ(line[1], line[3]);
  EXPECT_EQ(std::stoul(line[2]), std::stoul(line[3], nullptr, 16));
  std::string identity = ", tid=" + line[2].str() + " (x" + line[3].str() + ")";

  const std::string stamp = GetBuildStamp();
  std::string message = "File x.cc, line 12" + identity + "\n\nBuild: " + stamp.substr(23) + " (" +
                        stamp.substr(5, 17) + ")\n\nExpression: a==b";
  EXPECT_THAT(err, HasSubstr("Assert failed - copied to tool.err\n" + message + "\n"));
  EXPECT_THAT(err, Not(HasSubstr("clean-up ran")));

  std::string report = ReportSandbox::Read(sandbox.Bin() / "Support" / "tool.err");
  std::string body = std::regex_replace(message, std::regex("\n"), "\r\n") + "\r\n\r\n\r\n";
  ASSERT_TRUE(
      std::regex_match(report.substr(0, report.find("\r\n") + 2),
                       std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}, \S+ \d+\.\d+\r\n)")))
      << report;
  EXPECT_EQ(report.substr(report.find("\r\n") + 2), body);
}

TEST(ReportAssertion, ReportsWithoutEndingTheProcess) {
  ReportSandbox sandbox;
  std::string err;
  EXPECT_EXIT(
      {
        ReportAssertion(u"x", "x.cc", 1);
        platform::ExitProcessNow(0);
      },
      ExitedWithCode(0), KeepStandardError(&err));
  EXPECT_THAT(err, HasSubstr("Assert failed - copied to tool.err\n"));
  EXPECT_TRUE(fs::exists(sandbox.Bin() / "tool.err"));
}

TEST(AssertFailed, NamesTheReportAfterProgramAndSession) {
  const struct {
    const char* program;
    int session;
    const char* report;
  } cases[] = {
      {"tool.exe", 0, "tool.err"},
      {"tool.exe", 3, "tool.3.err"},
      {"tool", 3, "tool.3.err"},  // as if it ended in ".exe"
      {"my.tool.exe", 0, "my.tool.err"},
  };
  for (const auto& c : cases) {
    ReportSandbox sandbox;
    sandbox.UseProgram(sandbox.Bin() / c.program);
    platform::OverrideSessionId(c.session);
    std::string err = FailInChild(u"x", "x.cc", 1);
    EXPECT_THAT(err, HasSubstr(std::string("Assert failed - copied to ") + c.report + "\n"));
    EXPECT_TRUE(fs::exists(sandbox.Bin() / c.report)) << c.program << " " << c.session;
  }
}

TEST(AssertFailed, TriesSupportThenProgramDirectoryThenTemporaryDirectory) {
  enum Where { kSupport, kProgram, kTemp, kNowhere };
  for (Where expected : {kSupport, kProgram, kTemp, kNowhere}) {
    ReportSandbox sandbox;
    if (expected == kSupport)
      fs::create_directory(sandbox.Bin() / "Support");
    if (expected >= kTemp)
      sandbox.UseProgram(sandbox.Root() / "missing" / "tool.exe");
    if (expected == kNowhere)
      sandbox.UseTempDirectory(sandbox.Root() / "missing-too");
    std::string err = FailInChild(u"x", "x.cc", 1);

    const fs::path places[] = {sandbox.Bin() / "Support" / "tool.err", sandbox.Bin() / "tool.err",
                               sandbox.Tmp() / "tool.err"};
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(fs::exists(places[i]), i == expected) << places[i];
    EXPECT_THAT(err, HasSubstr(expected == kNowhere ? "Assert failed - NOT copied to disk\n"
                                                    : "Assert failed - copied to tool.err\n"));
  }
}

TEST(AssertFailed, ShowsTheLastErrorCodeWhenThereIsOne) {
  ReportSandbox sandbox;
  const struct {
    int code;
    const char* expected;
  } cases[] = {{0, "File x.cc, line 7, tid="},
               {20, "File x.cc, line 7, error code 20 (x14), tid="}};
  for (const auto& c : cases) {
    std::string err;
    EXPECT_EXIT(
        {
          platform::SetLastError(c.code);
          AssertFailed(u"x", "x.cc", 7);
        },
        ExitedWithCode(3), KeepStandardError(&err));
    EXPECT_THAT(err, HasSubstr(c.expected));
  }
}

TEST(AssertFailed, MessageShowsTheShortSourceNameAndTheDebuggerLineTheWholePath) {
  ReportSandbox sandbox;
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\work\\corekit\\TavString.cc", "TavString.cc"},
      {"/work/corekit/TavString.cc", "TavString.cc"},
      {"work\\sub/name.cc", "sub/name.cc"},  // a backslash wins over a later "/"
      {"name.cc", "name.cc"},
  };
  for (const auto& c : cases) {
    std::string err = FailInChild(u"x", c.path, 7);
    EXPECT_THAT(err, HasSubstr(std::string(" exp=x @ ") + c.path + ":7\n"));
    EXPECT_THAT(err, HasSubstr(std::string("\nFile ") + c.name + ", line 7, "));
  }
}

TEST(AssertFailed, ReportsFromTwoRunsAppendToOneFile) {
  ReportSandbox sandbox;
  FailInChild(u"first", "x.cc", 1);
  FailInChild(u"second", "x.cc", 2);
  std::string report = ReportSandbox::Read(sandbox.Bin() / "tool.err");
  const std::regex one(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}, [^\r\n]+\r\nFile x\.cc, line (\d)[\s\S]*?Expression: (\w+)\r\n\r\n\r\n)");
  std::smatch first;
  ASSERT_TRUE(std::regex_search(report, first, one, std::regex_constants::match_continuous))
      << report;
  std::string rest = first.suffix();
  std::smatch second;
  ASSERT_TRUE(std::regex_match(rest, second, one)) << report;
  EXPECT_EQ(first[1].str() + first[2].str(), "1first");
  EXPECT_EQ(second[1].str() + second[2].str(), "2second");
}

TEST(AssertFailed, UnitAboveFfEndsOnlyThePieceOfTheReportItIsIn) {
  ReportSandbox sandbox;
  FailInChild(u"a\u0100b", "x.cc", 1);
  std::string report = ReportSandbox::Read(sandbox.Bin() / "tool.err");
  EXPECT_THAT(report, testing::EndsWith("\r\n\r\nExpression: a\r\n\r\n\r\n"));
}

TEST(AssertFailed, LongNamesAreCutAndLongDirectoriesPassedOver) {
  ReportSandbox sandbox;
  std::u16string name(200, u'n');
  platform::SetThreadNameSlot(name.c_str());
  std::string err = FailInChild(u"x", "x.cc", 1);
  platform::SetThreadNameSlot(nullptr);
  std::smatch identity;
  ASSERT_TRUE(std::regex_search(err, identity,
                                std::regex(R"(thread=(, tid=\d+ \(x[0-9a-f]+\), thread=n+) exp=)")))
      << err;
  EXPECT_EQ(identity[1].length(), 59);  // the identity text's 60 units, terminator included

  // A long program name keeps its report ending within the 64 units of the name.
  sandbox.UseProgram(sandbox.Bin() / (std::string(250, 't') + ".exe"));
  platform::OverrideSessionId(3);
  FailInChild(u"x", "x.cc", 1);
  EXPECT_TRUE(fs::exists(sandbox.Bin() / (std::string(57, 't') + ".3.err")));

  // A directory too long for the report path: the report goes to the temporary directory.
  sandbox.UseProgram(sandbox.Root() / std::string(250, 'd') / "tool.exe");
  FailInChild(u"x", "x.cc", 1);
  EXPECT_TRUE(fs::exists(sandbox.Tmp() / "tool.3.err"));
}

TEST(AssertFailed, ThreadNameJoinsTheIdentity) {
  ReportSandbox sandbox;
  platform::SetThreadNameSlot(u"worker");
  std::string err = FailInChild(u"x", "x.cc", 1);
  platform::SetThreadNameSlot(nullptr);
  EXPECT_THAT(err, testing::ContainsRegex(R"(line 1, tid=[0-9]+ \(x[0-9a-f]+\), thread=worker)"));
}

}  // namespace
