#include "app/line_checksum.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct WordsCase {
  std::string bytes;
  unsigned words;
  std::uint32_t seed;
  std::uint32_t expected;
};

TEST(ChecksumWords, KnownVectors) {
  const WordsCase cases[] = {
      {std::string("abc\0\0", 5), 2, 0, 0x8C5348DB},
      {std::string("a\0\0", 3), 1, 0, 0x00008CDB},  // the odd chain never ran
      {"", 0, 0, 1},
      {"", 0, 0xDEADBEEF, 1},  // no words: the seed is not used
  };
  for (const WordsCase& c : cases) {
    EXPECT_EQ(ChecksumWords(c.bytes.data(), c.words, c.seed), c.expected) << c.bytes;
  }
}

TEST(ChecksumWords, UsesOnlyFifteenBitsOfTheCount) {
  std::string bytes("abcd", 4);
  EXPECT_EQ(ChecksumWords(bytes.data(), 0x8002, 7), ChecksumWords(bytes.data(), 2, 7));
}

TEST(ChecksumWords, SeedChangesTheResult) {
  std::string bytes("key=value", 10);
  EXPECT_NE(ChecksumWords(bytes.data(), 5, 0), ChecksumWords(bytes.data(), 5, 0x12345678));
}

class AbsorbLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLines();
    SetStoreLines(true);
    SetChecksumCodePage(0);
  }
  void TearDown() override { ResetLines(); }

  static std::uint32_t ChecksumOf(std::initializer_list<std::u16string_view> lines) {
    ResetLines();
    for (std::u16string_view line : lines)
      AbsorbLine(line, !line.empty() && line[0] != u';');
    return RunningChecksum();
  }
};

TEST_F(AbsorbLineTest, FoldsMaskedChainOverCountedLines) {
  // The first counted line: ChecksumWords(abc + terminator, 2, 0) ^ mask.
  EXPECT_EQ(ChecksumOf({u"abc"}), 0x8C5348DBu ^ ChecksumMask);
  EXPECT_EQ(ChecksumOf({}), 0u);
}

TEST_F(AbsorbLineTest, BlankAndCommentLinesDoNotCount) {
  std::uint32_t plain = ChecksumOf({u"[s]", u"key=value"});
  EXPECT_EQ(ChecksumOf({u"[s]", u"", u";note", u"key=value"}), plain);
  EXPECT_NE(ChecksumOf({u"[s]", u"key=value "}), plain);  // trailing blanks count
  EXPECT_NE(ChecksumOf({u"key=value", u"[s]"}), plain);   // order counts
}

TEST_F(AbsorbLineTest, StoresEveryLineInUpdateMode) {
  ChecksumOf({u"a", u"", u";c"});
  std::string body;
  for (const LineNode* node = FirstStoredLine(); node != nullptr; node = node->next) {
    body += node->text();
    body += '|';
  }
  EXPECT_EQ(body, "a\r\n|\r\n|;c\r\n|");
  SetStoreLines(false);
  ChecksumOf({u"a"});
  EXPECT_EQ(FirstStoredLine(), nullptr);
}

TEST_F(AbsorbLineTest, CodePageDecidesTheBytes) {
  SetChecksumCodePage(0);
  std::uint32_t ansi = ChecksumOf({u"caf\u00e9"});
  SetChecksumCodePage(65001);
  std::uint32_t utf8 = ChecksumOf({u"caf\u00e9"});
  EXPECT_NE(ansi, utf8);
  std::string bytes = "caf\xc3\xa9";
  bytes.push_back('\0');
  EXPECT_EQ(utf8, ChecksumWords(bytes.data(), 3, 0) ^ ChecksumMask);
}

// The ASCII way is the wide way without the conversion: the same chain, the
// same stored text. The line is a view into longer text whose next byte is
// never read: an odd last byte pairs with a zero as the line's terminator.
TEST_F(AbsorbLineTest, AsciiLinesCountAndStoreAsWideLines) {
  const std::string text = "k=0123456789abcdefghijklm\r\n";
  for (bool store : {true, false}) {
    SetStoreLines(store);
    for (std::size_t n = 0; n <= 24; ++n) {
      std::string_view line(text.data(), n);
      std::u16string wide(line.begin(), line.end());
      ResetLines();
      AbsorbAsciiLine(line, true);
      AbsorbAsciiLine(line, false);
      std::uint32_t ascii = RunningChecksum();
      std::string stored;
      for (const LineNode* node = FirstStoredLine(); node != nullptr; node = node->next)
        stored += node->text();
      ResetLines();
      AbsorbLine(wide, true);
      AbsorbLine(wide, false);
      EXPECT_EQ(ascii, RunningChecksum()) << n;
      std::string terminated(line);
      terminated.push_back('\0');
      std::uint32_t words = static_cast<std::uint32_t>(terminated.size() / 2);
      EXPECT_EQ(ascii, ChecksumWords(terminated.data(), words, 0) ^ ChecksumMask) << n;
      std::string expected = store ? std::string(line) + "\r\n" + std::string(line) + "\r\n" : "";
      EXPECT_EQ(stored, expected) << n;
    }
  }
}

TEST_F(AbsorbLineTest, LongLinesCountEveryByte) {
  std::u16string a(10000, u'x');
  std::u16string b = a;
  b.back() = u'y';
  EXPECT_NE(ChecksumOf({a}), ChecksumOf({b}));
  std::u16string c(40000, u'x');  // more words than a 15-bit count holds
  std::u16string d = c;
  d.back() = u'y';
  EXPECT_NE(ChecksumOf({c}), ChecksumOf({d}));
}

}  // namespace
