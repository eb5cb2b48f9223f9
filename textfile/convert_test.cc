#include "textfile/convert.h"

#include <gtest/gtest.h>

namespace {

TEST(ClassifyUtf8, Cases) {
  const struct {
    const char* bytes;
    int expected;
  } cases[] = {
      {"", 7},
      {"plain ascii", 7},
      {"caf\xc3\xa9", 8},
      {"\xe2\x82\xac", 8},
      {"\xf0\x9f\x98\x80", 8},
      {"\xc0\x80", 8},          // overlong forms pass
      {"\xed\xa0\x80", 8},      // so do surrogates
      {"\xf5\x80\x80\x80", 8},  // and leads F5 to F7
      {"\x80", 0},              // continuation in lead position
      {"\xf8\x80\x80\x80\x80", 0},
      {"caf\xe9", 0},
      {"\xe2\x82", 0},  // cut short by the end
      {"\xc3x", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClassifyUtf8(c.bytes), c.expected) << c.bytes;
}

TEST(Utf8Classifier, SequencesMaySpanChunks) {
  Utf8Classifier classifier;
  classifier.Feed("ab\xe2\x82", 4);
  classifier.Feed("\xac", 1);
  EXPECT_EQ(classifier.Result(), 8);
  EXPECT_FALSE(classifier.SawZeroByte());
  classifier.Feed("x\0y", 3);
  EXPECT_TRUE(classifier.SawZeroByte());
}

TEST(ToWide, AnsiAndUtf8) {
  std::u16string out;
  ToWide("a\xe9\x80\x81", 4, 0, out);
  EXPECT_EQ(out, u"a\u00e9\u20ac\u0081");  // every byte round-trips
  ToWide("a\xc3\xa9\xf0\x9f\x98\x80", 7, 65001, out);
  EXPECT_EQ(out, u"a\u00e9\U0001F600");
  ToWide("a\xe9z", 3, 65001, out);
  EXPECT_EQ(out, u"a\ufffdz");
  ToWide("", 0, 65001, out);
  EXPECT_EQ(out, u"");
}

TEST(ToNarrow, AnsiAndUtf8) {
  EXPECT_EQ(ToNarrowAlloc(u"a\u00e9\u20ac\u0081", 0), "a\xe9\x80\x81");
  EXPECT_EQ(ToNarrowAlloc(u"\u0100", 0), "A");  // best fit
  EXPECT_EQ(ToNarrowAlloc(u"\u4e2d", 0), "?");
  EXPECT_EQ(ToNarrowAlloc(u"a\u00e9\U0001F600", 65001), "a\xc3\xa9\xf0\x9f\x98\x80");
  std::u16string lone = u"x";
  lone += static_cast<char16_t>(0xD800);
  EXPECT_EQ(ToNarrowAlloc(lone, 65001), "x\xef\xbf\xbd");
}

TEST(ToWideToNarrow, EveryAnsiByteRoundTrips) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    all.push_back(static_cast<char>(b));
  std::u16string wide;
  ToWide(all.data(), all.size(), 0, wide);
  ASSERT_EQ(wide.size(), all.size());
  EXPECT_EQ(ToNarrowAlloc(wide, 0), all);
}

}  // namespace
