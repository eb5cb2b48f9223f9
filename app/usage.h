// The help and version texts. Both print even under "/Q": asking for them is
// asking to see them.
#pragma once

#include <string_view>

// "/?", "-?", "-h" or "--help".
bool IsHelpRequest(std::u16string_view arg);
// "--version".
bool IsVersionRequest(std::u16string_view arg);

void PrintUsage();
// "iniseal", the version and the date of the build.
void PrintVersion();
