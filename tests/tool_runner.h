// Runs a built iniseal in a scratch directory, as a user would: the tool is
// copied into <scratch>/tool (bare names resolve beside it) and runs with
// <scratch>/work as its current directory. The tool under test comes from the
// environment, so the same cases run against the native and the Windows build:
//   INISEAL_TOOL     path of the executable (default: the native build)
//   INISEAL_RUNNER   a command to run it with, such as a Windows emulator
//   INISEAL_WINDOWS  set to 1 when the tool is a Windows build
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ToolTarget {
  std::filesystem::path tool;
  std::string runner;
  bool windows = false;
};

const ToolTarget& TestedTool();

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

class Scratch {
 public:
  // The tool copied in is target's, by default the one under test.
  explicit Scratch(const ToolTarget& target = TestedTool());
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::filesystem::path& root() const { return m_root; }
  const ToolTarget& target() const { return m_target; }
  std::filesystem::path ToolDir() const { return m_root / "tool"; }
  std::filesystem::path WorkDir() const { return m_root / "work"; }

  // Names are relative to the root, with "/" between their parts.
  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;
  // Every file below the root, by name, except the tool itself.
  std::vector<std::string> Files() const;

  // A path as the tested tool spells it: "/" turned into its separator, and
  // absolute where the name starts with the root.
  std::string ToolPath(const std::filesystem::path& path) const;

 private:
  ToolTarget m_target;
  std::filesystem::path m_root;
};

// The names of the tool's temporary files ("lic.$$$" and those beginning
// with it) in dir.
std::vector<std::string> TempFilesIn(const std::filesystem::path& dir);

struct ToolRun {
  int exitCode = -1;
  std::string output;  // standard output, line ends as LF
  std::string errors;  // standard error
};

// Bounds on a run, for inputs that could make a faulty tool hang or grow.
struct RunLimits {
  int seconds = 0;            // killed after this long; 0: no limit
  long virtualMemoryKib = 0;  // its address space; 0: no limit
};

// Runs the scratch's tool.
ToolRun RunInScratch(const Scratch& scratch, const std::vector<std::string>& args,
                     const RunLimits& limits = {});
