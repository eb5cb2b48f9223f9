#include "textfile/convert.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"

// A test build turns the vector paths off to check the plain ones, which the
// 32-bit Windows build uses.
#if defined(__SSE2__) && !defined(INISEAL_NO_SIMD)
#define INISEAL_SSE2 1
#include <emmintrin.h>
#endif

namespace {

// The ASCII fast paths work on blocks of kBlock units: with SSE2 (always there
// on x86-64) a block is a few vector operations; elsewhere plain loops and
// 64-bit words stand in for vectors. Only texts shorter than a block go unit
// by unit.
constexpr std::size_t kBlock = 16;

#if defined(INISEAL_SSE2)

__m128i Load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// A bit for each unit of the block that is not ASCII, the first unit lowest.
unsigned NonAsciiMask(const unsigned char* s) {
  return static_cast<unsigned>(_mm_movemask_epi8(Load(s)));
}

// Adding 0x7F80 with saturation sets a unit's top bit exactly when it is not
// ASCII, and the signed pack keeps that bit in each unit's byte.
unsigned NonAsciiMask(const char16_t* s) {
  __m128i bias = _mm_set1_epi16(0x7F80);
  __m128i a = _mm_adds_epu16(Load(s), bias);
  __m128i b = _mm_adds_epu16(Load(s + 8), bias);
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
}

// A bit for each byte of the block that is a line feed or zero.
unsigned LineFeedOrZeroMask(const char* s) {
  __m128i v = Load(s);
  __m128i hits =
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_setzero_si128()));
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

void CopyBlock(const unsigned char* s, char16_t* d) {
  __m128i v = Load(s);
  __m128i zero = _mm_setzero_si128();
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, zero));
}

// Pairs 16 bytes into 8 units and reports whether one of them is 0.
bool PairBlock(const char* s, bool bigEndian, char16_t* d) {
  __m128i v = Load(s);
  if (bigEndian)
    v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
  return _mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_setzero_si128())) != 0;
}

// ASCII units stay as they are; others come out as a byte that is
// overwritten later.
void CopyBlock(const char16_t* s, char* d) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(Load(s), Load(s + 8)));
}

#else

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kLowBits = 0x0101010101010101ull;

std::uint64_t LoadWord(const void* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

template <typename Unit>
unsigned NonAsciiMask(const Unit* s) {
  unsigned mask = 0;
  for (std::size_t k = 0; k < kBlock; ++k)
    mask |= static_cast<unsigned>(s[k] >= 0x80) << k;
  return mask;
}

// Whether a block of bytes holds neither a byte above 0x7F nor a zero byte: in
// a word without top bits, subtracting one from each byte sets the top bit
// exactly where a byte was zero.
bool IsZeroFreeAsciiBlock(const unsigned char* s) {
  std::uint64_t a = LoadWord(s);
  std::uint64_t b = LoadWord(s + 8);
  return ((a | (a - kLowBits) | b | (b - kLowBits)) & kHighBits) == 0;
}

template <typename From, typename To>
void CopyBlock(const From* s, To* d) {
  for (std::size_t k = 0; k < kBlock; ++k)
    d[k] = static_cast<To>(s[k]);
}

#endif

char16_t PairBytes(const char* s, bool bigEndian) {
  unsigned first = static_cast<unsigned char>(s[0]);
  unsigned second = static_cast<unsigned char>(s[1]);
  return static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
}

// Copies the leading run of ASCII units from s to d, widening or narrowing
// them, and returns its length. Whole blocks are copied, so d may hold more
// after the run, and up to n units; a block's mask tells where the run ends.
template <typename From, typename To>
std::size_t CopyAsciiPrefix(const From* s, std::size_t n, To* d) {
  std::size_t i = 0;
  if (n < kBlock) {
    for (; i < n && s[i] < 0x80; ++i)
      d[i] = static_cast<To>(s[i]);
    return i;
  }
  for (; i + kBlock <= n; i += kBlock) {
    unsigned mask = NonAsciiMask(s + i);
    CopyBlock(s + i, d + i);
    if (mask != 0)
      return i + static_cast<std::size_t>(std::countr_zero(mask));
  }
  if (i == n)
    return n;
  // The tail as one block that overlaps the last one copied.
  std::size_t last = n - kBlock;
  unsigned mask = NonAsciiMask(s + last);
  CopyBlock(s + last, d + last);
  return mask == 0 ? n : last + static_cast<std::size_t>(std::countr_zero(mask));
}

}  // namespace

#if defined(INISEAL_SSE2)
// Where the first byte that Mask marks stands, or n; n is at least a block.
template <unsigned (*Mask)(const char*)>
std::size_t FindFirstMarked(const char* bytes, std::size_t n) {
  std::size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    if (unsigned mask = Mask(bytes + i))
      return i + std::countr_zero(mask);
  }
  // The tail as one block that overlaps the last one searched.
  unsigned mask = i < n ? Mask(bytes + n - kBlock) : 0;
  return mask == 0 ? n : n - kBlock + std::countr_zero(mask);
}

