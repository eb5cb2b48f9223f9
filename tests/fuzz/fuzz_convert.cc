// Fuzzes the code-page conversions: the round trips that must hold, exact
// output sizes against buffers of exactly that size, and the UTF-8 classifier
// fed whole or in pieces.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/line_checksum.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_check.h"
#include "textfile/convert.h"

namespace {

// Strict UTF-8, written apart from the product's decoder.
bool IsStrictUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned b = static_cast<unsigned char>(s[i]);
    std::size_t need;
    std::uint32_t cp;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (i + need >= s.size())
      return false;
    for (std::size_t k = 1; k <= need; ++k) {
      unsigned c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80)
        return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((need == 2 && cp < 0x800) || (need == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += need + 1;
  }
  return true;
}

bool HasLoneSurrogate(const std::u16string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      ++i;
    } else if (s[i] >= 0xD800 && s[i] <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// The platform call into a heap buffer of exactly the units it needs, so that
// a write past them is caught; one unit fewer must fail cleanly.
template <typename Unit, typename Text, typename Convert>
void CheckBounds(Convert convert, unsigned codePage, const Text& text, std::size_t needed) {
  auto exact = std::make_unique<Unit[]>(needed);
  Check(convert(codePage, text.data(), text.size(), exact.get(), needed) ==
        static_cast<std::ptrdiff_t>(needed));
  if (needed > 0) {
    auto shorter = std::make_unique<Unit[]>(needed - 1);
    Check(convert(codePage, text.data(), text.size(), shorter.get(), needed - 1) == -1);
  }
}

void CheckNarrowToWideBounds(unsigned codePage, const std::string& bytes, std::size_t needed) {
  CheckBounds<char16_t>(platform::MultiByteToWide, codePage, bytes, needed);
}

void CheckWideToNarrowBounds(unsigned codePage, const std::u16string& text, std::size_t needed) {
  CheckBounds<char>(platform::WideToMultiByte, codePage, text, needed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);

  // ANSI: every byte is one unit and comes back as itself.
  std::u16string ansi;
  ToWide(bytes.data(), bytes.size(), platform::kAnsiCodePage, ansi);
  Check(ansi.size() == bytes.size());
  Check(ToNarrowAlloc(ansi, platform::kAnsiCodePage) == bytes);
  CheckNarrowToWideBounds(platform::kAnsiCodePage, bytes, ansi.size());

  // UTF-8: valid text comes back as itself; anything else holds a U+FFFD.
  std::u16string utf8;
  ToWide(bytes.data(), bytes.size(), platform::kUtf8CodePage, utf8);
  Check(utf8.size() <= bytes.size());
  bool strict = IsStrictUtf8(bytes);
  Check((ToNarrowAlloc(utf8, platform::kUtf8CodePage) == bytes) == strict);
  if (!strict)
    Check(utf8.find(u'\uFFFD') != std::u16string::npos);
  CheckNarrowToWideBounds(platform::kUtf8CodePage, bytes, utf8.size());

  // The same bytes as UTF-16 units.
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  std::string asUtf8 = ToNarrowAlloc(units, platform::kUtf8CodePage);
  Check(asUtf8.size() <= platform::MaxNarrowBytes(units.size()));
  CheckWideToNarrowBounds(platform::kUtf8CodePage, units, asUtf8.size());
  std::u16string back;
  ToWide(asUtf8.data(), asUtf8.size(), platform::kUtf8CodePage, back);
  Check((back == units) == !HasLoneSurrogate(units));
  Check(IsStrictUtf8(asUtf8));
  std::string asAnsi = ToNarrowAlloc(units, platform::kAnsiCodePage);
  Check(asAnsi.size() == units.size());
  CheckWideToNarrowBounds(platform::kAnsiCodePage, units, asAnsi.size());
  // Best fit settles at once: what it gives converts back and forth unchanged.
  std::u16string fitted;
  ToWide(asAnsi.data(), asAnsi.size(), platform::kAnsiCodePage, fitted);
  Check(ToNarrowAlloc(fitted, platform::kAnsiCodePage) == asAnsi);

  // The classifier gives the same answer for the bytes whole and cut in two.
  std::string terminated = bytes.substr(0, bytes.find('\0'));
  int whole = ClassifyUtf8(terminated.c_str());
  Utf8Classifier pieces;
  std::size_t cut = size == 0 ? 0 : data[0] % (terminated.size() + 1);
  pieces.Feed(terminated.data(), cut);
  pieces.Feed(terminated.data() + cut, terminated.size() - cut);
  Check(!pieces.SawZeroByte() && pieces.Result() == whole);
  // Strict UTF-8 is UTF-8 to the looser classifier too.
  if (IsStrictUtf8(terminated))
    Check(whole != 0);

  std::size_t end = FindLineFeedOrZero(bytes.data(), bytes.size());
  Check(end == std::min({bytes.find('\n'), bytes.find('\0'), bytes.size()}));

  // The raw conversions write into exactly the room they are promised.
  for (unsigned codePage : {platform::kAnsiCodePage, platform::kUtf8CodePage}) {
    auto wide = std::make_unique<char16_t[]>(size);
    std::size_t produced = ToWide(bytes.data(), size, codePage, wide.get());
    Check(std::u16string(wide.get(), produced) ==
          (codePage == platform::kUtf8CodePage ? utf8 : ansi));
    auto narrow = std::make_unique<char[]>(MaxNarrowBytes(produced));
    std::size_t n = ToNarrow(std::u16string_view(wide.get(), produced), codePage, narrow.get());
    Check(n <= MaxNarrowBytes(produced));
  }

  int flags = platform::kUnicodeTestMask;
  platform::IsTextUnicode(data, size, &flags);
  Check((flags & ~platform::kUnicodeTestMask) == 0);

  // The checksum reads exactly the words it is given, from a buffer that ends there.
  auto words = std::make_unique<std::uint8_t[]>(size & ~std::size_t{1});
  std::memcpy(words.get(), data, size & ~std::size_t{1});
  Check(ChecksumWordsUnbounded(words.get(), size / 2, static_cast<std::uint32_t>(size)) != 0);
  return 0;
}
