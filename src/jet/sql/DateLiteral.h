#pragma once
// Jet's date literals, the inside of #...#.

#include <optional>
#include <string>
#include <string_view>

namespace mivotra::jet {

// The storage text of a date literal's inside ("2009/11/04", "11/04/2009 13:45",
// "2009-11-04 1:30 PM", "13:45"), or nullopt when it is no valid date.
std::optional<std::string> ParseDateLiteral(std::string_view text);

}  // namespace mivotra::jet