unsigned LineFeedZeroOrNonAsciiMask(const char* s) {
  return LineFeedOrZeroMask(s) | NonAsciiMask(reinterpret_cast<const unsigned char*>(s));
}
#endif

std::size_t FindLineFeedOrZero(const char* bytes, std::size_t n) {
#if defined(INISEAL_SSE2)
  if (n >= kBlock)
    return FindFirstMarked<LineFeedOrZeroMask>(bytes, n);
#endif
  const void* lf = std::memchr(bytes, '\n', n);
  std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - bytes) : n;
  const void* zero = std::memchr(bytes, 0, end);
  return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes) : end;
}

std::size_t FindLineFeedOrNonAscii(const char* bytes, std::size_t n) {
#if defined(INISEAL_SSE2)
  if (n >= kBlock)
    return FindFirstMarked<LineFeedZeroOrNonAsciiMask>(bytes, n);
#endif
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n' || c == 0 || c >= 0x80)
      return i;
  }
  return n;
}

bool UnitsFromBytes(const char* bytes, std::size_t units, bool bigEndian, char16_t* out) {
  bool zero = false;
  std::size_t i = 0;
#if defined(INISEAL_SSE2)
  if (units >= 8) {
    for (; i + 8 <= units; i += 8)
      zero |= PairBlock(bytes + 2 * i, bigEndian, out + i);
    // The tail as one block that overlaps the last one paired.
    if (i < units)
      zero |= PairBlock(bytes + 2 * (units - 8), bigEndian, out + units - 8);
    return zero;
  }
#endif
  for (; i < units; ++i) {
    out[i] = PairBytes(bytes + 2 * i, bigEndian);
    zero |= out[i] == 0;
  }
  return zero;
}

bool HasSurrogate(const char16_t* units, std::size_t n) {
  std::size_t i = 0;
#if defined(INISEAL_SSE2)
  const __m128i top = _mm_set1_epi16(static_cast<short>(0xF800));
  const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
  __m128i hits = _mm_setzero_si128();
  for (; i + 8 <= n; i += 8)
    hits = _mm_or_si128(hits, _mm_cmpeq_epi16(_mm_and_si128(Load(units + i), top), surrogate));
  if (_mm_movemask_epi8(hits) != 0)
    return true;
#endif
  for (; i < n; ++i) {
    if ((units[i] & 0xF800) == 0xD800)
      return true;
  }
  return false;
}

void Utf8Classifier::Feed(const char* bytes, std::size_t n) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
  // A block needs the three bytes before it, so the first ones go one by one.
  std::size_t i = FeedBytes(s, 0, n < 3 ? n : 3);
  i = FeedBlocks(s, i, n);
  FeedBytes(s, i, n);
}

// The classifier's rules byte by byte, from `from` up to n; returns n.
std::size_t Utf8Classifier::FeedBytes(const unsigned char* s, std::size_t from, std::size_t n) {
  std::size_t i = from;
  while (i < n) {
    unsigned b = s[i++];
    if (b == 0) {
      m_bSawZero = true;
      if (m_nPending > 0)
        m_bInvalid = true;
      m_nPending = 0;
      continue;
    }
    if (m_nPending > 0) {
      if ((b & 0xC0) != 0x80) {
        m_bInvalid = true;
        m_nPending = 0;
        --i;  // look at this byte again as a lead
      } else {
        --m_nPending;
      }
      continue;
    }
    if (b < 0x80)
      continue;
    if ((b & 0xE0) == 0xC0) {
      m_nPending = 1;
    } else if ((b & 0xF0) == 0xE0) {
      m_nPending = 2;
    } else if ((b & 0xF8) == 0xF0) {
      m_nPending = 3;
    } else {
      m_bInvalid = true;  // a continuation byte as lead, or 11111xxx
      continue;
    }
    m_bSawMultiByte = true;
  }
  return n;
}

#if defined(INISEAL_SSE2)

namespace {

// Bytes at least k, compared as unsigned.
__m128i AtLeast(__m128i v, unsigned char k) {
  return _mm_cmpeq_epi8(_mm_subs_epu8(_mm_set1_epi8(static_cast<char>(k)), v), _mm_setzero_si128());
}

}  // namespace

