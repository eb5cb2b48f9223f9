#include "app/verify.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SealLineCase {
  std::u16string line;
  std::optional<std::uint32_t> value;
};

TEST(ParseSealLine, ReadsWhatTheSealWritesAndWhatHandsMayMakeOfIt) {
  const SealLineCase cases[] = {
      {u"0x7ec462d", 0x7ec462d},
      {u"0x0", 0},
      {u"0XABCDEF01", 0xabcdef01},
      {u"0xAbCd", 0xabcd},
      {u" \t0x1f \t", 0x1f},
      {u"0x00000000ffffffff", 0xffffffff},  // leading zeros are harmless
      {u"0x100000000", std::nullopt},       // past 32 bits
      {u"0x", std::nullopt},
      {u"", std::nullopt},
      {u"7ec462d", std::nullopt},
      {u"0x7ec 462d", std::nullopt},
      {u"0x7ec462d;", std::nullopt},
      {u"0x-1", std::nullopt},
      {u"x0x1", std::nullopt},
      {u"[section]", std::nullopt},
      {u"0x1\r", std::nullopt},     // only blanks and tabs are ignored
      {u"0x\uff11", std::nullopt},  // a full-width digit is no hex digit
  };
  for (const SealLineCase& c : cases) {
    EXPECT_EQ(ParseSealLine(c.line), c.value)
        << std::string(c.line.begin(), c.line.end());  // the cases are ASCII but for one
  }
}

}  // namespace
