// The build stamp, made from the compiler's date and time of this file and the
// project version that the build passes in as INISEAL_VERSION.

#include <array>
#include <cstddef>
#include <string_view>

#include "corekit/TavAssert.h"

#ifndef INISEAL_VERSION
#error "INISEAL_VERSION must be defined by the build"
#endif

namespace {

constexpr char kVersion[] = INISEAL_VERSION;
constexpr std::size_t kStampSize = kBuildStampVersionOffset + 1 + sizeof kVersion;

// The month of a date such as "Jan  5 2024" as two digits.
constexpr const char* MonthDigits(const char* date) {
  constexpr const char* kNames = "JanFebMarAprMayJunJulAugSepOctNovDec";
  constexpr const char* kDigits = "010203040506070809101112";
  for (int m = 0; m < 12; ++m) {
    if (kNames[3 * m] == date[0] && kNames[3 * m + 1] == date[1] && kNames[3 * m + 2] == date[2]) {
      return kDigits + 2 * m;
    }
  }
  return "??";
}

// "!!!!:dd/mm/yy hh:mm:ss Vx.y.z" from "Mmm dd yyyy" and "hh:mm:ss".
constexpr std::array<char, kStampSize> MakeStamp(const char* date, const char* time) {
  std::array<char, kStampSize> stamp{};  // the terminator stays
  std::size_t n = 0;
  auto put = [&](std::string_view text) {
    for (char c : text)
      stamp[n++] = c;
  };
  put("!!!!:");
  put(date[4] == ' ' ? "0" : std::string_view(date + 4, 1));  // the day is padded with a blank
  put({date + 5, 1});
  put("/");
  put({MonthDigits(date), 2});
  put("/");
  put({date + 9, 2});
  put(" ");
  put({time, 8});
  put(" V");
  put(kVersion);
  return stamp;
}

constexpr std::array<char, kStampSize> kStamp = MakeStamp(__DATE__, __TIME__);

static_assert(kStamp[kBuildStampTimeOffset + kBuildStampTimeLength] == ' ');
static_assert(kStamp[kBuildStampVersionOffset] == 'V');

}  // namespace

const char* GetBuildStamp() {
  return kStamp.data();
}
