#include <array>
#include <string>
#include <utility>

#include "jet/JetErrors.h"
#include "jet/sql/Keywords.h"
#include "jet/sql/SqlText.h"
#include "jet/sql/SyntaxError.h"
#include "jet/sql/Translator.h"

namespace mivotra::jet::sql {
namespace {

constexpr int kMaxNesting = 200;
constexpr std::string_view kNowSql = "strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime')";
constexpr std::string_view kDateSql = "strftime('%Y-%m-%d 00:00:00', 'now', 'localtime')";
constexpr std::string_view kTimeSql = "strftime('1899-12-30 %H:%M:%S', 'now', 'localtime')";

}  // namespace

Translator::Nesting::Nesting(Translator& translator) : m_translator(translator) {
  if (++m_translator.m_depth > kMaxNesting) {
    SyntaxError("Query is too complex: its expressions nest more than " +
                std::to_string(kMaxNesting) + " levels deep.");
  }
}

std::string Translator::Condition() {
  return Expression().sql;
}

// A CHECK's condition in parentheses, as it is kept in the schema.
std::string Translator::SchemaCondition() {
  ExpectSymbol("(");
  m_schemaExpression = true;
  const std::string condition = Condition();
  m_schemaExpression = false;
  ExpectSymbol(")");
  return condition;
}

Expr Translator::Expression() {
  const Nesting nesting(*this);
  return OrExpr();
}

Expr Translator::OrExpr() {
  Expr left = AndExpr();
  while (IsWord("OR") || IsWord("XOR") || IsWord("EQV") || IsWord("IMP")) {
    if (!IsWord("OR")) Fail("The operator " + Upper(Peek().text) + " is not supported.");
    Next();
    const Expr right = AndExpr();
    left = Expr{"(" + left.sql + " OR " + right.sql + ")", true};
  }
  return left;
}

Expr Translator::AndExpr() {
  Expr left = NotExpr();
  while (AcceptWord("AND")) {
    const Expr right = NotExpr();
    left = Expr{"(" + left.sql + " AND " + right.sql + ")", true};
  }
  return left;
}

Expr Translator::NotExpr() {
  const Nesting nesting(*this);
  if (AcceptWord("NOT")) {
    const Expr operand = NotExpr();
    return Expr{"(NOT " + operand.sql + ")", true};
  }
  return Comparison();
}

Expr Translator::Comparison() {
  Expr left = Concatenation();
  for (;;) {
    const Token& token = Peek();
    if (token.type == TokenType::Symbol &&
        (token.text == "=" || token.text == "<>" || token.text == "<" || token.text == ">" ||
         token.text == "<=" || token.text == ">=")) {
      const std::string op = Next().text;
      const Expr right = Concatenation();
      left = Expr{"(" + Value(left) + " " + op + " " + Value(right) + ")", true};
      continue;
    }
    if (IsWord("IS")) {
      Next();
      const bool negated = AcceptWord("NOT");
      ExpectWord("NULL");
      left = Expr{"(" + Value(left) + (negated ? " IS NOT NULL)" : " IS NULL)"), true};
      continue;
    }
    const bool negated =
        IsWord("NOT") && (IsWord("LIKE", 1) || IsWord("BETWEEN", 1) || IsWord("IN", 1));
    if (negated) Next();
    const std::string notText = negated ? " NOT" : "";
    if (AcceptWord("LIKE")) {
      const Expr pattern = Concatenation();
      if (pattern.text && pattern.sql.find('[') != std::string::npos) {
        Fail("LIKE patterns with [character lists] are not supported.");
      }
      left = Expr{"(" + Value(left) + notText + " LIKE " + Value(pattern) + ")", true};
    } else if (AcceptWord("BETWEEN")) {
      const Expr low = Concatenation();
      ExpectWord("AND");
      const Expr high = Concatenation();
      left =
          Expr{"(" + Value(left) + notText + " BETWEEN " + Value(low) + " AND " + Value(high) + ")",
               true};
    } else if (AcceptWord("IN")) {
      ExpectSymbol("(");
      std::string list;
      if (AcceptWord("SELECT")) {
        list = Select(false, nullptr);
      } else {
        do {
          if (!list.empty()) list += ", ";
          list += Value(Expression());
        } while (AcceptSymbol(","));
      }
      ExpectSymbol(")");
      left = Expr{"(" + Value(left) + notText + " IN (" + list + "))", true};
    } else {
      return left;
    }
  }
}

Expr Translator::Concatenation() {
  Expr left = Additive();
  while (AcceptSymbol("&")) {
    const Expr right = Additive();
    // Jet's & reads Null as an empty text unless both sides are Null. The
    // schema keeps plain SQL, so other SQLite tools can still write the table.
    if (m_schemaExpression) {
      const std::string a = Value(left);
      const std::string b = Value(right);
      left = Expr{"(CASE WHEN " + a + " IS NULL AND " + b + " IS NULL THEN NULL ELSE ifnull(" + a +
                  ", '') || ifnull(" + b + ", '') END)"};
    } else {
      left = Expr{"jet_concat(" + Value(left) + ", " + Value(right) + ")"};
    }
    left.text = true;
  }
  return left;
}

Expr Translator::Additive() {
  Expr left = ModTerm();
  for (;;) {
    if (IsSymbol("+")) {
      Next();
      const Expr right = ModTerm();
      // + joins texts in Jet; where a side is known to be text, say so to SQLite.
      const bool joinTexts = left.text || right.text;
      left = Expr{"(" + Value(left) + (joinTexts ? " || " : " + ") + Value(right) + ")"};
      left.text = joinTexts;
    } else if (IsSymbol("-")) {
      Next();
      const Expr right = ModTerm();
      left = Expr{"(" + Value(left) + " - " + Value(right) + ")"};
    } else {
      return left;
    }
  }
}

Expr Translator::ModTerm() {
  Expr left = Term();
  while (AcceptWord("MOD")) {
    const Expr right = Term();
    // Jet rounds both sides to whole numbers first.
    left = Expr{"(CAST(round(" + Value(left) + ") AS INTEGER) % CAST(round(" + Value(right) +
                ") AS INTEGER))"};
  }
  return left;
}

Expr Translator::Term() {
  Expr left = Unary();
  for (;;) {
    if (IsSymbol("*")) {
      Next();
      const Expr right = Unary();
      left = Expr{"(" + Value(left) + " * " + Value(right) + ")"};
    } else if (IsSymbol("/")) {
      Next();
      const Expr right = Unary();
      // Jet's / always divides as floating point: 7 / 2 is 3.5.
      left = Expr{"(CAST(" + Value(left) + " AS REAL) / " + Value(right) + ")"};
    } else if (IsSymbol("\\") || IsSymbol("^")) {
      Fail("The operator '" + Peek().text + "' is not supported.");
    } else {
      return left;
    }
  }
}

Expr Translator::Unary() {
  const Nesting nesting(*this);
  if (AcceptSymbol("-")) return Expr{"(- " + Value(Unary()) + ")"};
  if (AcceptSymbol("+")) return Expr{"(+ " + Value(Unary()) + ")"};
  return Primary();
}

Expr Translator::Primary() {
  const Token& token = Peek();
  switch (token.type) {
    case TokenType::Number: {
      std::string number = Next().text;
      if (number.front() == '.') number.insert(0, "0");
      if (number.back() == '.') number += '0';
      return Expr{number};
    }
    case TokenType::String: {
      Expr e{QuoteText(Next().text)};
      e.text = true;
      return e;
    }
    case TokenType::Date: {
      Expr e{QuoteText(Next().text)};
      e.hint = ColumnHint::Date;
      return e;
    }
    case TokenType::Symbol:
      if (token.text == "?") {
        ThrowEngine(DB_E_ParamNotOptional,
                    "No value given for one or more required parameters: the statement has a "
                    "parameter marker '?' at character " +
                        std::to_string(token.offset + 1) + ".");
      }
      if (token.text == "(") {
        Next();
        if (AcceptWord("SELECT")) {
          Expr e{"(" + Select(false, nullptr) + ")"};
          ExpectSymbol(")");
          return e;
        }
        Expr inner = Expression();
        ExpectSymbol(")");
        inner.sql = "(" + inner.sql + ")";
        inner.column = false;
        return inner;
      }
      Fail();
    case TokenType::Name:
      if (IsWord("NULL")) {
        Next();
        return Expr{"NULL"};
      }
      if (IsWord("TRUE")) {
        Next();
        return Expr{"-1"};
      }
      if (IsWord("FALSE")) {
        Next();
        return Expr{"0"};
      }
      if (IsWord("EXISTS")) {
        Next();
        ExpectSymbol("(");
        ExpectWord("SELECT");
        Expr e{"(EXISTS (" + Select(false, nullptr) + "))", true};
        ExpectSymbol(")");
        return e;
      }
      if (IsSymbol("(", 1)) return Function();
      if (IsReserved(token.text)) Fail("Expected an expression.");
      [[fallthrough]];
    case TokenType::BracketName: {
      const std::string first = ReadName();
      Expr e{QuoteName(first)};
      if (IsSymbol(".") && !IsSymbol("*", 1)) {
        Next();
        e.sql += "." + QuoteName(ReadName());
      }
      e.column = true;
      return e;
    }
    case TokenType::End:
      break;
  }
  Fail("Expected an expression.");
}

std::vector<Expr> Translator::Arguments(std::size_t minCount, std::size_t maxCount,
                                        const std::string& name) {
  std::vector<Expr> args;
  ExpectSymbol("(");
  if (!IsSymbol(")")) {
    do {
      args.push_back(Expression());
    } while (AcceptSymbol(","));
  }
  ExpectSymbol(")");
  if (args.size() < minCount || args.size() > maxCount) {
    SyntaxError("Wrong number of arguments used with function '" + name + "' in query expression.");
  }
  return args;
}

Expr Translator::Function() {
  const Token& nameToken = Next();
  const std::string name = nameToken.text;
  const std::string upper = Upper(name);
  auto call = [&](std::string_view sqlName, std::size_t minCount, std::size_t maxCount) {
    const auto args = Arguments(minCount, maxCount, name);
    std::string sql = std::string(sqlName) + "(";
    for (std::size_t i = 0; i < args.size(); ++i) sql += (i ? ", " : "") + Value(args[i]);
    return Expr{sql + ")"};
  };
  if (upper == "COUNT") {
    ExpectSymbol("(");
    if (IsWord("DISTINCT")) Fail("Jet has no COUNT(DISTINCT ...).");
    std::string sql;
    if (AcceptSymbol("*")) {
      sql = "count(*)";
    } else {
      sql = "count(" + Value(Expression()) + ")";
    }
    ExpectSymbol(")");
    return Expr{sql};
  }
  if (upper == "SUM" || upper == "AVG" || upper == "MIN" || upper == "MAX") {
    ExpectSymbol("(");
    if (IsWord("DISTINCT")) Fail("Aggregate functions take no DISTINCT in Jet.");
    Back();  // back to "(" so Arguments reads the list
    const auto args = Arguments(1, 1, name);
    Expr e{FoldCase(upper) + "(" + Value(args[0]) + ")"};
    if (upper == "MIN" || upper == "MAX") {
      e.hint = args[0].hint == ColumnHint::Date ? ColumnHint::Date : ColumnHint::MinMaxOf;
    }
    return e;
  }
  if (upper == "NOW" || upper == "DATE" || upper == "TIME") {
    Arguments(0, 0, name);
    m_rowLocal = false;
    Expr e{std::string(upper == "NOW" ? kNowSql : upper == "DATE" ? kDateSql : kTimeSql)};
    e.hint = ColumnHint::Date;
    return e;
  }
  if (upper == "UCASE") return call("upper", 1, 1);
  if (upper == "LCASE") return call("lower", 1, 1);
  if (upper == "LEN") return call("length", 1, 1);
  if (upper == "TRIM") return call("trim", 1, 1);
  if (upper == "LTRIM") return call("ltrim", 1, 1);
  if (upper == "RTRIM") return call("rtrim", 1, 1);
  if (upper == "ABS") return call("abs", 1, 1);
  if (upper == "MID") return call("substr", 2, 3);
  if (upper == "INSTR") return call("instr", 2, 2);
  if (upper == "LEFT") {
    const auto args = Arguments(2, 2, name);
    return Expr{"substr(" + Value(args[0]) + ", 1, " + Value(args[1]) + ")"};
  }
  if (upper == "RIGHT") {
    const auto args = Arguments(2, 2, name);
    const std::string text = Value(args[0]);
    return Expr{"substr(" + text + ", max(length(" + text + ") - (" + Value(args[1]) +
                ") + 1, 1))"};
  }
  if (upper == "IIF") {
    const auto args = Arguments(3, 3, name);
    return Expr{"(CASE WHEN " + args[0].sql + " THEN " + Value(args[1]) + " ELSE " +
                Value(args[2]) + " END)"};
  }
  if (upper == "ISNULL") {
    const auto args = Arguments(1, 1, name);
    return Expr{"(" + Value(args[0]) + " IS NULL)", true};
  }
  if (upper == "CSTR") {
    const auto args = Arguments(1, 1, name);
    Expr e{"CAST(" + Value(args[0]) + " AS TEXT)"};
    e.text = true;
    return e;
  }
  if (upper == "CDBL") {
    const auto args = Arguments(1, 1, name);
    return Expr{"CAST(" + Value(args[0]) + " AS REAL)"};
  }
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kDateParts = {{
      {"YEAR", "%Y"},
      {"MONTH", "%m"},
      {"DAY", "%d"},
      {"HOUR", "%H"},
      {"MINUTE", "%M"},
      {"SECOND", "%S"},
  }};
  for (const auto& [function, format] : kDateParts) {
    if (upper == function) {
      const auto args = Arguments(1, 1, name);
      return Expr{"CAST(strftime('" + std::string(format) + "', " + Value(args[0]) +
                  ") AS INTEGER)"};
    }
  }
  SyntaxError("Undefined function '" + name + "' in expression (character " +
              std::to_string(nameToken.offset + 1) + ").");
}

}  // namespace mivotra::jet::sql
