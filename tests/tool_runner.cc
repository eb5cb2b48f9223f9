#include "tests/tool_runner.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#ifndef INISEAL_NATIVE_TOOL
#error "INISEAL_NATIVE_TOOL must name the native build of the tool"
#endif

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string WithoutCarriageReturns(std::string s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')
      continue;
    out += s[i];
  }
  return out;
}

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : nullptr;
}

}  // namespace

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const ToolTarget& TestedTool() {
  static const ToolTarget target = [] {
    ToolTarget t;
    t.tool = Env("INISEAL_TOOL") ? Env("INISEAL_TOOL") : INISEAL_NATIVE_TOOL;
    t.runner = Env("INISEAL_RUNNER") ? Env("INISEAL_RUNNER") : "";
    t.windows = Env("INISEAL_WINDOWS") != nullptr && std::string(Env("INISEAL_WINDOWS")) == "1";
    return t;
  }();
  return target;
}

Scratch::Scratch(const ToolTarget& target) : m_target(target) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  fs::path base = fs::temp_directory_path();
  for (;;) {
    m_root = base / ("iniseal-e2e-" + std::to_string(random() % 100000000));
    if (fs::create_directory(m_root))
      break;
  }
  fs::create_directory(ToolDir());
  fs::create_directory(WorkDir());
  fs::copy_file(target.tool, ToolDir() / (target.windows ? "iniseal.exe" : "iniseal"));
}

Scratch::~Scratch() {
  std::error_code ignored;
  // A test may leave read-only files behind; make them removable first.
  for (const auto& entry : fs::recursive_directory_iterator(m_root, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(m_root, ignored);
}

void Scratch::Write(const std::string& name, const std::string& bytes) const {
  fs::path path = m_root / name;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string Scratch::Read(const std::string& name) const {
  return ReadWholeFile(m_root / name);
}

bool Scratch::Exists(const std::string& name) const {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(m_root / name, ignored));
}

std::vector<std::string> Scratch::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(m_root)) {
    if (entry.is_directory())
      continue;
    std::string name = fs::relative(entry.path(), m_root).generic_string();
    if (name != "tool/iniseal" && name != "tool/iniseal.exe")
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Scratch::ToolPath(const fs::path& path) const {
  std::string text = path.generic_string();
  if (!m_target.windows)
    return text;
  if (path.is_absolute())
    text = "Z:" + text;
  for (char& c : text) {
    if (c == '/')
      c = '\\';
  }
  return text;
}

std::vector<std::string> TempFilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("lic.$$$", 0) == 0)
      names.push_back(name);
  }
  return names;
}

ToolRun RunInScratch(const Scratch& scratch, const std::vector<std::string>& args,
                     const RunLimits& limits) {
  const ToolTarget& target = scratch.target();
  fs::path tool = scratch.ToolDir() / (target.windows ? "iniseal.exe" : "iniseal");
  std::string command = "cd " + Quote(scratch.WorkDir().string()) + " && ";
  if (limits.virtualMemoryKib > 0)
    command += "ulimit -v " + std::to_string(limits.virtualMemoryKib) + " && ";
  if (limits.seconds > 0)
    command += "timeout -s KILL " + std::to_string(limits.seconds) + " ";
  if (!target.runner.empty())
    command += target.runner + " ";
  command += Quote(tool.string());
  for (const std::string& arg : args) {
    command += ' ';
    command += Quote(arg);
  }
  // Runs may go on at the same time: each keeps its own capture files.
  static std::atomic<int> runCount{0};
  std::string id = std::to_string(runCount++);
  fs::path out = scratch.root() / (".stdout" + id);
  fs::path err = scratch.root() / (".stderr" + id);
  fs::path rc = scratch.root() / (".rc" + id);
  command += " > " + Quote(out.string()) + " 2> " + Quote(err.string()) + " < /dev/null";
  command += "; echo $? > " + Quote(rc.string());
  ToolRun run;
  // Under an emulator a loaded machine now and then fails to start the
  // program at all. Without "/Q" the tool prints its banner before it touches
  // any file, so a failure with no output at all never ran it, and is tried again.
  bool quiet = std::any_of(args.begin(), args.end(), [](const std::string& a) {
    return a.size() >= 2 && (a[0] == '/' || a[0] == '-') && (a[1] == 'q' || a[1] == 'Q');
  });
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::system(("sh -c " + Quote(command)).c_str());
    run.exitCode = std::atoi(ReadWholeFile(rc).c_str());
    run.output = WithoutCarriageReturns(ReadWholeFile(out));
    run.errors = ReadWholeFile(err);
    if (target.runner.empty() || quiet || run.exitCode == 0 || !run.output.empty())
      break;
  }
  std::error_code ignored;
  fs::remove(out, ignored);
  fs::remove(err, ignored);
  fs::remove(rc, ignored);
  return run;
}
