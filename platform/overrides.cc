#include "platform/overrides.h"

#include <algorithm>

#include "platform/platform.h"

namespace platform {
namespace detail {

namespace {

Overrides& MutableOverrides() {
  static Overrides overrides;
  return overrides;
}

}  // namespace

const Overrides& TestOverrides() {
  return MutableOverrides();
}

std::size_t CopyWhole(std::u16string_view text, char16_t* out, std::size_t cap) {
  if (cap == 0)
    return 0;
  if (text.size() >= cap) {
    out[0] = 0;
    return 0;
  }
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = 0;
  return text.size();
}

}  // namespace detail

void OverrideExecutablePath(const char16_t* path) {
  detail::Overrides& o = detail::MutableOverrides();
  o.hasExecutablePath = path != nullptr;
  o.executablePath = path != nullptr ? path : u"";
}

void OverrideTempDirectory(const char16_t* dir) {
  detail::Overrides& o = detail::MutableOverrides();
  o.hasTempDirectory = dir != nullptr;
  o.tempDirectory = dir != nullptr ? dir : u"";
}

void OverrideSessionId(int id) {
  detail::MutableOverrides().sessionId = id;
}

}  // namespace platform
