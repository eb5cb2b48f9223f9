#include "corekit/TavString.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "tests/report_sandbox.h"

namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;

// Opens the string's fields to the tests.
class Probe : public TavString {
 public:
  using TavString::m_nExtent;
  using TavString::m_nLength;
  using TavString::m_pszData;
  std::u16string Text() const { return std::u16string(m_pszData, m_nLength); }
};

TEST(TavString, NewStringOwnsJustItsTerminator) {
  Probe s;
  EXPECT_EQ(s.m_nLength, 0);
  EXPECT_EQ(s.m_nExtent, 2);
  ASSERT_NE(s.m_pszData, nullptr);
  EXPECT_EQ(s.m_pszData[0], 0);
  EXPECT_TRUE(s.IsA());
  EXPECT_TRUE(s.IsEmpty());
}

TEST(TavString, GrowsByExactlyWhatIsAppended) {
  Probe s;
  const struct {
    const char16_t* text;
    int count;
    std::u16string expected;
    int extent;
  } steps[] = {
      {u"abc", -1, u"abc", 8},   {u"ab", 2, u"abcab", 12},   {nullptr, -1, u"abcab", 12},
      {u"xyz", 0, u"abcab", 12}, {u"xyz", 1, u"abcabx", 14},
  };
  for (const auto& step : steps) {
    s.Append(step.text, step.count);
    EXPECT_EQ(s.Text(), step.expected);
    EXPECT_EQ(s.m_nExtent, step.extent) << "after " << s.m_nLength << " units";
    EXPECT_EQ(s.m_pszData[s.m_nLength], 0);
  }
  s.Assign(u"q");  // emptying keeps the buffer
  EXPECT_EQ(s.Text(), u"q");
  EXPECT_EQ(s.m_nExtent, 14);
  s.Empty();
  EXPECT_TRUE(s.IsEmpty());
}

TEST(TavString, AppendsTextFromItsOwnBuffer) {
  Probe s;
  s.Assign(u"0123456789");
  TavString neighbour;  // takes the heap after s, so that s must move to grow
  neighbour.Assign(u"zzzzzzzzzz");
  s.Append(s.m_pszData, -1);
  EXPECT_EQ(s.Text(), u"01234567890123456789");
  s.Append(s.m_pszData + 15, 3);
  EXPECT_EQ(s.Text(), u"01234567890123456789567");
}

TEST(TavString, InvariantCatchesEachBrokenField) {
  const std::function<void(Probe&)> breaks[] = {
      [](Probe& s) { s.m_pszData[s.m_nLength] = u'x'; },  // no terminator
      [](Probe& s) { s.m_nLength = s.m_nExtent / 2; },    // no room for the terminator
      [](Probe& s) { s.m_nExtent = 0; },                  // a buffer without extent
      [](Probe& s) { s.m_nLength = -1; },
  };
  for (const auto& breakIt : breaks) {
    Probe s;
    s.Assign(u"abc");
    int extent = s.m_nExtent;
    int length = s.m_nLength;
    breakIt(s);
    EXPECT_FALSE(s.IsA());
    s.m_nExtent = extent;  // mended, so that its release passes
    s.m_nLength = length;
    s.m_pszData[length] = 0;
    EXPECT_TRUE(s.IsA());
  }
}

TEST(TavString, FailedChecksEndTheProcessThroughTheReporter) {
  ReportSandbox sandbox;
  const struct {
    const char* name;
    std::function<void()> run;
    std::string expression;
    const char* file;
  } cases[] = {
      {"count beyond the text", [] { TavString().Append(u"ab", 5); },
       "cchLen<=0 || cchLen<=(int) _tcslen(pszStr)", "TavString.cc"},
      {"negative count", [] { TavString().Extend(-1); }, "nUnits>=0", "TavString.cc"},
      {"buffer that cannot grow", [] { TavString().Extend(INT_MAX); }, "pvGrown!=nullptr",
       "TavString.cc"},
      {"broken string asked if empty",
       [] {
         Probe s;
         s.m_pszData[0] = u'x';
         s.IsEmpty();
       },
       "IsA()", "TavString.h"},
      {"broken string released",
       [] {
         Probe s;
         s.m_nLength = 5;
       },
       "IsA()", "TavString.cc"},
  };
  for (const auto& c : cases) {
    std::string err;
    EXPECT_EXIT(c.run(), ExitedWithCode(3), KeepStandardError(&err)) << c.name;
    EXPECT_THAT(err, HasSubstr(" exp=" + c.expression + " @ ")) << c.name;
    EXPECT_THAT(err, testing::ContainsRegex(std::string("@ [^ ]*corekit/") + c.file + ":[0-9]+\n"))
        << c.name;
    EXPECT_THAT(err, HasSubstr("\nExpression: " + c.expression)) << c.name;
  }
}

}  // namespace
