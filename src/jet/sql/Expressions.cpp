// Conditions and the values of a statement: literals, columns, Now() and Max().

#include <string>

#include "base/Translate.h"
#include "jet/sql/SqlText.h"
#include "jet/sql/SyntaxError.h"
#include "jet/sql/Translator.h"

namespace mivotra::jet::sql {
namespace {

constexpr std::string_view kNowSql = "strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime')";

}  // namespace

std::string Translator::Condition() {
  Expr left = Comparison();
  while (AcceptWord("AND")) {
    const Expr right = Comparison();
    left = Expr{"(" + left.sql + " AND " + right.sql + ")"};
  }
  return left.sql;
}

Expr Translator::Comparison() {
  const Expr left = Operand();
  const Token& token = Peek();
  if (token.type == TokenType::Symbol &&
      (token.text == "=" || token.text == "<>" || token.text == "<" || token.text == ">" ||
       token.text == "<=" || token.text == ">=")) {
    const std::string op = Next().text;
    const Expr right = Operand();
    return Expr{"(" + left.sql + " " + op + " " + right.sql + ")"};
  }
  Fail(Tr("engine", "Expected a comparison."));
}

Expr Translator::Operand() {
  const Token& token = Peek();
  switch (token.type) {
    case TokenType::Number:
      return Expr{Next().text};
    case TokenType::String:
      return Expr{QuoteText(Next().text)};
    case TokenType::Date:
      return Expr{QuoteText(Next().text)};
    case TokenType::Name:
      if (AcceptWord("NULL")) return Expr{"NULL"};
      if (IsSymbol("(", 1)) return Function();
      if (AtName()) {
        const std::string column = ReadName();
        m_statement.names.push_back({m_reading, column});
        return Expr{QuoteName(column), true};
      }
      break;
    default:
      break;
  }
  Fail(Tr("engine", "Expected an expression."));
}

Expr Translator::Function() {
  const Token& nameToken = Next();
  const std::string name = nameToken.text;
  const std::string upper = Upper(name);
  ExpectSymbol("(");
  if (upper == "NOW") {
    ExpectSymbol(")");
    m_rowLocal = false;
    return Expr{std::string(kNowSql)};
  }
  if (upper == "MAX") {
    const Expr argument = Operand();
    ExpectSymbol(")");
    return Expr{"max(" + argument.sql + ")"};
  }
  SyntaxError(Format(Tr("engine", "Undefined function '%1' in expression (character %2)."),
                     {name, std::to_string(nameToken.offset + 1)}));
}

}  // namespace mivotra::jet::sql
