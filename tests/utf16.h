// UTF-16 text as the bytes of a file, for building test inputs.
#pragma once

#include <string>
#include <string_view>

inline std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t u : text) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

inline std::string Utf16Be(std::u16string_view text) {
  std::string out;
  for (char16_t u : text) {
    out.push_back(static_cast<char>(u >> 8));
    out.push_back(static_cast<char>(u & 0xFF));
  }
  return out;
}
