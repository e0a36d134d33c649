#include "jet/sql/JetSql.h"

#include <array>
#include <utility>

#include "jet/sql/Translator.h"

namespace mivotra::jet {

Statement Translate(std::string_view jetSql) {
  return sql::Translator(jetSql).Run();
}

VARTYPE VariantTypeOfDeclaredType(std::string_view declaredType) {
  const std::string type = Upper(declaredType.substr(0, declaredType.find('(')));
  static constexpr std::array<std::pair<std::string_view, VARTYPE>, 6> kTypes = {{
      {"INTEGER", VT_I4},
      {"INT", VT_I4},
      {"DOUBLE", VT_R8},
      {"DATETIME", VT_DATE},
      {"VARCHAR", VT_BSTR},
      {"TEXT", VT_BSTR},
  }};
  for (const auto& [name, vt] : kTypes) {
    if (type == name) return vt;
  }
  return VT_EMPTY;
}

}  // namespace mivotra::jet
