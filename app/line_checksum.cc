#include "app/line_checksum.h"

#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "textfile/convert.h"

const std::uint16_t ChecksumTable[32] = {
    0xC60C, 0x8DC6, 0xD68D, 0x0ED6, 0xE70E, 0x8FE7, 0xF78F, 0x00F7,  //
    0x0000, 0x8100, 0x1081, 0x0210, 0x2102, 0x8321, 0x3183, 0x0431,  //
    0x4204, 0x8542, 0x5285, 0x0652, 0x6306, 0x8763, 0x7387, 0x0873,  //
    0x8408, 0x8984, 0x9489, 0x0A94, 0xA50A, 0x8BA5, 0xB58B, 0xC6B5,  //
};

namespace {

// One link of a chain. The step's latency bounds the checksum's speed, so it is
// kept to a table load and three one-cycle operations (the 16-bit rotate
// compiles to a single instruction).
inline std::uint16_t Step(std::uint16_t v, unsigned word) {
  return std::rotl(static_cast<std::uint16_t>((ChecksumTable[v & 31] ^ word) + v), 1);
}

// The chain over length bytes taken as little-endian words, an odd last byte
// paired with a zero byte.
std::uint32_t ChainBytes(const unsigned char* b, std::size_t length, std::uint32_t seed) {
  if (length == 0)
    return 1;
  std::uint16_t d = static_cast<std::uint16_t>(seed & 0xFFFF);
  unsigned l = (seed >> 16) & 0xFF;
  unsigned h = (seed >> 24) & 0xFF;
  std::uint16_t c = static_cast<std::uint16_t>((((h - l) & 0xFF) << 8) + l);
  // Even words feed d and odd words feed c: two independent chains, four
  // words a round to keep the loop's own work off the chains' way.
  std::size_t words = length / 2;
  std::size_t k = 0;
  for (; k + 4 <= words; k += 4, b += 8) {
    d = Step(d, b[0] | b[1] << 8);
    c = Step(c, b[2] | b[3] << 8);
    d = Step(d, b[4] | b[5] << 8);
    c = Step(c, b[6] | b[7] << 8);
  }
  for (; k + 2 <= words; k += 2, b += 4) {
    d = Step(d, b[0] | b[1] << 8);
    c = Step(c, b[2] | b[3] << 8);
  }
  if (k < words) {
    d = Step(d, b[0] | b[1] << 8);
    b += 2;
  }
  if (length % 2 != 0) {
    if (words % 2 == 0) {
      d = Step(d, b[0]);
    } else {
      c = Step(c, b[0]);
    }
  }
  unsigned ch = c >> 8;
  unsigned cl = c & 0xFF;
  std::uint32_t result = (static_cast<std::uint32_t>(ch) << 24) | ((ch ^ cl) << 16) | d;
  return result == 0 ? 1 : result;
}

// Stored lines live in large blocks: one allocation per line would cost more
// than the line itself. Blocks grow, so that a small file costs little and a
// large one few blocks, which the platform may back with large pages. A line
// never spans two blocks.
class BodyStore {
 public:
  // Where up to maxBytes may be written; Commit keeps what was used of them.
  char* Reserve(std::size_t maxBytes) {
    if (m_blocks.empty() || m_blocks.back().size - m_blocks.back().used < maxBytes)
      Grow(maxBytes);
    Block& block = m_blocks.back();
    return block.data.get() + block.used;
  }

  void Commit(std::size_t usedBytes) { m_blocks.back().used += usedBytes; }

  void Clear() {
    m_blocks.clear();
    m_nNextBlock = kFirstBlockBytes;
  }

 private:
  static constexpr std::size_t kFirstBlockBytes = 1 << 20;
  static constexpr std::size_t kLastBlockBytes = 64 << 20;

  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size;
    std::size_t used;
  };

  void Grow(std::size_t atLeast) {
    std::size_t size = atLeast > m_nNextBlock ? atLeast : m_nNextBlock;
    m_blocks.push_back(
        Block{std::unique_ptr<char[]>(new char[size]), size, 0});  // throws when memory runs out
    platform::AdviseLargePages(m_blocks.back().data.get(), size);
    if (m_nNextBlock < kLastBlockBytes)
      m_nNextBlock *= 2;
  }

