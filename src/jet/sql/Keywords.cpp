#include "jet/sql/Keywords.h"

#include <algorithm>
#include <array>
#include <string>

#include "jet/sql/SqlText.h"

namespace mivotra::jet::sql {
namespace {

constexpr std::array<std::string_view, 56> kReserved = {
    "ALL",         "ALTER",      "AND",       "AS",         "ASC",    "BETWEEN", "BY",
    "CHECK",       "CONSTRAINT", "CREATE",    "DEFAULT",    "DELETE", "DESC",    "DISTINCT",
    "DISTINCTROW", "DROP",       "EQV",       "EXISTS",     "FALSE",  "FOREIGN", "FROM",
    "GROUP",       "HAVING",     "IMP",       "IN",         "INDEX",  "INNER",   "INSERT",
    "INTO",        "IS",         "JOIN",      "KEY",        "LEFT",   "LIKE",    "MOD",
    "NOT",         "NULL",       "ON",        "OR",         "ORDER",  "OUTER",   "PARAMETERS",
    "PIVOT",       "PRIMARY",    "PROCEDURE", "REFERENCES", "RIGHT",  "SELECT",  "SET",
    "TABLE",       "TOP",        "TRANSFORM", "TRUE",       "UNION",  "UNIQUE",  "UPDATE",
};
constexpr std::array<std::string_view, 4> kMoreReserved = {"VALUES", "WHERE", "WITH", "XOR"};

}  // namespace

bool IsReserved(std::string_view word) {
  const std::string upper = Upper(word);
  return std::find(kReserved.begin(), kReserved.end(), upper) != kReserved.end() ||
         std::find(kMoreReserved.begin(), kMoreReserved.end(), upper) != kMoreReserved.end();
}

}  // namespace mivotra::jet::sql
