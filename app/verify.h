// Verify mode: whether a file's first line is the seal of the rest.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The checksum a seal line holds: "0x" (or "0X") and hexadecimal digits in
// either case, blanks and tabs around them ignored. Nothing when the line is no
// checksum, also when its value does not fit in 32 bits.
std::optional<std::uint32_t> ParseSealLine(std::u16string_view line);

// Prints the checksum and whether firstLine seals it; true when it does.
bool ReportSeal(std::u16string_view firstLine, std::uint32_t checksum,
                std::u16string_view displayName);
