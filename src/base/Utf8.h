#pragma once
// UTF-8 checks for texts that reach the user: stored values may hold any
// bytes, and a report must never show a broken character.

#include <cstddef>
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

// The longest prefix of at most maxBytes bytes that ends on a character
// boundary (the text is assumed well-formed).
std::size_t CutPoint(std::string_view text, std::size_t maxBytes);

}  // namespace mivotra::utf8
