#include "textfile/text_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/memory_file.h"
#include "tests/utf16.h"

namespace {

using namespace std::string_literals;

std::unique_ptr<TextFile> Open(const std::string& bytes, std::size_t chunk = SIZE_MAX) {
  return std::make_unique<TextFile>(std::make_unique<MemoryFile>(bytes, chunk));
}

std::vector<std::u16string> ReadAll(TextFile& file) {
  std::vector<std::u16string> lines;
  std::u16string line;
  while (file.ReadLine(line))
    lines.push_back(line);
  return lines;
}

TEST(DetectEncoding, EachKind) {
  const struct {
    std::string bytes;
    TextEncoding expected;
  } cases[] = {
      {"", TextEncoding::Ascii},
      {"[s]\r\nkey=1\r\n", TextEncoding::Ascii},
      {"\xEF\xBB\xBFkey=1\n", TextEncoding::Utf8Bom},
      {"key=caf\xC3\xA9\n", TextEncoding::Utf8},
      {"key=caf\xE9\n", TextEncoding::Ansi},
      {"\xEF\xBB\x41key\n", TextEncoding::Ansi},  // a broken mark is content
      {"\xFF\xFE" + Utf16Le(u"k=1\r\n"), TextEncoding::Utf16LeBom},
      {Utf16Le(u"[s]\r\nkey=1\r\n"), TextEncoding::Utf16Le},
      {"\xFE\xFF" + Utf16Be(u"k=1\r\n"), TextEncoding::Utf16BeBom},
      {"key=va\0lue\r\nother=1\r\n"s, TextEncoding::Ansi},  // 8-bit text with a zero byte
  };
  for (const auto& c : cases) {
    auto file = Open(c.bytes);
    EXPECT_EQ(file->GetEncoding(), c.expected) << c.bytes;
  }
}

TEST(ReadLine, LineEndsAreRemoved) {
  auto file = Open("a\r\nb\nc\r\r\n\nd\re\nlast");
  EXPECT_EQ(ReadAll(*file), (std::vector<std::u16string>{u"a", u"b", u"c", u"", u"d\re", u"last"}));
  EXPECT_EQ(file->Fault(), ReadFault::None);
}

TEST(ReadLine, MarksAreSkippedAndEachKindDecodes) {
  const struct {
    std::string bytes;
    std::vector<std::u16string> lines;
  } cases[] = {
      {"\xEF\xBB\xBF"
       "caf\xC3\xA9\r\nx",
       {u"caf\u00e9", u"x"}},
      {"caf\xE9\r\n\x80", {u"caf\u00e9", u"\u20ac"}},
      {"\xFF\xFE" + Utf16Le(u"\u4e2d=1\r\nx\n"), {u"\u4e2d=1", u"x"}},
      {"\xFE\xFF" + Utf16Be(u"\u4e2d=1\r\nx"), {u"\u4e2d=1", u"x"}},
      {Utf16Le(u"[s]\r\nk=\u0a0d\r\n"), {u"[s]", u"k=\u0a0d"}},        // 0x0A byte inside a unit
      {"\xFF\xFE" + Utf16Le(u"\u041a\u0d0a\r\n"), {u"\u041a\u0d0a"}},  // 0x1A, 0x0D, 0x0A bytes
      {"\xEF\xBB\xBF"
       "k=\xEF\xBF\xBD",
       {u"k=\ufffd"}},  // a real U+FFFD is text like any other
      {"\xFF\xFE" + Utf16Le(u"k=\U0001F600"), {u"k=\U0001F600"}},  // a surrogate pair
  };
  for (const auto& c : cases) {
    auto file = Open(c.bytes);
    EXPECT_EQ(ReadAll(*file), c.lines) << c.bytes;
    EXPECT_EQ(file->Fault(), ReadFault::None);
  }
}

TEST(ReadLine, LongLinesArriveWholeAcrossReads) {
  std::string line(5000, 'x');
  std::string utf8;
  for (int i = 0; i < 3000; ++i)
    utf8 += "\xE2\x82\xAC";  // 3 bytes each
  auto file = Open(line + "\n" + utf8 + "\nend", 777);
  std::vector<std::u16string> lines = ReadAll(*file);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), 5000u);
  EXPECT_EQ(lines[1], std::u16string(3000, u'\u20ac'));
  EXPECT_EQ(lines[2], u"end");

  std::u16string wide(3 << 20, u'w');  // longer than the read buffer
  auto big = Open("\xFF\xFE" + Utf16Le(wide + u"\r\nz"));
  lines = ReadAll(*big);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], wide);
  EXPECT_EQ(lines[1], u"z");
}

TEST(ReadLine, RefusesWhatCannotBeKeptWhole) {
  const struct {
    std::string bytes;
    ReadFault fault;
  } cases[] = {
      {"first\nkey=a\0b\nnext\n"s, ReadFault::ZeroCharacter},
      {"\xEF\xBB\xBFkey\0\n"s, ReadFault::ZeroCharacter},
      {"\xFF\xFE" + Utf16Le(u"a\r\nb"s + u'\0' + u"c\r\n"), ReadFault::ZeroCharacter},
      {"\xFF\xFE" + Utf16Le(u"a\r\nb") + "x", ReadFault::OddLength},
      // Ill-formed sequences would come back as U+FFFD.
      {"first\nk=\xC0\xAF\n", ReadFault::IllFormed},      // overlong, yet sniffed as UTF-8
      {"first\nk=\xED\xA0\x80\n", ReadFault::IllFormed},  // an encoded surrogate
      {"\xEF\xBB\xBF"
       "first\nk=\xE9\n",
       ReadFault::IllFormed},
      {"\xFF\xFE" + Utf16Le(u"a\r\nb=\xD800\r\n"), ReadFault::IllFormed},
      {"\xFE\xFF" + Utf16Be(u"a\r\nb=\xDC00\xD800"), ReadFault::IllFormed},
  };
  for (const auto& c : cases) {
    auto file = Open(c.bytes);
    ReadAll(*file);
    EXPECT_EQ(file->Fault(), c.fault) << c.bytes;
  }
}

