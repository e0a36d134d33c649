#pragma once
// Jet's reserved words: a bare name that is one of these is never taken as a
// table, column or alias name (brackets make any of them a name).

#include <string_view>

namespace mivotra::jet::sql {

bool IsReserved(std::string_view word);

}  // namespace mivotra::jet::sql