  std::vector<Block> m_blocks;
  std::size_t m_nNextBlock = kFirstBlockBytes;
};

struct LineStore {
  std::uint32_t runningChecksum = 0;
  unsigned codePage = platform::kAnsiCodePage;
  bool storeLines = true;
  BodyStore body;
  LineNode* head = nullptr;
  LineNode* tail = nullptr;
  std::string scratch;  // a counted line's bytes in check mode; only grows
};

LineStore& Store() {
  static LineStore store;
  return store;
}

// Counts a line as ChecksumWords counts it with its terminating zero byte, at
// any length.
void Fold(LineStore& store, const char* bytes, std::size_t length) {
  std::uint32_t sum =
      ChainBytes(reinterpret_cast<const unsigned char*>(bytes), length, store.runningChecksum);
  store.runningChecksum = sum ^ ChecksumMask;
}

// Where a node for a line of up to maxBytes bytes goes; its text follows it.
char* ReserveNode(LineStore& store, std::size_t maxBytes) {
  constexpr std::size_t kAlign = alignof(LineNode);
  return store.body.Reserve(sizeof(LineNode) + maxBytes + 2 + kAlign) + sizeof(LineNode);
}

// Counts the length bytes at text, written by ReserveNode's caller, ends them
// with CR LF and links the node in.
void CommitNode(LineStore& store, char* text, std::size_t length, bool counted) {
  constexpr std::size_t kAlign = alignof(LineNode);
  if (counted)
    Fold(store, text, length);
  text[length] = '\r';
  text[length + 1] = '\n';
  auto* node = reinterpret_cast<LineNode*>(text - sizeof(LineNode));
  node->next = nullptr;
  node->length = length + 2;
  std::size_t used = sizeof(LineNode) + node->length;
  store.body.Commit((used + kAlign - 1) & ~(kAlign - 1));
  if (store.head == nullptr) {
    store.head = node;
  } else {
    store.tail->next = node;
  }
  store.tail = node;
}

// Converts the line straight into a node's text.
void StoreLine(LineStore& store, std::u16string_view line, bool counted) {
  char* text = ReserveNode(store, MaxNarrowBytes(line.size()));
  CommitNode(store, text, ToNarrow(line, store.codePage, text), counted);
}

void StoreAsciiLine(LineStore& store, std::string_view line, bool counted) {
  char* text = ReserveNode(store, line.size());
  std::memcpy(text, line.data(), line.size());
  CommitNode(store, text, line.size(), counted);
}

void CountLine(LineStore& store, std::u16string_view line) {
  std::size_t room = MaxNarrowBytes(line.size());
  if (store.scratch.size() < room)
    store.scratch.resize(room);
  Fold(store, store.scratch.data(), ToNarrow(line, store.codePage, store.scratch.data()));
}

}  // namespace

std::uint32_t ChecksumWordsUnbounded(const void* bytes, std::size_t wordCount, std::uint32_t seed) {
  return ChainBytes(static_cast<const unsigned char*>(bytes), 2 * wordCount, seed);
}

std::uint32_t ChecksumWords(const void* bytes, unsigned wordCount, std::uint32_t seed) {
  return ChecksumWordsUnbounded(bytes, wordCount & 0x7FFF, seed);
}

void AbsorbLine(std::u16string_view line, bool counted) {
  LineStore& store = Store();
  if (store.storeLines) {
    StoreLine(store, line, counted);
  } else if (counted) {
    CountLine(store, line);
  }
}

void AbsorbAsciiLine(std::string_view line, bool counted) {
  LineStore& store = Store();
  if (store.storeLines) {
    StoreAsciiLine(store, line, counted);
  } else if (counted) {
    Fold(store, line.data(), line.size());
  }
}

std::uint32_t RunningChecksum() {
  return Store().runningChecksum;
}
void SetChecksumCodePage(unsigned codePage) {
  Store().codePage = codePage;
}
void SetStoreLines(bool store) {
  Store().storeLines = store;
}
const LineNode* FirstStoredLine() {
  return Store().head;
}

void ResetLines() {
  LineStore& store = Store();
  store.body.Clear();
  store.head = nullptr;
  store.tail = nullptr;
  store.runningChecksum = 0;
}
