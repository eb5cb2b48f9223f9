// The tool's command line and its run over one file or a pair of files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// Runs the tool on its arguments (args[0] is the program) and returns the exit
// code. programPath is the executable's full path; bare names resolve beside it.
int RunTool(const std::vector<std::u16string>& args, platform::FileSystem& fs,
            const std::u16string& programPath);

// Prints a formatted console message unless "/Q" was given. Messages longer
// than the message buffer are cut.
void PrintMessage(const char16_t* format, ...);

// A name holding a path separator is taken as it stands; a bare name is placed
// in the tool's own directory. False when the result does not fit kMaxPath.
bool ResolveBesideProgram(std::u16string& out, std::u16string_view name);

// What follows the path's last separator: the file's own name.
std::u16string_view FileNamePart(std::u16string_view path);

bool IsUpdateMode();
