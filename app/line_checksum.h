// The line checksum and the store of lines read, kept for the rewrite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

inline constexpr std::uint32_t ChecksumMask = 0x5A3C7E26;
extern const std::uint16_t ChecksumTable[32];

// Checksums wordCount little-endian 16-bit words (only the low 15 bits of the
// count are used) chained on seed. Never returns 0.
std::uint32_t ChecksumWords(const void* bytes, unsigned wordCount, std::uint32_t seed);

// The same chain over any number of words, for lines too long for the 15-bit count.
std::uint32_t ChecksumWordsUnbounded(const void* bytes, std::size_t wordCount, std::uint32_t seed);

// Takes in a line after the first, its leading blanks and controls removed: in
// update mode stores it, and if counted folds it into the running checksum.
void AbsorbLine(std::u16string_view line, bool counted);

std::uint32_t RunningChecksum();
// The code page lines are counted and stored in: the sealed file's.
void SetChecksumCodePage(unsigned codePage);
// Whether AbsorbLine keeps the lines it takes in (update mode).
void SetStoreLines(bool store);
// The stored lines as the body of the sealed file: each line's bytes in the
// checksum code page, which is the code page the sealed file is written in,
// followed by CR LF. In blocks, in order; none when no line is stored.
std::vector<std::string_view> StoredBody();
// Forgets the stored lines and sets the running checksum back to 0.
void ResetLines();
