#include "corekit/TavString.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>

// The checks are reported with their text as written here: keep them as they
// are rather than as the formatter would lay them out.
// clang-format off

static_assert(std::is_polymorphic_v<TavString> && !std::has_virtual_destructor_v<TavString>);
static_assert(sizeof(TavString) == sizeof(void*) + 2 * sizeof(int) + sizeof(char16_t*),
              "the table pointer and the three fields, nothing else");

namespace {

// The most units any buffer can hold, with its extent in an int.
constexpr int kMaxUnits = INT_MAX / 2 - 1;

// The length of pszStr, looking at no more than cchMax units.
int LengthUpTo(const char16_t* pszStr, int cchMax) {
  int n = 0;
  while (n < cchMax && pszStr[n] != 0)
    ++n;
  return n;
}

}  // namespace

TavString::TavString() : m_nExtent(0), m_nLength(0), m_pszData(nullptr) {
  Assign(u"");
  TAV_ASSERT(IsEmpty());
}

TavString::~TavString() {
  TAV_ASSERT(IsA());
  std::free(m_pszData);
}

bool TavString::IsA() const {
  if (m_nExtent < 0 || m_nLength < 0)
    return false;
  if ((m_nExtent == 0) != (m_pszData == nullptr))
    return false;
  if ((m_nExtent != 0 || m_nLength != 0) &&
      (m_nLength > kMaxUnits || m_nExtent < UnitsToBytes(m_nLength + 1))) {
    return false;
  }
  return m_pszData == nullptr || m_pszData[m_nLength] == 0;
}

void TavString::Empty() {
  TAV_ASSERT(IsA());
  m_nLength = 0;
  if (m_pszData != nullptr)
    m_pszData[0] = 0;
  TAV_ASSERT(IsEmpty());
}

TavString& TavString::Assign(const char16_t* pszStr) {
  TAV_ASSERT(IsA());
  Empty();
  Append(pszStr, -1);
  TAV_ASSERT(IsA());
  return *this;
}

void TavString::Append(const char16_t* pszStr, int cchLen) {
  TAV_ASSERT(IsA());
  if (pszStr != nullptr && cchLen > 0 && LengthUpTo(pszStr, cchLen) < cchLen) {
    TAV_ASSERT(cchLen<=0 || cchLen<=(int) _tcslen(pszStr));
  }
  if (pszStr == nullptr)
    return;
  if (cchLen < 0)
    cchLen = static_cast<int>(std::min<std::size_t>(_tcslen(pszStr), INT_MAX));
  // Growing may move the buffer: a text from inside it is found again by its place.
  std::ptrdiff_t nInside = -1;
  if (m_pszData != nullptr && std::less_equal<>()(m_pszData, pszStr) &&
      std::less<>()(pszStr, m_pszData + m_nExtent / 2)) {
    nInside = pszStr - m_pszData;
  }
  if (!HasRoom(cchLen))
    Extend(cchLen);
  if (nInside >= 0)
    pszStr = m_pszData + nInside;
  std::memmove(m_pszData + m_nLength, pszStr, UnitsToBytes(cchLen));
  m_nLength += cchLen;
  m_pszData[m_nLength] = 0;
  TAV_ASSERT(IsA());
}

bool TavString::HasRoom(int nUnits) const {
  TAV_ASSERT(IsA());
  TAV_ASSERT(nUnits>=0);
  if (nUnits > kMaxUnits - m_nLength)
    return false;  // no buffer could hold it
  return m_nExtent >= UnitsToBytes(m_nLength + nUnits + 1);
}

void TavString::Extend(int nUnits) {
  TAV_ASSERT(IsA());
  TAV_ASSERT(nUnits>=0);
  // A size past what an int holds is refused like a resize that fails: the
  // buffer must never be written through a null or short pointer.
  bool bFits = nUnits <= kMaxUnits - m_nExtent / 2;
  int _nBytes = bFits ? UnitsToBytes(nUnits) : 0;
  if (m_nExtent == 0)
    _nBytes += UnitsToBytes(1);
  void* pvGrown =
      bFits ? std::realloc(m_pszData, static_cast<std::size_t>(m_nExtent) + _nBytes) : nullptr;
  TAV_ASSERT(pvGrown!=nullptr);
  m_nExtent += _nBytes;
  m_pszData = static_cast<char16_t*>(pvGrown);
  m_pszData[m_nLength] = 0;
  TAV_ASSERT(m_nExtent>=_nBytes);
  TAV_ASSERT(IsA());
}

int TavString::UnitsToBytes(int nUnits) {
  TAV_ASSERT(nUnits>=0);
  return static_cast<int>(static_cast<unsigned>(nUnits) * 2u);
}

std::size_t TavString::_tcslen(const char16_t* pszStr) {
  return std::char_traits<char16_t>::length(pszStr);
}

// clang-format on
