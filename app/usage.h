// The help and version texts. Both print even under "/Q": asking for them is
// asking to see them.
#pragma once

#include <string_view>

void PrintUsage();
// "iniseal", the version and the date of the build.
void PrintVersion();