// Whole blocks from `from` (at least 3) while they fit; returns where they
// end. The rules come down to this: a byte must be a continuation byte exactly
// when the byte before it is a lead, or the one two before leads a sequence
// of three or four bytes, or the one three before leads one of four. After an
// error the verdict is 0 whatever follows, so blocks need not resynchronise.
std::size_t Utf8Classifier::FeedBlocks(const unsigned char* s, std::size_t from, std::size_t n) {
  if (from < 3 || from + kBlock > n)
    return from;
  __m128i error = _mm_setzero_si128();
  __m128i zero = _mm_setzero_si128();
  __m128i lead = _mm_setzero_si128();
  std::size_t i = from;
  for (; i + kBlock <= n; i += kBlock) {
    __m128i v = Load(s + i);
    // Plain ASCII that no sequence from before reaches into needs no more.
    if (_mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, _mm_setzero_si128()))) == 0 &&
        s[i - 1] < 0xC0 && s[i - 2] < 0xE0 && s[i - 3] < 0xF0) {
      continue;
    }
    __m128i expected =
        _mm_or_si128(_mm_or_si128(AtLeast(Load(s + i - 1), 0xC0), AtLeast(Load(s + i - 2), 0xE0)),
                     AtLeast(Load(s + i - 3), 0xF0));
    __m128i continuation = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xC0))),
                                          _mm_set1_epi8(static_cast<char>(0x80)));
    error = _mm_or_si128(error, _mm_xor_si128(expected, continuation));
    error = _mm_or_si128(error, AtLeast(v, 0xF8));
    zero = _mm_or_si128(zero, _mm_cmpeq_epi8(v, _mm_setzero_si128()));
    lead = _mm_or_si128(lead, AtLeast(v, 0xC0));
  }
  if (_mm_movemask_epi8(error) != 0)
    m_bInvalid = true;
  if (_mm_movemask_epi8(zero) != 0)
    m_bSawZero = true;
  if (_mm_movemask_epi8(lead) != 0)
    m_bSawMultiByte = true;
  // What the last three bytes still expect.
  if (s[i - 1] >= 0xC0) {
    m_nPending = s[i - 1] >= 0xF0 ? 3 : s[i - 1] >= 0xE0 ? 2 : 1;
  } else if (s[i - 2] >= 0xE0) {
    m_nPending = s[i - 2] >= 0xF0 ? 2 : 1;
  } else {
    m_nPending = s[i - 3] >= 0xF0 ? 1 : 0;
  }
  return i;
}

#else

// Skips clean ASCII a block at a time while nothing is pending; zero bytes
// and the rest go one by one.
std::size_t Utf8Classifier::FeedBlocks(const unsigned char* s, std::size_t from, std::size_t n) {
  std::size_t i = from;
  while (i < n) {
    if (m_nPending == 0) {
      while (i + kBlock <= n && IsZeroFreeAsciiBlock(s + i))
        i += kBlock;
    }
    if (i + kBlock > n)
      break;
    FeedBytes(s, i, i + 1);
    ++i;
  }
  return i;
}

#endif

int Utf8Classifier::Result() const {
  if (m_bInvalid || m_nPending > 0)
    return 0;
  return m_bSawMultiByte ? 8 : 7;
}

int ClassifyUtf8(const char* bytes) {
  Utf8Classifier classifier;
  classifier.Feed(bytes, std::strlen(bytes));
  return classifier.Result();
}

std::size_t ToWide(const char* bytes, std::size_t n, unsigned codePage, char16_t* out) {
  std::size_t ascii = CopyAsciiPrefix(reinterpret_cast<const unsigned char*>(bytes), n, out);
  if (ascii == n)
    return n;
  // ASCII bytes stand for themselves in every ANSI code page and in UTF-8, so
  // the rest converts on its own.
  std::ptrdiff_t rest =
      platform::MultiByteToWide(codePage, bytes + ascii, n - ascii, out + ascii, n - ascii);
  return ascii + static_cast<std::size_t>(rest > 0 ? rest : 0);
}

void ToWide(const char* bytes, std::size_t n, unsigned codePage, std::u16string& out) {
  // Growing only as needed spares filling units that are overwritten next.
  if (out.size() < n)
    out.resize(n);
  out.resize(ToWide(bytes, n, codePage, out.data()));
}

std::size_t ToNarrow(std::u16string_view text, unsigned codePage, char* out) {
  std::size_t n = text.size();
  std::size_t ascii = CopyAsciiPrefix(text.data(), n, out);
  if (ascii == n)
    return n;
  std::ptrdiff_t rest = platform::WideToMultiByte(codePage, text.data() + ascii, n - ascii,
                                                  out + ascii, MaxNarrowBytes(n - ascii));
  return ascii + static_cast<std::size_t>(rest > 0 ? rest : 0);
}

void ToNarrow(std::u16string_view text, unsigned codePage, std::string& out) {
  std::size_t room = MaxNarrowBytes(text.size());
  if (out.size() < room)
    out.resize(room);
  out.resize(ToNarrow(text, codePage, out.data()));
}

std::string ToNarrowAlloc(std::u16string_view text, unsigned codePage) {
  std::string out;
  ToNarrow(text, codePage, out);
  return out;
}
