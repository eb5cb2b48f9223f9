// The line checksum and the store of lines read, kept for the rewrite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::uint32_t ChecksumMask = 0x5A3C7E26;
extern const std::uint16_t ChecksumTable[32];

// Checksums wordCount little-endian 16-bit words (only the low 15 bits of the
// count are used) chained on seed. Never returns 0.
std::uint32_t ChecksumWords(const void* bytes, unsigned wordCount, std::uint32_t seed);

// The same chain over any number of words: how lines are counted, whatever their
// length, since a line is kept whole.
std::uint32_t ChecksumWordsUnbounded(const void* bytes, std::size_t wordCount, std::uint32_t seed);

// Takes in a line after the first, its leading blanks and controls removed: in
// update mode stores it, and if counted folds it into the running checksum.
void AbsorbLine(std::u16string_view line, bool counted);
// The same for a line of ASCII characters given as its bytes, which every code
// page the checksum uses keeps as they are.
void AbsorbAsciiLine(std::string_view line, bool counted);

std::uint32_t RunningChecksum();
// The code page lines are counted and stored in: the sealed file's.
void SetChecksumCodePage(unsigned codePage);
// Whether AbsorbLine keeps the lines it takes in (update mode).
void SetStoreLines(bool store);
// A stored line, in the singly linked list of the lines read. Its text follows
// the node in memory, already as the sealed file holds it: the line's bytes in
// the checksum code page (the code page the sealed file is written in) and CR LF.
struct LineNode {
  LineNode* next;
  std::size_t length;  // in bytes, CR LF included
  std::string_view text() const { return {reinterpret_cast<const char*>(this + 1), length}; }
};

// The first stored line, in reading order; null when none is stored.
const LineNode* FirstStoredLine();
// Forgets the stored lines and sets the running checksum back to 0.
void ResetLines();
