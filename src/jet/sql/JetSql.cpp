#include "jet/sql/JetSql.h"

#include <array>
#include <utility>

#include "jet/sql/Characters.h"
#include "jet/sql/SyntaxError.h"
#include "jet/sql/Translator.h"

namespace mivotra::jet {

using sql::IsSpace;
using sql::SyntaxError;

Statement Translate(std::string_view jetSql) {
  // Jet's own limit on a statement's length; it also bounds the translator's
  // work on pathological input.
  constexpr std::size_t kMaxStatementLength = 64000;
  if (jetSql.size() > kMaxStatementLength)
    SyntaxError("The SQL statement is too long: Jet accepts at most " +
                std::to_string(kMaxStatementLength) + " characters.");
  return sql::Translator(jetSql).Run();
}

std::vector<std::string> RequiredTriggers(std::string_view index, std::string_view table,
                                          const std::vector<std::string>& columns) {
  std::string nullTest;
  std::string columnList;
  for (const auto& column : columns) {
    nullTest +=
        (nullTest.empty() ? "" : " OR ") + std::string("NEW.") + QuoteName(column) + " IS NULL";
    columnList += (columnList.empty() ? "" : ", ") + QuoteName(column);
  }
  const std::string raise = " BEGIN SELECT RAISE(ABORT, " +
                            QuoteText(std::string(kRequiredMessage) + std::string(index)) +
                            "); END";
  const std::string name = std::string(index) + std::string(kRequiredTrigger);
  return {
      "CREATE TRIGGER " + QuoteName(name + "_insert") + " BEFORE INSERT ON " + QuoteName(table) +
          " FOR EACH ROW WHEN " + nullTest + raise,
      "CREATE TRIGGER " + QuoteName(name + "_update") + " BEFORE UPDATE OF " + columnList + " ON " +
          QuoteName(table) + " FOR EACH ROW WHEN " + nullTest + raise,
  };
}

VARTYPE VariantTypeOfDeclaredType(std::string_view declaredType) {
  std::string type = Upper(declaredType.substr(0, declaredType.find('(')));
  while (!type.empty() && IsSpace(static_cast<unsigned char>(type.back()))) type.pop_back();
  static constexpr std::array<std::pair<std::string_view, VARTYPE>, 44> kTypes = {{
      {"INTEGER", VT_I4},      {"INT", VT_I4},
      {"LONG", VT_I4},         {"INTEGER4", VT_I4},
      {"COUNTER", VT_I4},      {"AUTOINCREMENT", VT_I4},
      {"SMALLINT", VT_I2},     {"SHORT", VT_I2},
      {"INTEGER2", VT_I2},     {"TINYINT", VT_UI1},
      {"BYTE", VT_UI1},        {"INTEGER1", VT_UI1},
      {"REAL", VT_R4},         {"SINGLE", VT_R4},
      {"FLOAT4", VT_R4},       {"DOUBLE", VT_R8},
      {"FLOAT", VT_R8},        {"FLOAT8", VT_R8},
      {"NUMBER", VT_R8},       {"CURRENCY", VT_CY},
      {"MONEY", VT_CY},        {"DATETIME", VT_DATE},
      {"DATE", VT_DATE},       {"TIME", VT_DATE},
      {"TIMESTAMP", VT_DATE},  {"VARCHAR", VT_BSTR},
      {"CHAR", VT_BSTR},       {"CHARACTER", VT_BSTR},
      {"TEXT", VT_BSTR},       {"LONGTEXT", VT_BSTR},
      {"MEMO", VT_BSTR},       {"NOTE", VT_BSTR},
      {"NVARCHAR", VT_BSTR},   {"NCHAR", VT_BSTR},
      {"BIT", VT_BOOL},        {"YESNO", VT_BOOL},
      {"BOOLEAN", VT_BOOL},    {"LOGICAL", VT_BOOL},
      {"LOGICAL1", VT_BOOL},   {"DECIMAL", VT_DECIMAL},
      {"NUMERIC", VT_DECIMAL}, {"DEC", VT_DECIMAL},
      {"LONGCHAR", VT_BSTR},   {"ALPHANUMERIC", VT_BSTR},
  }};
  for (const auto& [name, vt] : kTypes) {
    if (type == name) return vt;
  }
  return VT_EMPTY;
}

}  // namespace mivotra::jet
