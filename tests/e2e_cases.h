// The end-to-end cases: what a user runs, the files before, and what must come out.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct E2eFile {
  std::string name;  // relative to the scratch root: "tool/..." beside the tool, "work/..." in the
                     // current directory
  std::string bytes;
};

struct E2eCase {
  std::string name;
  // "{tool}" stands for the tool's directory and "{/}" for the path separator.
  std::vector<std::string> args;
  std::vector<E2eFile> before;
  int exitCode;
  // Standard output with LF line ends; "{e}" stands for any error number, "{date}" for a
  // date as dd/mm/yy and "{...}" for any text.
  std::string output;
  // Files whose bytes must have changed to these; every other file stays as it was.
  std::vector<E2eFile> after;
  bool nativeOnly = false;  // a POSIX difference
};

const std::vector<E2eCase>& E2eCases();

// Test output names a case rather than dumping its bytes.
inline void PrintTo(const E2eCase& c, std::ostream* os) {
  *os << c.name;
}
