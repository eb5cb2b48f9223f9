// TavString: a growable wide string that owns its heap buffer and checks its
// own consistency on every operation. Failed checks end the process through
// AssertFailed.
#pragma once

#include <cstddef>

#include "corekit/TavAssert.h"

class TavString {
 public:
  TavString();
  ~TavString();  // not virtual: nothing derives from it to be deleted as a TavString
  TavString(const TavString&) = delete;
  TavString& operator=(const TavString&) = delete;

  // The invariant: a buffer exactly when the extent is not 0, room in it for
  // the text and its terminator, and the terminator in place.
  virtual bool IsA() const;

  // Defined here, so that its check reports this header.
  bool IsEmpty() const {
    TAV_ASSERT(IsA());
    return m_nLength == 0;
  }

  void Empty();
  TavString& Assign(const char16_t* pszStr);
  // Appends cchLen units of pszStr; a negative cchLen takes the whole text, 0
  // nothing. pszStr may lie inside this string's own buffer.
  void Append(const char16_t* pszStr, int cchLen = -1);
  // Whether the buffer holds the text, nUnits more and the terminator.
  bool HasRoom(int nUnits) const;
  // Grows the buffer by exactly nUnits (and the terminator's unit if it had none).
  void Extend(int nUnits);
  static int UnitsToBytes(int nUnits);

 protected:
  int m_nExtent;        // size of the buffer in bytes; 0 when there is none
  int m_nLength;        // length of the text in units
  char16_t* m_pszData;  // the heap buffer, or null

 private:
  static std::size_t _tcslen(const char16_t* pszStr);
};
