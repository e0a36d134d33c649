#pragma once
// The names the engine's objects give as the source of their errors.

#include <string_view>

namespace mivotra::jet {

inline constexpr std::string_view kEngineSource = "Mivotra Jet engine";
inline constexpr std::string_view kConnectionSource = "Mivotra ADODB.Connection";
inline constexpr std::string_view kRecordsetSource = "Mivotra ADODB.Recordset";

}  // namespace mivotra::jet
