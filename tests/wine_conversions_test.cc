// Holds the POSIX stand-ins to the real Win32 calls: tools/win32_probe asks
// Windows (here Wine) about a generated corpus in one batch per call, and every
// answer must match what the POSIX layer says about the same input.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/platform.h"
#include "tests/tool_runner.h"

#ifndef INISEAL_WINE_RUNNER
#error "INISEAL_WINE_RUNNER must name the command that runs Windows programs"
#endif

namespace fs = std::filesystem;

namespace {

// Runs the probe in mode (with a code page, if given) over the records and
// returns its answer lines, one per record.
std::vector<std::string> AskWindows(const std::string& mode,
                                    const std::vector<std::string>& records) {
  fs::path dir = fs::temp_directory_path() / ("iniseal-probe-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string batch;
  for (const std::string& r : records) {
    for (int shift = 0; shift < 32; shift += 8)
      batch.push_back(static_cast<char>((r.size() >> shift) & 0xFF));
    batch += r;
  }
  std::ofstream(dir / "batch", std::ios::binary) << batch;
  std::string command = std::string(INISEAL_WINE_RUNNER) + " '" + INISEAL_WIN32_PROBE + "' " +
                        mode + " < '" + (dir / "batch").string() + "' > '" +
                        (dir / "answers").string() + "'";
  int status = std::system(command.c_str());
  std::string answers = ReadWholeFile(dir / "answers");
  fs::remove_all(dir);
  EXPECT_EQ(status, 0) << command;
  std::vector<std::string> lines;
  std::istringstream in(answers);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  EXPECT_EQ(lines.size(), records.size()) << "the probe answered only part of the batch";
  lines.resize(records.size());
  return lines;
}

std::string Hex(const std::vector<unsigned>& values, int digits) {
  std::string out;
  char buffer[8];
  for (unsigned v : values) {
    std::snprintf(buffer, sizeof buffer, "%s%0*x", out.empty() ? "" : " ", digits, v);
    out += buffer;
  }
  return out;
}

std::string Utf16Bytes(const std::u16string& text) {
  std::string out;
  for (char16_t u : text) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

// What the POSIX layer answers, in the probe's notation.
std::string PosixToWide(unsigned codePage, const std::string& bytes) {
  std::u16string out(bytes.size(), u'\0');
  std::ptrdiff_t n =
      platform::MultiByteToWide(codePage, bytes.data(), bytes.size(), out.data(), out.size());
  if (n < 0)
    return "fail";
  return Hex(std::vector<unsigned>(out.begin(), out.begin() + n), 4);
}

std::string PosixToNarrow(unsigned codePage, const std::u16string& text) {
  std::string out(platform::MaxNarrowBytes(text.size()), '\0');
  std::ptrdiff_t n =
      platform::WideToMultiByte(codePage, text.data(), text.size(), out.data(), out.size());
  if (n < 0)
    return "fail";
  std::vector<unsigned> bytes;
  for (std::ptrdiff_t i = 0; i < n; ++i)
    bytes.push_back(static_cast<unsigned char>(out[i]));
  return Hex(bytes, 2);
}

std::string PosixTextTest(const std::string& bytes) {
  // Callers keep a zero byte after the buffer, as the tool's reader does.
  std::string held = bytes + '\0';
  int flags = platform::kUnicodeTestMask;
  bool yes = platform::IsTextUnicode(held.data(), bytes.size(), &flags);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d %x", yes ? 1 : 0, static_cast<unsigned>(flags));
  return buffer;
}

std::string Printable(const std::string& bytes) {
  std::vector<unsigned> values(bytes.begin(), bytes.end());
  for (unsigned& v : values)
    v &= 0xFF;
  return Hex(values, 2);
}

// ---------------------------------------------------------------------------
// The corpus

class Corpus {
 public:
  explicit Corpus(unsigned seed) : m_random(seed) {}

  std::size_t Below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random);
  }

  // INI-like text mixing ASCII, Latin-1, text outside Windows-1252 and
  // characters beyond the BMP, with the line ends files really have.
  std::u16string IniText() {
    static const std::u16string kPieces[] = {
        u"key=value",
        u"[section]",
        u"; comment",
        u"caf\u00e9 na\u00efve",
        u"\u20ac\u2122\u0160",
        u"\u03ba\u03bb\u03b5\u03b9\u03b4\u03af",
        u"\u4e2d\u6587\u5b57",
        u"\u041f\u0440\u0438",
        u"\U0001F600",
        u"\u3000",
        u" \t",
        u"\u0100\u2014\uff21",
    };
    static const std::u16string kEnds[] = {u"\r\n", u"\n", u"\r", u""};
    std::u16string text;
    std::size_t lines = Below(12);
    const std::u16string& end = kEnds[Below(4)];
    for (std::size_t i = 0; i < lines; ++i) {
      for (std::size_t k = Below(4); k > 0; --k)
        text += kPieces[Below(std::size(kPieces))];
      text += end;
    }
    return text;
  }

  std::string Bytes(const std::string& pool, std::size_t maxLength) {
    std::string out;
    for (std::size_t n = Below(maxLength + 1); n > 0; --n)
      out.push_back(pool.empty() ? static_cast<char>(Below(256)) : pool[Below(pool.size())]);
    return out;
  }

  std::u16string Units(const std::u16string& pool, std::size_t maxLength) {
    std::u16string out;
    for (std::size_t n = Below(maxLength + 1); n > 0; --n)
      out.push_back(pool[Below(pool.size())]);
    return out;
  }

 private:
  std::mt19937 m_random;
};

// Bytes that start, continue and break UTF-8 sequences of every kind.
const std::string kUtf8Pool =
    "A\x80\x8f\x90\x9f\xa0\xbf\xc0\xc1\xc2\xdf\xe0\xe9\xed\xef\xf0\xf4\xf5\xf8\xfe\xff";

// ---------------------------------------------------------------------------

TEST(WineConversions, BestFitTableIsWhatWindowsDoes) {
  std::string command = std::string(INISEAL_WINE_RUNNER) + " '" + INISEAL_WIN32_PROBE + "' bestfit";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string generated;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    generated.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(generated, ReadWholeFile(fs::path(INISEAL_SOURCE_DIR) / "platform/cp1252_bestfit.inc"))
      << "regenerate platform/cp1252_bestfit.inc as the README says";
}

TEST(WineConversions, AnsiCodePageBothWays) {
  std::vector<std::string> bytes;
  for (int b = 1; b < 256; ++b)
    bytes.push_back(std::string(1, static_cast<char>(b)));
  std::vector<std::string> wide = AskWindows("mb2wc 0", bytes);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    EXPECT_EQ(PosixToWide(platform::kAnsiCodePage, bytes[i]), wide[i]) << Printable(bytes[i]);

  // Every unit alone (best fit, "?" and the surrogate halves), then strings
  // that mix them with surrogate pairs.
  std::vector<std::u16string> texts;
  for (unsigned u = 1; u < 0x10000; ++u)
    texts.push_back(std::u16string(1, static_cast<char16_t>(u)));
  Corpus corpus(1);
  for (int i = 0; i < 300; ++i)
    texts.push_back(corpus.Units(u"a\u00e9\u0100\u20ac\u0081\u4e2d\xd83d\xde00\xdbff\xdc00", 8));
  std::vector<std::string> records;
  for (const std::u16string& t : texts)
    records.push_back(Utf16Bytes(t));
  std::vector<std::string> narrow = AskWindows("wc2mb 0", records);
  int mismatches = 0;
  for (std::size_t i = 0; i < texts.size() && mismatches < 20; ++i) {
    std::string ours = PosixToNarrow(platform::kAnsiCodePage, texts[i]);
    if (ours != narrow[i]) {
      ++mismatches;
      ADD_FAILURE() << "units " << Printable(records[i]) << ": Windows " << narrow[i] << ", ours "
                    << ours;
    }
  }
}

TEST(WineConversions, Utf8Decoding) {
  Corpus corpus(2);
  std::vector<std::string> inputs;
  for (int i = 0; i < 3000; ++i) {
    // Three ASCII bytes at the end keep every sequence clear of the end of
    // the input, where Wine differs (see below).
    inputs.push_back(corpus.Bytes(i % 2 ? kUtf8Pool : "", 10) + "xyz");
  }
  // Sequences cut off by the end of the input, with nothing after them.
  for (const char* cut : {"\xe2\x82", "\xe9", "\xf0\x9f\x98", "\xe0\x80", "\xf0\x80\x80", "\xc2"})
    inputs.push_back(corpus.Bytes(kUtf8Pool, 4) + "a" + cut);
  std::vector<std::string> wide = AskWindows("mb2wc 65001", inputs);
  for (std::size_t i = 0; i < inputs.size(); ++i)
    EXPECT_EQ(PosixToWide(platform::kUtf8CodePage, inputs[i]), wide[i]) << Printable(inputs[i]);
}

TEST(WineConversions, Utf8DecodingKeepsWhatFollowsACutSequence) {
  // Wine turns a sequence cut off by the end of the input into one U+FFFD
  // together with the well-formed characters after it. Unicode forbids
  // consuming those, and our layer keeps them: this pins down the difference,
  // so that a Wine that stops doing it is noticed.
  std::vector<std::string> wide = AskWindows("mb2wc 65001", {"a\xe9z", "\xf0\xc3\xa9"});
  EXPECT_EQ(wide[0], "0061 fffd");
  EXPECT_EQ(PosixToWide(platform::kUtf8CodePage, "a\xe9z"), "0061 fffd 007a");
  EXPECT_EQ(wide[1], "fffd");
  EXPECT_EQ(PosixToWide(platform::kUtf8CodePage, "\xf0\xc3\xa9"), "fffd 00e9");
}

TEST(WineConversions, Utf8Encoding) {
  Corpus corpus(3);
  std::vector<std::u16string> texts;
  for (int i = 0; i < 2000; ++i)
    texts.push_back(corpus.Units(u"a\u00e9\u07ff\u0800\u20ac\uffff\xd800\xdbff\xdc00\xdfff", 8));
  std::vector<std::string> records;
  for (const std::u16string& t : texts)
    records.push_back(Utf16Bytes(t));
  std::vector<std::string> narrow = AskWindows("wc2mb 65001", records);
  for (std::size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(PosixToNarrow(platform::kUtf8CodePage, texts[i]), narrow[i]) << Printable(records[i]);
}

TEST(WineConversions, TextTest) {
  Corpus corpus(4);
  std::vector<std::string> buffers;
  for (int i = 0; i < 4000; ++i) {
    std::u16string text = corpus.IniText();
    std::string bytes;
    switch (i % 8) {
      case 0:
      case 1:
        bytes = Utf16Bytes(text);  // UTF-16LE without mark, the case the test is for
        break;
      case 2:
        bytes = "\xff\xfe" + Utf16Bytes(text);
        break;
      case 3: {
        for (char16_t u : text) {  // big-endian
          bytes.push_back(static_cast<char>(u >> 8));
          bytes.push_back(static_cast<char>(u & 0xFF));
        }
        break;
      }
      case 4:
      case 5: {
        // 8-bit text with a few zero bytes in it.
        for (char16_t u : text)
          bytes.push_back(static_cast<char>(u < 0x100 ? u : '?'));
        for (std::size_t k = 1 + corpus.Below(3); k > 0; --k)
          bytes.insert(corpus.Below(bytes.size() + 1), 1, '\0');
        break;
      }
      case 6:
        bytes = corpus.Bytes("", 9);  // short buffers
        break;
      default:
        bytes = corpus.Bytes(std::string("\0\0\0\r\n 0ANa\xff\xfe", 12), 14);
        break;
    }
    if (corpus.Below(5) == 0 && !bytes.empty())
      bytes.resize(corpus.Below(bytes.size()));  // odd lengths too
    buffers.push_back(bytes);
  }
  // Long buffers: only their start is looked at.
  std::string ascii = Utf16Bytes(std::u16string(300, u'a'));
  std::string wide = Utf16Bytes(std::u16string(300, u'\u4e2d'));
  buffers.push_back(ascii + wide);
  buffers.push_back(wide + ascii);
  buffers.push_back(wide + Utf16Bytes(u"\r\n"));
  for (std::size_t at = 250; at < 260; ++at) {
    buffers.push_back(Utf16Bytes(std::u16string(at, u'\u4e2d') + u"\r\n"));
    buffers.push_back(Utf16Bytes(std::u16string(at / 2, u'a') + std::u16string(at, u'\u4e2d')));
  }
  std::vector<std::string> answers = AskWindows("istextunicode", buffers);
  for (std::size_t i = 0; i < buffers.size(); ++i)
    EXPECT_EQ(PosixTextTest(buffers[i]), answers[i]) << Printable(buffers[i].substr(0, 64));
}

}  // namespace
