// What both implementations of platform.h share: the stand-ins that tests put
// in place of the executable path, the temporary directory and the session
// number, and a heap-free copy for paths. Included by platform/ only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::detail {

struct Overrides {
  bool hasExecutablePath = false;
  std::u16string executablePath;
  bool hasTempDirectory = false;
  std::u16string tempDirectory;
  int sessionId = -1;
};

const Overrides& TestOverrides();

// Copies text whole into out, or leaves out empty when it does not fit.
std::size_t CopyWhole(std::u16string_view text, char16_t* out, std::size_t cap);

}  // namespace platform::detail
