// Hostile input and hostile surroundings: whatever the tool is handed, it either
// seals the file faithfully or refuses with a message, a non-zero exit code and
// the file as it was. Never a hang, a crash or a half-written file.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <regex>

#include "tests/tool_runner.h"
#include "tests/utf16.h"

namespace fs = std::filesystem;

namespace {

const std::string kBanner = "Generate checksum for .INI file\n";
const std::string kInput = "0x1\r\n[s]\r\nkey=1\r\n";

bool ToolIsPosixNative() {
  return !TestedTool().windows;
}

// The tool is built with the tests: under sanitizers it reserves far more
// address space than a limit could allow, and so does a runner such as valgrind.
bool ToolUnderSanitizerOrRunner() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#endif
#endif
  return !TestedTool().runner.empty();
}

// Every regular file below the root with its bytes, and every other entry by type.
std::map<std::string, std::string> Snapshot(const Scratch& scratch) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(scratch.root())) {
    std::string name = fs::relative(entry.path(), scratch.root()).generic_string();
    if (name.rfind(".", 0) == 0 || name == "tool/iniseal")
      continue;
    fs::file_status st = fs::symlink_status(entry.path());
    if (fs::is_regular_file(st)) {
      files[name] = scratch.Read(name);
    } else {
      files[name] = "<type " + std::to_string(static_cast<int>(st.type())) + ">";
    }
  }
  return files;
}

// ---------------------------------------------------------------------------
// Inputs that are not regular files, or names that cannot be used

struct HostileCase {
  const char* name;
  std::function<void(const Scratch&)> setUp;
  std::vector<std::string> args;
  const char* message;  // a pattern for what follows the banner
};

void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << c.name;
}

void MakeFifo(const fs::path& path) {
  ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
}

void MakeSocket(const fs::path& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.string().size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);  // the socket file stays
}

const std::string kNotRegular = "^Cannot open input file .*: not a regular file\\n$";

class Hostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, RefusedAndNothingChanges) {
  if (!ToolIsPosixNative())
    GTEST_SKIP() << "POSIX file types";
  const HostileCase& c = GetParam();
  Scratch scratch;
  scratch.Write("tool/other.ini", kInput);
  c.setUp(scratch);
  auto before = Snapshot(scratch);

  // A run that blocks on a FIFO or reads a device for ever is killed here.
  ToolRun run = RunInScratch(scratch, c.args, {.seconds = 20});

  EXPECT_EQ(run.exitCode, 255) << run.output << run.errors;
  ASSERT_EQ(run.output.substr(0, kBanner.size()), kBanner) << run.output;
  EXPECT_TRUE(std::regex_search(run.output.substr(kBanner.size()), std::regex(c.message)))
      << run.output;
  EXPECT_EQ(Snapshot(scratch), before);
  EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{});
}

const std::string kLongDir = std::string(60, 'd');

