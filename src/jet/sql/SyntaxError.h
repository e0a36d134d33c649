#pragma once
// How the front end says a statement is not Jet SQL it accepts.

#include <cstddef>
#include <string>
#include <string_view>

namespace mivotra::jet::sql {

// A short piece of the statement for a message, never cutting a character in half.
std::string Excerpt(std::string_view sql, std::size_t offset);

// Throws ComError DB_E_Syntax with this description.
[[noreturn]] void SyntaxError(std::string description);

}  // namespace mivotra::jet::sql
