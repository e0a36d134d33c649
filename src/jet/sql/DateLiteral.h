#pragma once
// Jet's date literals, the inside of #...#.

#include <optional>
#include <string>
#include <string_view>

namespace mivotra::jet {

// The storage text of a date literal's inside, year first ("2009/11/04",
// "2009/06/01 10:00:00", "2009/06/01 10:00"), or nullopt when it is no valid
// date in that form.
std::optional<std::string> ParseDateLiteral(std::string_view text);

}  // namespace mivotra::jet
