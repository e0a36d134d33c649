#pragma once
// The character classes of Jet SQL, on bytes: every multibyte UTF-8 byte
// counts as a letter of a name.

#include <algorithm>
#include <string_view>

namespace mivotra::jet::sql {

inline bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
inline bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
inline bool IsLetter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
// Bytes of multibyte characters belong to names: Jet accepts Japanese field names unbracketed.
inline bool IsNameStart(unsigned char c) {
  return IsLetter(c) || c == '_' || c >= 0x80;
}
inline bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || IsDigit(c);
}
inline bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return IsDigit(static_cast<unsigned char>(c));
  });
}

}  // namespace mivotra::jet::sql
