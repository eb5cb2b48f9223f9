#include "app/verify.h"

#include <string>

#include "app/run.h"

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9')
    return c - u'0';
  if (c >= u'a' && c <= u'f')
    return c - u'a' + 10;
  if (c >= u'A' && c <= u'F')
    return c - u'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::uint32_t> ParseSealLine(std::u16string_view line) {
  line = TrimBlanks(line);
  if (line.size() < 3 || line[0] != u'0' || (line[1] != u'x' && line[1] != u'X'))
    return std::nullopt;
  std::uint64_t value = 0;
  for (char16_t c : line.substr(2)) {
    int digit = HexDigitValue(c);
    if (digit < 0)
      return std::nullopt;
    value = value * 16 + static_cast<std::uint64_t>(digit);
    // Leading zeros are harmless; a value past 32 bits is no checksum.
    if (value > UINT32_MAX)
      return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

bool ReportSeal(std::u16string_view firstLine, std::uint32_t checksum,
                std::u16string_view displayName) {
  const std::u16string name(displayName);
  PrintMessage(u"Checksum is: 0x%lx\n", checksum);
  std::optional<std::uint32_t> sealed = ParseSealLine(firstLine);
  if (!sealed) {
    PrintMessage(u"Seal does not match: %s (its first line is no checksum)\n", name.c_str());
    return false;
  }
  if (*sealed != checksum) {
    PrintMessage(u"Seal does not match: %s\n", name.c_str());
    return false;
  }
  PrintMessage(u"Seal matches: %s\n", name.c_str());
  return true;
}
