#include "jet/sql/SyntaxError.h"

#include <algorithm>
#include <utility>

#include "base/Utf8.h"
#include "jet/JetErrors.h"

namespace mivotra::jet::sql {

std::string Excerpt(std::string_view sql, std::size_t offset) {
  constexpr std::size_t kMaxBytes = 40;
  std::string_view rest = sql.substr(std::min(offset, sql.size()));
  if (rest.size() <= kMaxBytes) return std::string(rest);
  return std::string(rest.substr(0, utf8::CutPoint(rest, kMaxBytes))) + "...";
}

void SyntaxError(std::string description) {
  ThrowEngine(DB_E_Syntax, std::move(description));
}

}  // namespace mivotra::jet::sql
