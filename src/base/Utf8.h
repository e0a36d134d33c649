#pragma once
// UTF-8 checks for texts that reach the user: stored values may hold any
// bytes, and a report must never show a broken character.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mivotra::utf8 {

// True when the text is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool IsValid(std::string_view text);

// The text with each ill-formed sequence replaced by U+FFFD, one per maximal
// ill-formed part (the WHATWG decoder's rule), so the count of replacement
// characters does not depend on who decodes it.
std::string Repair(std::string_view text);

// The code point of the well-formed sequence at text[pos] and its length in
// bytes; nullopt when the bytes there are ill-formed (or pos is at the end).
struct Decoded {
  char32_t code = 0;
  std::size_t length = 0;
};
std::optional<Decoded> DecodeAt(std::string_view text, std::size_t pos);

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void AppendCodePoint(std::string& out, char32_t code);

// Characters in a well-formed text (bytes that begin a sequence).
std::size_t CountCodePoints(std::string_view text);

// The longest prefix of at most maxBytes bytes that ends on a character
// boundary (the text is assumed well-formed).
std::size_t CutPoint(std::string_view text, std::size_t maxBytes);

}  // namespace mivotra::utf8
