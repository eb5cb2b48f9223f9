// Runs every end-to-end case against the tool named by the environment (see
// tool_runner.h), by default the native build.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "tests/e2e_cases.h"
#include "tests/tool_runner.h"

namespace {

std::string Expand(std::string text, const Scratch& scratch) {
  const std::string separator = TestedTool().windows ? "\\" : "/";
  const std::string toolDir = scratch.ToolPath(scratch.ToolDir());
  for (std::size_t at; (at = text.find("{tool}")) != std::string::npos;)
    text.replace(at, 6, toolDir);
  for (std::size_t at; (at = text.find("{/}")) != std::string::npos;)
    text.replace(at, 3, separator);
  return text;
}

// The expected output as a pattern in which "{e}" matches any error number,
// "{date}" a date as dd/mm/yy and "{...}" any text.
bool OutputMatches(const std::string& expected, const std::string& actual) {
  static const std::pair<std::string, std::string> kPlaceholders[] = {
      {"{e}", "-?[0-9]+"},
      {"{date}", "[0-9]{2}/[0-9]{2}/[0-9]{2}"},
      {"{...}", "[\\s\\S]*"},
  };
  std::string pattern;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    auto placeholder = std::find_if(
        std::begin(kPlaceholders), std::end(kPlaceholders),
        [&](const auto& p) { return expected.compare(i, p.first.size(), p.first) == 0; });
    if (placeholder != std::end(kPlaceholders)) {
      pattern += placeholder->second;
      i += placeholder->first.size() - 1;
    } else if (std::string("\\^$.|?*+()[]{}").find(expected[i]) != std::string::npos) {
      pattern += '\\';
      pattern += expected[i];
    } else {
      pattern += expected[i];
    }
  }
  return std::regex_match(actual, std::regex(pattern));
}

class EndToEnd : public ::testing::TestWithParam<E2eCase> {};

TEST_P(EndToEnd, Case) {
  const E2eCase& c = GetParam();
  if (c.nativeOnly && TestedTool().windows)
    GTEST_SKIP() << "a POSIX difference";
  Scratch scratch;
  for (const E2eFile& f : c.before)
    scratch.Write(f.name, f.bytes);
  std::vector<std::string> namesBefore = scratch.Files();

  std::vector<std::string> args;
  for (const std::string& a : c.args)
    args.push_back(Expand(a, scratch));
  ToolRun run = RunInScratch(scratch, args);

  EXPECT_EQ(run.exitCode, c.exitCode) << run.output << run.errors;
  std::string expected = Expand(c.output, scratch);
  EXPECT_TRUE(OutputMatches(expected, run.output)) << "expected:\n"
                                                   << expected << "\nactual:\n"
                                                   << run.output;
  EXPECT_EQ(scratch.Files(), namesBefore) << "files appeared or vanished";
  for (const E2eFile& f : c.before) {
    auto changed = std::find_if(c.after.begin(), c.after.end(),
                                [&](const E2eFile& a) { return a.name == f.name; });
    if (!scratch.Exists(f.name))
      continue;
    EXPECT_EQ(scratch.Read(f.name), changed == c.after.end() ? f.bytes : changed->bytes) << f.name;
  }
}

std::string CaseName(const ::testing::TestParamInfo<E2eCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Table, EndToEnd, ::testing::ValuesIn(E2eCases()), CaseName);

}  // namespace
