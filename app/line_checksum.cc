#include "app/line_checksum.h"

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

// The narrow form of a line up to this size, terminator included, is counted
// exactly as the original buffer of this size did.
constexpr std::size_t kNarrowLineBytes = 6914;

inline std::uint16_t Step(std::uint16_t v, unsigned word) {
  unsigned x = ((ChecksumTable[v & 31] ^ word) + v) & 0xFFFF;
  return static_cast<std::uint16_t>((x << 1 | x >> 15) & 0xFFFF);
}

// Stored lines live in large blocks: one allocation per line would cost more
// than the line itself.
class LineArena {
 public:
  LineNode* NewNode(std::u16string_view text) {
    std::size_t bytes = sizeof(LineNode) + text.size() * sizeof(char16_t);
    bytes = (bytes + alignof(LineNode) - 1) & ~(alignof(LineNode) - 1);
    if (bytes > m_nLeft)
      Grow(bytes);
    auto* node = reinterpret_cast<LineNode*>(m_pNext);
    m_pNext += bytes;
    m_nLeft -= bytes;
    node->next = nullptr;
    node->length = text.size();
    std::memcpy(node + 1, text.data(), text.size() * sizeof(char16_t));
    return node;
  }

  void Clear() {
    m_blocks.clear();
    m_pNext = nullptr;
    m_nLeft = 0;
  }

 private:
  static constexpr std::size_t kBlockBytes = 1 << 20;

  void Grow(std::size_t atLeast) {
    std::size_t size = atLeast > kBlockBytes ? atLeast : kBlockBytes;
    m_blocks.emplace_back(new char[size]);  // throws when memory runs out
    m_pNext = m_blocks.back().get();
    m_nLeft = size;
  }

  std::vector<std::unique_ptr<char[]>> m_blocks;
  char* m_pNext = nullptr;
  std::size_t m_nLeft = 0;
};

struct LineStore {
  std::uint32_t runningChecksum = 0;
  unsigned codePage = platform::kAnsiCodePage;
  bool storeLines = true;
  LineNode* head = nullptr;
  LineNode* tail = nullptr;
  LineArena arena;
  std::string narrow;  // reused for every counted line
};

LineStore& Store() {
  static LineStore store;
  return store;
}

}  // namespace

std::uint32_t ChecksumWordsUnbounded(const void* bytes, std::size_t wordCount, std::uint32_t seed) {
  if (wordCount == 0)
    return 1;
  const unsigned char* b = static_cast<const unsigned char*>(bytes);
  std::uint16_t d = static_cast<std::uint16_t>(seed & 0xFFFF);
  unsigned l = (seed >> 16) & 0xFF;
  unsigned h = (seed >> 24) & 0xFF;
  std::uint16_t c = static_cast<std::uint16_t>((((h - l) & 0xFF) << 8) + l);
  // Even words feed d and odd words feed c: two independent chains.
  std::size_t k = 0;
  for (; k + 2 <= wordCount; k += 2, b += 4) {
    d = Step(d, b[0] | b[1] << 8);
    c = Step(c, b[2] | b[3] << 8);
  }
  if (k < wordCount)
    d = Step(d, b[0] | b[1] << 8);
  unsigned ch = c >> 8;
  unsigned cl = c & 0xFF;
  std::uint32_t result = (static_cast<std::uint32_t>(ch) << 24) | ((ch ^ cl) << 16) | d;
  return result == 0 ? 1 : result;
}

std::uint32_t ChecksumWords(const void* bytes, unsigned wordCount, std::uint32_t seed) {
  return ChecksumWordsUnbounded(bytes, wordCount & 0x7FFF, seed);
}

void AbsorbLine(std::u16string_view line, bool counted) {
  LineStore& store = Store();
  if (store.storeLines) {
    LineNode* node = store.arena.NewNode(line);
    if (store.head == nullptr) {
      store.head = node;
    } else {
      store.tail->next = node;
    }
    store.tail = node;
  }
  if (!counted)
    return;
  ToNarrow(line, store.codePage, store.narrow);
  // An odd last byte pairs with the terminator that follows the string's bytes.
  std::size_t words = (store.narrow.size() + 1) / 2;
  std::uint32_t sum =
      store.narrow.size() + 1 <= kNarrowLineBytes
          ? ChecksumWords(store.narrow.data(), static_cast<unsigned>(words), store.runningChecksum)
          : ChecksumWordsUnbounded(store.narrow.data(), words, store.runningChecksum);
  store.runningChecksum = sum ^ ChecksumMask;
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
  store.head = nullptr;
  store.tail = nullptr;
  store.arena.Clear();
  store.runningChecksum = 0;
}
