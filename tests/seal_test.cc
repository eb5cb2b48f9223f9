// Sealing under failure: every step of the rewrite that can fail leaves the
// input as it was, and real runs keep permissions, links and each other's work.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "app/run.h"
#include "tests/faulty_file_system.h"
#include "tests/tool_runner.h"

namespace fs = std::filesystem;

namespace {

const std::string kInput = "0x1\r\n[s]\r\nkey=1\r\n";
const std::string kSealed = "0xa6bd9812\r\n[s]\r\nkey=1\r\n";

struct FaultCase {
  const char* name;
  Faults faults;
  const char* message;  // a pattern for what follows the banner
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

class SealFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SealFaults, InputIsKept) {
  const FaultCase& c = GetParam();
  Scratch scratch;
  scratch.Write("tool/hostcfg.ini", kInput);
  scratch.Write("tool/hostcfgu.ini", kInput);
  FaultyFileSystem faulty(c.faults);
  std::u16string program = (scratch.ToolDir() / "iniseal").u16string();

  ::testing::internal::CaptureStdout();
  int exitCode = RunTool({program, u"hostcfg.ini"}, faulty, program);
  std::string output = ::testing::internal::GetCapturedStdout();

  EXPECT_EQ(exitCode, 255);
  const std::string banner = "Generate checksum for .INI file\n";
  ASSERT_EQ(output.substr(0, banner.size()), banner);
  EXPECT_TRUE(std::regex_search(output.substr(banner.size()), std::regex(c.message))) << output;
  EXPECT_EQ(scratch.Read("tool/hostcfg.ini"), kInput);
  EXPECT_EQ(scratch.Read("tool/hostcfgu.ini"), kInput) << "the run must stop at the first file";
  EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{});
}

const int kIoError = 5;

INSTANTIATE_TEST_SUITE_P(
    EachStep, SealFaults,
    ::testing::Values(
        FaultCase{"CreateTemporary",
                  {.createNew = platform::ErrorAccessDenied()},
                  "^Cannot open output file lic\\.\\$\\$\\$\\n$"},
        FaultCase{
            "DiskFull", {.writableBytes = 5}, "^Error writing .*lic\\.\\$\\$\\$, e=[0-9]+\\n$"},
        FaultCase{"Flush", {.sync = kIoError}, "^Error writing .*lic\\.\\$\\$\\$, e=5\\n$"},
        FaultCase{"Close", {.close = kIoError}, "^Error writing .*lic\\.\\$\\$\\$, e=5\\n$"},
        FaultCase{"Replace",
                  {.replace = kIoError},
                  "^Error renaming .*lic\\.\\$\\$\\$ to .*hostcfg\\.ini, e=5\\n$"}),
    [](const auto& param) { return std::string(param.param.name); });

bool IsWindowsTool() {
  return TestedTool().windows;
}

TEST(SealRuns, ReadOnlyInputIsNotReplaced) {
  Scratch scratch;
  scratch.Write("tool/x.ini", kInput);
  fs::permissions(scratch.ToolDir() / "x.ini", fs::perms::owner_read | fs::perms::group_read);
  ToolRun run = RunInScratch(scratch, {"x.ini"});
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_TRUE(
      std::regex_search(run.output, std::regex("Error renaming .* to .*x\\.ini, e=[0-9]+\\n")))
      << run.output;
  EXPECT_EQ(scratch.Read("tool/x.ini"), kInput);
  EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{});
}

TEST(SealRuns, PermissionsAreKept) {
  if (IsWindowsTool())
    GTEST_SKIP() << "POSIX permission bits";
  Scratch scratch;
  scratch.Write("tool/x.ini", kInput);
  fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(scratch.ToolDir() / "x.ini", mode);
  ASSERT_EQ(RunInScratch(scratch, {"x.ini"}).exitCode, 0);
  EXPECT_EQ(scratch.Read("tool/x.ini"), kSealed);
  EXPECT_EQ(fs::status(scratch.ToolDir() / "x.ini").permissions(), mode);
}

TEST(SealRuns, LinkStaysALink) {
  if (IsWindowsTool())
    GTEST_SKIP() << "POSIX links";
  Scratch scratch;
  scratch.Write("work/real.ini", kInput);
  fs::create_symlink("../work/real.ini", scratch.ToolDir() / "link.ini");
  ASSERT_EQ(RunInScratch(scratch, {"link.ini"}).exitCode, 0);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(scratch.ToolDir() / "link.ini")));
  EXPECT_EQ(scratch.Read("work/real.ini"), kSealed);
}

TEST(SealRuns, InputOnAnotherFileSystem) {
  // /dev/shm is usually a file system of its own; where it is not, this is an
  // ordinary seal and still must hold. Under Wine it is another volume too.
  if (!fs::is_directory("/dev/shm"))
    GTEST_SKIP() << "needs /dev/shm";
  Scratch scratch;
  fs::path other = fs::path("/dev/shm") / scratch.root().filename();
  fs::create_directory(other);
  { std::ofstream(other / "x.ini", std::ios::binary) << kInput; }
  ToolRun run = RunInScratch(scratch, {scratch.ToolPath(other / "x.ini")});
  std::ifstream in(other / "x.ini", std::ios::binary);
  std::string sealed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> leftovers = TempFilesIn(other);
  fs::remove_all(other);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(sealed, kSealed);
  EXPECT_EQ(leftovers, std::vector<std::string>{});
  EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{});
}

TEST(SealRuns, ConcurrentRunsKeepEachOthersWork) {
  const int kRounds = IsWindowsTool() ? 2 : 15;
  const int kRuns = 8;
  Scratch scratch;
  for (int round = 0; round < kRounds; ++round) {
    scratch.Write("tool/shared.ini", kInput);
    for (int i = 0; i < kRuns; ++i)
      scratch.Write("tool/own" + std::to_string(i) + ".ini", kInput);
    std::vector<ToolRun> runs(kRuns);
    std::vector<std::thread> threads;
    for (int i = 0; i < kRuns; ++i) {
      // Half of the runs seal the same file, half a file of their own.
      std::string name = i % 2 == 0 ? "shared.ini" : "own" + std::to_string(i) + ".ini";
      threads.emplace_back([&, i, name] { runs[i] = RunInScratch(scratch, {"/Q", name}); });
    }
    for (std::thread& t : threads)
      t.join();
    for (int i = 0; i < kRuns; ++i)
      EXPECT_EQ(runs[i].exitCode, 0) << "round " << round << " run " << i;
    EXPECT_EQ(scratch.Read("tool/shared.ini"), kSealed);
    for (int i = 1; i < kRuns; i += 2)
      EXPECT_EQ(scratch.Read("tool/own" + std::to_string(i) + ".ini"), kSealed);
    EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{});
  }
}

// The input is told from the tool's temporary files by name alone, never by
// file identity: other runs create and rename "lic.$$$" all the time, and a
// freed file's identity is soon reused. A file that shares its identity with a
// stale "lic.$$$" is therefore sealed like any other, and the stale one stays.
TEST(SealRuns, FileLinkedToAStaleTemporaryFileIsSealed) {
  Scratch scratch;
  scratch.Write("tool/lic.$$$", kInput);
  fs::create_hard_link(scratch.ToolDir() / "lic.$$$", scratch.ToolDir() / "x.ini");
  ToolRun run = RunInScratch(scratch, {"x.ini"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(scratch.Read("tool/x.ini"), kSealed);
  EXPECT_EQ(scratch.Read("tool/lic.$$$"), kInput);
  EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{"lic.$$$"});
}

}  // namespace
