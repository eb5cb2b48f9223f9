// Sealing a file: writing the checksum line and the stored lines to a
// temporary file beside the tool, then putting it in the input's place.
#pragma once

#include <string>

#include "platform/platform.h"
#include "textfile/text_file.h"

// RewriteFile's result when the run goes on with the next file.
inline constexpr int kRunGoesOn = -1;

// Seals the file just read through reader (still open) at inputPath. Returns
// kRunGoesOn, or the exit code that ends the run.
int RewriteFile(platform::FileSystem& fs, TextFile& reader, const std::u16string& inputPath,
                const std::u16string& displayName, TextEncoding outputKind);
