#include "textfile/convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

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

TEST(ToWide, Utf8SequencesAtTheEdgesOfTheirForms) {
  // Well-formed two- and three-byte sequences take a shorter way than the rest.
  const struct {
    const char* bytes;
    std::u16string expected;
  } cases[] = {
      {"\xC2\x80", u"\u0080"},     {"\xDF\xBF", u"\u07ff"},     {"\xE0\xA0\x80", u"\u0800"},
      {"\xE1\x80\x80", u"\u1000"}, {"\xEC\xBF\xBF", u"\ucfff"}, {"\xED\x9F\xBF", u"\ud7ff"},
      {"\xEE\x80\x80", u"\ue000"}, {"\xEF\xBF\xBD", u"\ufffd"}, {"\xF0\x90\x80\x80", u"\U00010000"},
      {"\xE1\x80", u"\ufffd"},  // cut short by the end
      {"\xE1\x80z", u"\ufffdz"},   {"\xC3", u"\ufffd"},
  };
  std::u16string out;
  for (const auto& c : cases) {
    ToWide(c.bytes, std::strlen(c.bytes), 65001, out);
    EXPECT_EQ(out, c.expected) << c.bytes;
  }
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

// The ASCII fast paths work on blocks of units: the text's length and where
// its first non-ASCII unit stands decide which of their branches run. Every
// combination must give what the platform's conversion gives unit by unit.
TEST(AsciiFastPaths, AgreeWithThePlatformAtEveryLengthAndPosition) {
  const struct {
    unsigned codePage;
    const char* special;  // one character in that code page
  } cases[] = {{0, "\xE9"}, {0, "\x80"}, {65001, "\xC3\xA9"}, {65001, "\xE2\x82\xAC"}};
  for (const auto& c : cases) {
    for (std::size_t n = 0; n <= 40; ++n) {
      for (std::size_t at = 0; at <= n; ++at) {  // at == n: all ASCII
        std::string bytes(n, 'k');
        if (at < n)
          bytes.replace(at, 1, c.special);
        std::u16string expected(bytes.size(), u'\0');
        expected.resize(platform::MultiByteToWide(c.codePage, bytes.data(), bytes.size(),
                                                  expected.data(), expected.size()));
        std::u16string wide;
        ToWide(bytes.data(), bytes.size(), c.codePage, wide);
        ASSERT_EQ(wide, expected) << n << " " << at;
        EXPECT_EQ(ToNarrowAlloc(wide, c.codePage), bytes) << n << " " << at;
      }
    }
  }
}

TEST(AsciiFastPaths, ClassifierAndUnitPairingAtEveryPosition) {
  for (std::size_t n = 1; n <= 40; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      std::string text(n, 'k');
      std::string multi = text;
      multi.replace(at, 1, "\xC3\xA9");
      std::string broken = text;
      broken[at] = '\x80';
      std::string zero = text;
      zero[at] = '\0';
      EXPECT_EQ(ClassifyUtf8(text.c_str()), 7);
      EXPECT_EQ(ClassifyUtf8(multi.c_str()), 8) << n << " " << at;
      EXPECT_EQ(ClassifyUtf8(broken.c_str()), 0) << n << " " << at;
      Utf8Classifier classifier;
      classifier.Feed(zero.data(), zero.size());
      EXPECT_TRUE(classifier.SawZeroByte()) << n << " " << at;
      EXPECT_EQ(classifier.Result(), 7);

      // The same positions as units: 0x4E2D stored both ways, and a unit 0.
      std::string le(2 * n, 'k');
      for (std::size_t i = 1; i < le.size(); i += 2)
        le[i] = '\0';
      le[2 * at] = '\x2D';
      le[2 * at + 1] = '\x4E';
      std::string be(le.rbegin(), le.rend());
      std::u16string units(n, u'k');
      units[at] = u'\u4e2d';
      std::u16string reversed(units.rbegin(), units.rend());
      std::u16string out(n, u'\0');
      EXPECT_FALSE(UnitsFromBytes(le.data(), n, false, out.data()));
      EXPECT_EQ(out, units) << n << " " << at;
      EXPECT_FALSE(UnitsFromBytes(be.data(), n, true, out.data()));
      EXPECT_EQ(out, reversed) << n << " " << at;
      le[2 * at] = le[2 * at + 1] = '\0';
      EXPECT_TRUE(UnitsFromBytes(le.data(), n, false, out.data())) << n << " " << at;
    }
  }
}

TEST(AsciiFastPaths, ClassifierSequencesSpanChunksAtEveryCut) {
  const struct {
    const char* sequence;
    int expected;
  } cases[] = {{"\xE2\x82\xAC", 8}, {"\xF0\x9F\x98\x80", 8}, {"\xE2\x82", 0}, {"\xAC", 0}};
  for (const auto& c : cases) {
    for (std::size_t at = 0; at <= 36; at += 3) {
      std::string text = std::string(at, 'k') + c.sequence + std::string(36 - at, 'k');
      for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        Utf8Classifier classifier;
        classifier.Feed(text.data(), cut);
        classifier.Feed(text.data() + cut, text.size() - cut);
        EXPECT_EQ(classifier.Result(), c.expected) << c.sequence << " " << at << " " << cut;
      }
    }
  }
}

TEST(AsciiFastPaths, HasSurrogateAtEveryPosition) {
  for (std::size_t n = 0; n <= 20; ++n) {
    std::u16string units(n, u'\uD7FF');  // the units on either side of the range
    units.append(1, u'\uE000');
    EXPECT_FALSE(HasSurrogate(units.data(), n + 1)) << n;
    for (std::size_t at = 0; at < n; ++at) {
      for (char16_t surrogate : {u'\xD800', u'\xDBFF', u'\xDC00', u'\xDFFF'}) {
        std::u16string text = units;
        text[at] = surrogate;
        EXPECT_TRUE(HasSurrogate(text.data(), n)) << n << " " << at;
      }
    }
  }
}

TEST(AsciiFastPaths, FindLineFeedOrZeroAtEveryPosition) {
  for (std::size_t n = 0; n <= 40; ++n) {
    std::string bytes(n, 'k');
    EXPECT_EQ(FindLineFeedOrZero(bytes.data(), n), n);
    EXPECT_EQ(FindLineFeedOrNonAscii(bytes.data(), n), n);
    for (std::size_t at = 0; at < n; ++at) {
      for (char hit : {'\n', '\0', '\x80', '\xff'}) {
        std::string text = bytes;
        text[at] = hit;
        if (at + 1 < n)
          text[n - 1] = '\n';  // a later hit does not count
        // A byte above 0x7F is no line end: the search goes on to the line feed.
        std::size_t lineEnd = hit == '\n' || hit == '\0' ? at : at + 1 < n ? n - 1 : n;
        EXPECT_EQ(FindLineFeedOrZero(text.data(), n), lineEnd) << n << " " << at;
        EXPECT_EQ(FindLineFeedOrNonAscii(text.data(), n), at) << n << " " << at;
      }
    }
  }
}
