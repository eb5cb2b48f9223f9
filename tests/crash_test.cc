// Killed at any moment while it seals, the tool leaves the input whole: the old
// file or the sealed one, byte for byte, and the next run seals it.
//
// INISEAL_CRASH_MIB sets the size of the input (default 8) and
// INISEAL_CRASH_KILLS the number of kills for each place the input can lie in
// (default 25).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "tests/tool_runner.h"

namespace fs = std::filesystem;

namespace {

int EnvNumber(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

// Puts bytes at path in one step, as a fresh file.
void PutFile(const fs::path& path, const std::string& bytes) {
  fs::path staged = path.string() + ".staged";
  { std::ofstream(staged, std::ios::binary) << bytes; }
  fs::rename(staged, path);
}

std::string LargeInput(std::size_t bytes) {
  std::mt19937 random(7);
  std::string text = "0x1\n";
  text.reserve(bytes + 128);
  for (int i = 0; text.size() < bytes; ++i) {
    text += i % 50 == 0 ? "; comment\n" : "  key" + std::to_string(i) + "=";
    text.append(random() % 90, static_cast<char>('a' + i % 26));
    text += i % 3 == 0 ? "\r\n" : "\n";
  }
  return text;
}

// Starts the tool on input and returns its process id.
pid_t StartTool(const fs::path& tool, const fs::path& input) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execl(tool.c_str(), tool.c_str(), "/Q", input.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

struct KillTally {
  int old = 0;
  int sealed = 0;
  int finished = 0;  // the run ended before the kill came
};

KillTally KillAtRandomMoments(const Scratch& scratch, const fs::path& input, int kills) {
  fs::path tool = scratch.ToolDir() / "iniseal";
  const std::string original =
      LargeInput(static_cast<std::size_t>(EnvNumber("INISEAL_CRASH_MIB", 8)) << 20);

  // One whole run gives the sealed bytes and how long a seal takes.
  PutFile(input, original);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = StartTool(tool, input);
  int status = 0;
  waitpid(pid, &status, 0);
  auto whole = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string sealed = ReadWholeFile(input);
  EXPECT_EQ(sealed.substr(0, 2), "0x");
  EXPECT_NE(sealed, original);

  std::mt19937 random(std::random_device{}());
  long long wholeMicros = std::chrono::duration_cast<std::chrono::microseconds>(whole).count();
  KillTally tally;
  for (int i = 0; i < kills; ++i) {
    PutFile(input, original);
    // Half the moments spread over the whole run, half near its end, where the
    // sealed file is flushed and put in place.
    std::uniform_int_distribution<long long> moment(i % 2 == 0 ? 0 : wholeMicros * 7 / 10,
                                                    wholeMicros + wholeMicros / 5);
    pid = StartTool(tool, input);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    std::string now = ReadWholeFile(input);
    if (now == original) {
      ++tally.old;
    } else if (now == sealed) {
      ++tally.sealed;
    } else {
      ADD_FAILURE() << "kill " << i << ": the input is torn (" << now.size() << " bytes)";
    }
    if (WIFEXITED(status))
      ++tally.finished;
  }

  // Whatever a killed run left behind, the next run seals the file.
  PutFile(input, original);
  pid = StartTool(tool, input);
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadWholeFile(input), sealed);
  return tally;
}

bool Skipped() {
  return TestedTool().windows || !TestedTool().runner.empty();
}

TEST(Crash, KillDuringSealKeepsInputWhole) {
  if (Skipped())
    GTEST_SKIP() << "kills the native tool directly";
  Scratch scratch;
  int kills = EnvNumber("INISEAL_CRASH_KILLS", 25);
  KillTally tally = KillAtRandomMoments(scratch, scratch.WorkDir() / "big.ini", kills);
  std::cout << "kills: " << kills << ", old file " << tally.old << ", sealed file " << tally.sealed
            << ", run done first " << tally.finished << "\n";
}

// The input on another file system than the tool: the sealed file is copied
// beside the input before it is renamed into place.
TEST(Crash, KillDuringSealAcrossFileSystemsKeepsInputWhole) {
  if (Skipped() || !fs::is_directory("/dev/shm"))
    GTEST_SKIP() << "kills the native tool directly; needs /dev/shm";
  Scratch scratch;
  fs::path other = fs::path("/dev/shm") / scratch.root().filename();
  fs::create_directory(other);
  int kills = EnvNumber("INISEAL_CRASH_KILLS", 25);
  KillTally tally = KillAtRandomMoments(scratch, other / "big.ini", kills);
  std::cout << "kills: " << kills << ", old file " << tally.old << ", sealed file " << tally.sealed
            << ", run done first " << tally.finished << "\n";
  fs::remove_all(other);
}

}  // namespace
