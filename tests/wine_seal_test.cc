// Sealing with the Windows build under Wine, where Windows has its own notion
// of what a file keeps: its attributes stand in for POSIX permission bits.
//
// Links cannot be tried here: Wine shows a Unix link as a plain file, not as
// a reparse point, so the Windows build replaces the link itself.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/tool_runner.h"

#ifndef INISEAL_WINE_RUNNER
#error "INISEAL_WINE_RUNNER must name the command that runs Windows programs"
#endif

namespace {

const std::string kInput = "0x1\r\n[s]\r\nkey=1\r\n";

// The attribute letters Windows' attrib shows for the file, such as "A  SH".
std::string Attributes(const Scratch& scratch, const std::string& name, const std::string& change) {
  std::string command = "cd '" + scratch.ToolDir().string() + "' && " + INISEAL_WINE_RUNNER +
                        " cmd /c attrib " + change + " " + name + " > '" +
                        (scratch.root() / "attrib").string() + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::string line = ReadWholeFile(scratch.root() / "attrib");
  std::size_t drive = line.find(":\\");
  return drive == std::string::npos || drive < 1 ? line : line.substr(0, drive - 1);
}

TEST(WineSeal, HiddenAndSystemAttributesAreKept) {
  Scratch scratch(ToolTarget{INISEAL_WINDOWS_TOOL, INISEAL_WINE_RUNNER, true});
  scratch.Write("tool/x.ini", kInput);
  // One flag a call: Wine's attrib takes only the last of several.
  Attributes(scratch, "x.ini", "+h");
  Attributes(scratch, "x.ini", "+s");
  std::string before = Attributes(scratch, "x.ini", "");
  ASSERT_NE(before.find('H'), std::string::npos) << before;
  ASSERT_NE(before.find('S'), std::string::npos) << before;
  ASSERT_EQ(RunInScratch(scratch, {"x.ini"}).exitCode, 0);
  EXPECT_EQ(scratch.Read("tool/x.ini"), "0xa6bd9812\r\n[s]\r\nkey=1\r\n");
  EXPECT_EQ(Attributes(scratch, "x.ini", ""), before);
}

}  // namespace