// Reading with ReadAsciiLine first and ReadLine where it declines gives the
// lines and the fault that ReadLine alone gives, wherever the reads cut.
TEST(ReadAsciiLine, TakesOnlyWhatReadLineWouldGiveTheSame) {
  const std::string cases[] = {
      "a\r\nb\nc\r\r\n\nd\re\n\x01 x\nlast",
      "k=caf\xC3\xA9\nplain\n\xC3\xA9\nplain again\r\n",
      "\xEF\xBB\xBFplain\nk=\xE2\x82\xAC\nend\n",
      "k=caf\xE9\nplain\n",
      "first\nkey=a\0b\nnext\n"s,
      "first\nk=\xC0\xAF\nafter\n",
      "\xFF\xFE" + Utf16Le(u"a\r\nb\r\n"),
      Utf16Le(u"[s]\r\nkey=1\r\n"),
      std::string(5000, 'x') + "\nshort\n" + std::string(3000, 'y'),
  };
  for (const std::string& bytes : cases) {
    for (std::size_t chunk : {std::size_t{1}, std::size_t{5}, std::size_t{777}, SIZE_MAX}) {
      auto plain = Open(bytes, chunk);
      std::vector<std::u16string> expected = ReadAll(*plain);
      auto file = Open(bytes, chunk);
      bool utf16 = file->GetEncoding() == TextEncoding::Utf16LeBom ||
                   file->GetEncoding() == TextEncoding::Utf16Le;
      std::vector<std::u16string> lines;
      std::string_view ascii;
      std::u16string line;
      for (;;) {
        if (file->ReadAsciiLine(&ascii)) {
          EXPECT_FALSE(utf16);
          lines.emplace_back(ascii.begin(), ascii.end());
        } else if (file->ReadLine(line)) {
          lines.push_back(line);
        } else {
          break;
        }
      }
      EXPECT_EQ(lines, expected) << bytes << " " << chunk;
      EXPECT_EQ(file->Fault(), plain->Fault()) << bytes << " " << chunk;
    }
  }
}

TEST(ReadLine, ReportsReadErrors) {
  auto memory = std::make_unique<MemoryFile>("\xEF\xBB\xBFline\n", 3);
  MemoryFile* raw = memory.get();
  TextFile file(std::move(memory));
  file.GetEncoding();
  raw->failReads = true;
  std::u16string line;
  EXPECT_FALSE(file.ReadLine(line));
  EXPECT_EQ(file.Fault(), ReadFault::ReadError);
  EXPECT_EQ(file.ErrorCode(), 5);
}

TEST(ReadLine, EmptyFileAndBareMarkHaveNoLine) {
  for (std::string bytes : {""s, "\xEF\xBB\xBF"s, "\xFF\xFE"s}) {
    auto file = Open(bytes);
    std::u16string line;
    EXPECT_FALSE(file->ReadLine(line)) << bytes;
    EXPECT_EQ(file->Fault(), ReadFault::None);
  }
}

std::string WriteWith(TextEncoding kind, std::u16string_view text, char16_t ch) {
  auto memory = std::make_unique<MemoryFile>();
  MemoryFile* raw = memory.get();
  TextFile file(std::move(memory));
  file.SetEncoding(kind);
  EXPECT_TRUE(file.WriteLine(text, ch));
  file.FlushToDisk();
  return raw->written;
}

TEST(WriteLine, EncodesByKindWithCrLf) {
  EXPECT_EQ(WriteWith(TextEncoding::Ansi, u"abc", u'\n'), "abc\r\n");
  EXPECT_EQ(WriteWith(TextEncoding::Ansi, u"\u00e9", u'\n'), "\xE9\r\n");
  EXPECT_EQ(WriteWith(TextEncoding::Utf8, u"\u00e9", u'\n'), "\xC3\xA9\r\n");
  EXPECT_EQ(WriteWith(TextEncoding::Utf16BeBom, u"\u4e2d", u'\n'), "?\r\n");
  EXPECT_EQ(WriteWith(TextEncoding::Ascii, u"a\rb", 0), "a\rb");  // no terminator
}

TEST(WriteFormatted, ChecksumLine) {
  auto memory = std::make_unique<MemoryFile>();
  MemoryFile* raw = memory.get();
  TextFile file(std::move(memory));
  file.SetEncoding(TextEncoding::Ansi);
  file.WriteFormatted(u"0x%lx\n", 0, 31u);
  file.FlushToDisk();
  EXPECT_EQ(raw->written, "0x1f\r\n");
}

TEST(WriteText, FailureSticksAndIsReported) {
  auto memory = std::make_unique<MemoryFile>();
  memory->writeLimit = 4;
  TextFile file(std::move(memory));
  file.SetEncoding(TextEncoding::Ansi);
  file.WriteLine(u"longer than four", u'\n');
  EXPECT_FALSE(file.FlushToDisk());
  EXPECT_FALSE(file.WriteText(u"x"));
  EXPECT_TRUE(file.WriteLine(u"x", u'\n'));  // WriteLine fails only without a stream
  EXPECT_EQ(file.WriteErrorCode(), platform::ErrorNoSpace());
  EXPECT_FALSE(file.CloseTextFile());
}

}  // namespace