INSTANTIATE_TEST_SUITE_P(
    Inputs, Hostile,
    ::testing::Values(
        HostileCase{"Fifo",
                    [](const Scratch& s) { MakeFifo(s.ToolDir() / "x.ini"); },
                    {"x.ini"},
                    kNotRegular.c_str()},
        HostileCase{"LinkToFifo",
                    [](const Scratch& s) {
                      MakeFifo(s.WorkDir() / "fifo");
                      fs::create_symlink(s.WorkDir() / "fifo", s.ToolDir() / "x.ini");
                    },
                    {"x.ini"},
                    kNotRegular.c_str()},
        HostileCase{"DevZero", [](const Scratch&) {}, {"/dev/zero"}, kNotRegular.c_str()},
        HostileCase{
            "LinkToDevZero",
            [](const Scratch& s) { fs::create_symlink("/dev/zero", s.ToolDir() / "x.ini"); },
            {"x.ini"},
            kNotRegular.c_str()},
        HostileCase{"Socket",
                    [](const Scratch& s) { MakeSocket(s.ToolDir() / "x.ini"); },
                    {"x.ini"},
                    kNotRegular.c_str()},
        HostileCase{"PairNameIsADirectory",
                    [](const Scratch& s) { fs::create_directory(s.ToolDir() / "hostcfg.ini"); },
                    {},
                    kNotRegular.c_str()},
        // A name part longer than the file system allows, inside the path limit.
        HostileCase{"OverlongNamePart",
                    [](const Scratch&) {},
                    {"s/" + std::string(256, 'n')},
                    "^Cannot open input file s/n+"},
        // An existing file whose path does not fit the path buffer is not cut
        // down to another file's name.
        HostileCase{"ExistingFileBeyondThePathLimit",
                    [](const Scratch& s) {
                      s.Write("work/" + kLongDir + "/" + kLongDir + "/" + kLongDir + "/" +
                                  kLongDir + "/" + kLongDir + "/x.ini",
                              kInput);
                    },
                    {kLongDir + "/" + kLongDir + "/" + kLongDir + "/" + kLongDir + "/" + kLongDir +
                     "/x.ini"},
                    "^Path too long: d+"},
        HostileCase{"BareNameBeyondThePathLimit",
                    [](const Scratch& s) { s.Write("tool/" + std::string(240, 'b'), kInput); },
                    {std::string(240, 'b')},
                    "^Path too long: b+"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(HostileArguments, BytesThatAreNotUtf8) {
  if (!ToolIsPosixNative())
    GTEST_SKIP() << "POSIX arguments are bytes";
  Scratch scratch;
  for (std::string name : {"x\xff.ini", "x\xc3.ini", "x\xed\xa0\x80.ini", "x\xc0\xaf.ini"}) {
    scratch.Write("tool/" + name, kInput);
    ToolRun run = RunInScratch(scratch, {name});
    EXPECT_EQ(run.exitCode, 255) << name;
    EXPECT_EQ(run.errors, "iniseal: an argument is not valid UTF-8\n") << name;
    EXPECT_EQ(scratch.Read("tool/" + name), kInput) << name;
  }
}

// ---------------------------------------------------------------------------
// Contents

// A line far longer than the original line buffer stays whole in every encoding,
// and the sealed file seals to itself.
TEST(HostileContent, HundredThousandCharacterLineIsKeptWhole) {
  std::string ascii(100000, 'a');
  std::string euro;
  for (int i = 0; i < 100000; ++i)
    euro += "\xe2\x82\xac";
  const struct {
    const char* name;
    std::string input;
    std::string line;  // as sealed
  } cases[] = {
      {"Ascii", "0x1\nk=" + ascii + "\n", "k=" + ascii},
      {"Utf8", "0x1\nk=" + euro + "\n", "k=" + euro},
      {"Utf16Le", "\xff\xfe" + Utf16Le(u"0x1\r\nk=" + std::u16string(100000, u'\u20ac')),
       "k=" + euro},
  };
  for (const auto& c : cases) {
    Scratch scratch;
    scratch.Write("tool/x.ini", c.input);
    ToolRun first = RunInScratch(scratch, {"/Q", "x.ini"});
    ASSERT_EQ(first.exitCode, 0) << c.name;
    std::string sealed = scratch.Read("tool/x.ini");
    std::size_t lineStart = sealed.find("\r\n") + 2;
    EXPECT_EQ(sealed.substr(lineStart), c.line + "\r\n") << c.name;
    ASSERT_EQ(RunInScratch(scratch, {"/Q", "x.ini"}).exitCode, 0) << c.name;
    EXPECT_EQ(scratch.Read("tool/x.ini"), sealed) << c.name << ": a re-seal must change nothing";
  }
}

// Random bytes: the run ends with a known exit code; a refusal changes nothing,
// and a seal is a well-formed sealed file that seals to itself.
TEST(HostileContent, RandomBinaryFiles) {
  std::mt19937 random(20261211);
  const int kFiles = ToolIsPosixNative() ? 120 : 16;  // runs under an emulator are slow
  Scratch scratch;
  int sealedCount = 0;
  for (int i = 0; i < kFiles; ++i) {
    std::size_t size = random() % 4096;
    std::string bytes(size, '\0');
    int flavour = i % 4;
    for (char& b : bytes) {
      unsigned v = random() % 256;
      if (flavour == 1 && v == 0)
        v = 1;  // no zero byte: sniffed as 8-bit text
      if (flavour == 2)
        v = (random() % 8 == 0) ? '\n' : v;  // many short lines
      b = static_cast<char>(v);
    }
    if (flavour == 3)
      bytes = "\xff\xfe" + bytes;  // marked as UTF-16
    scratch.Write("tool/r.ini", bytes);
    ToolRun run = RunInScratch(scratch, {"r.ini"}, {.seconds = 20});
    std::string after = scratch.Read("tool/r.ini");
    ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 132 || run.exitCode == 255)
        << "file " << i << ": exit code " << run.exitCode << "\n"
        << run.errors;
    EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{}) << "file " << i;
    if (run.exitCode != 0) {
      EXPECT_EQ(after, bytes) << "file " << i << " was refused but changed";
      EXPECT_GT(run.output.size(), kBanner.size()) << "file " << i << " refused without a word";
      continue;
    }
    ++sealedCount;
    EXPECT_TRUE(std::regex_search(after, std::regex("^0x[0-9a-f]+\\r\\n"))) << "file " << i;
    EXPECT_TRUE(after.size() < 2 || after.substr(after.size() - 2) == "\r\n") << "file " << i;
    ASSERT_EQ(RunInScratch(scratch, {"/Q", "r.ini"}).exitCode, 0) << "file " << i;
    EXPECT_EQ(scratch.Read("tool/r.ini"), after) << "file " << i << ": a re-seal changed it";
  }
  // The flavours without zero bytes are sealed; the rest are mostly refused.
  EXPECT_GE(sealedCount, kFiles / 4);
}

// The store of lines grows with the file; when memory runs out the run ends
// with a message instead of a crash, and the file stays.
TEST(HostileContent, FileLargerThanMemoryEndsCleanly) {
  if (!ToolIsPosixNative() || ToolUnderSanitizerOrRunner())
    GTEST_SKIP() << "needs the plain native tool under an address-space limit";
  Scratch scratch;
  {
    std::ofstream out(scratch.ToolDir() / "big.ini", std::ios::binary);
    out << "0x1\n";
    std::string line = "key=" + std::string(58, 'v') + "\n";
    for (int i = 0; i < (96 << 20) / 64; ++i)
      out << line;
  }
  auto size = fs::file_size(scratch.ToolDir() / "big.ini");
  // Stored as UTF-16 the lines need twice the file's size; the limit allows well
  // under that, and enough to start the tool.
  ToolRun run = RunInScratch(scratch, {"big.ini"}, {.seconds = 60, .virtualMemoryKib = 128 << 10});
  EXPECT_EQ(run.exitCode, 255) << run.output << run.errors;
  EXPECT_EQ(run.output, kBanner + "Out of memory: the file is too large to seal\n");
  EXPECT_EQ(fs::file_size(scratch.ToolDir() / "big.ini"), size);
  std::ifstream in(scratch.ToolDir() / "big.ini", std::ios::binary);
  std::string head(4, '\0');
  in.read(head.data(), 4);
  EXPECT_EQ(head, "0x1\n");
  EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// A full disk, on a real small file system

// A tmpfs of the given size mounted on dir for the life of the object.
class SmallFileSystem {
 public:
  SmallFileSystem(const fs::path& dir, std::uintmax_t bytes) : m_dir(dir) {
    fs::create_directories(dir);
    std::string command = "mount -t tmpfs -o size=" + std::to_string(bytes) + " tmpfs '" +
                          dir.string() + "' 2>/dev/null";
    m_mounted = geteuid() == 0 && std::system(command.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (m_mounted)
      std::system(
          ("umount '" + m_dir.string() + "' || umount -l '" + m_dir.string() + "'").c_str());
  }
  bool mounted() const { return m_mounted; }
  bool Resize(std::uintmax_t bytes) {
    return std::system(
               ("mount -o remount,size=" + std::to_string(bytes) + " '" + m_dir.string() + "'")
                   .c_str()) == 0;
  }

 private:
  fs::path m_dir;
  bool m_mounted = false;
};

std::string ManyLines(std::size_t bytes) {
  std::string text = "0x1\n";
  for (int i = 0; text.size() < bytes; ++i)
    text += "key" + std::to_string(i) + "=value\n";
  return text;
}

// The tool's own directory is full: the temporary file cannot be written.
TEST(FullDisk, BesideTheTool) {
  if (!ToolIsPosixNative())
    GTEST_SKIP() << "POSIX mounts";
  Scratch scratch;
  fs::path tool = scratch.ToolDir() / "iniseal";
  std::uintmax_t toolSize = fs::file_size(tool);
  fs::path saved = scratch.root() / "iniseal.saved";
  fs::rename(tool, saved);
  SmallFileSystem small(scratch.ToolDir(), toolSize + (64 << 10));
  if (!small.mounted())
    GTEST_SKIP() << "needs root to mount a small tmpfs";
  fs::copy_file(saved, tool);
  const std::string input = ManyLines(1 << 20);
  scratch.Write("work/x.ini", input);

  ToolRun run = RunInScratch(scratch, {"./x.ini"});

  EXPECT_EQ(run.exitCode, 255);
  EXPECT_TRUE(std::regex_search(run.output, std::regex("Error writing .*lic\\.\\$\\$\\$, e=28\\n")))
      << run.output;
  EXPECT_EQ(scratch.Read("work/x.ini"), input);
  EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{});

  // With room again, the same file seals: the failed run left nothing in the way.
  ASSERT_TRUE(small.Resize(toolSize + (4 << 20)));
  EXPECT_EQ(RunInScratch(scratch, {"/Q", "./x.ini"}).exitCode, 0);
  EXPECT_EQ(scratch.Read("work/x.ini").substr(0, 2), "0x");
}

// The input's directory is full: the sealed file, written beside the tool on
// another file system, cannot be copied next to the input.
TEST(FullDisk, BesideTheInput) {
  if (!ToolIsPosixNative())
    GTEST_SKIP() << "POSIX mounts";
  Scratch scratch;
  const std::string input = ManyLines(200 << 10);
  SmallFileSystem small(scratch.WorkDir() / "full", input.size() + (16 << 10));
  if (!small.mounted())
    GTEST_SKIP() << "needs root to mount a small tmpfs";
  scratch.Write("work/full/x.ini", input);

  ToolRun run = RunInScratch(scratch, {"full/x.ini"});

  EXPECT_EQ(run.exitCode, 255);
  EXPECT_TRUE(std::regex_search(
      run.output, std::regex("Error renaming .*lic\\.\\$\\$\\$ to full/x\\.ini, e=28\\n")))
      << run.output;
  EXPECT_EQ(scratch.Read("work/full/x.ini"), input);
  EXPECT_EQ(TempFilesIn(scratch.ToolDir()), std::vector<std::string>{});
  EXPECT_EQ(TempFilesIn(scratch.WorkDir() / "full"), std::vector<std::string>{});

  ASSERT_TRUE(small.Resize(4 << 20));
  EXPECT_EQ(RunInScratch(scratch, {"/Q", "full/x.ini"}).exitCode, 0);
  EXPECT_EQ(scratch.Read("work/full/x.ini").substr(0, 2), "0x");
  EXPECT_EQ(TempFilesIn(scratch.WorkDir() / "full"), std::vector<std::string>{});
}

}  // namespace
