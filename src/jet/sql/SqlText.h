#pragma once
// Names and texts as SQLite reads them, and Jet's case rules for names.

#include <string>
#include <string_view>
#include <vector>

namespace mivotra::jet {

// A name as a quoted SQLite identifier (`name`).
std::string QuoteName(std::string_view name);
// A text as an SQLite string literal.
std::string QuoteText(std::string_view text);
// The names quoted and joined with ", ".
std::string JoinQuoted(const std::vector<std::string>& names);

// ASCII case folding, as Jet compares names.
std::string FoldCase(std::string_view text);
std::string Upper(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace mivotra::jet
