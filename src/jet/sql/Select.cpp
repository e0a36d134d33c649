#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jet/sql/SqlText.h"
#include "jet/sql/SyntaxError.h"
#include "jet/sql/Translator.h"

namespace mivotra::jet::sql {

// After the word SELECT. `outer` is the statement's own SELECT, whose
// columns the caller reads; `statement` receives its hints and TOP.
std::string Translator::Select(bool outer, SelectStatement* statement) {
  m_rowLocal = false;
  const std::string savedContext = Context();
  std::string out = SelectCore(outer, statement);
  while (IsWord("UNION")) {
    Next();
    out += AcceptWord("ALL") ? " UNION ALL " : " UNION ";
    ExpectWord("SELECT");
    out += SelectCore(false, nullptr);
    if (statement) statement->hints.clear();
  }
  std::vector<std::string> keys;
  if (IsWord("ORDER")) {
    SetContext("Syntax error in ORDER BY clause.");
    Next();
    ExpectWord("BY");
    std::string order;
    do {
      if (Peek().type == TokenType::Number &&
          (IsSymbol(",", 1) || Peek(1).type == TokenType::End || IsSymbol(";", 1) ||
           IsWord("ASC", 1) || IsWord("DESC", 1) || IsSymbol(")", 1))) {
        Fail("Sorting by column position is not supported; name the field.");
      }
      const Expr key = Expression();
      keys.push_back(Value(key));
      order += (order.empty() ? "" : ", ") + Value(key);
      if (AcceptWord("DESC")) {
        order += " DESC";
      } else {
        AcceptWord("ASC");
      }
    } while (AcceptSymbol(","));
    out += " ORDER BY " + order;
  }
  if (m_top) {
    if (keys.empty()) {
      out += " LIMIT " + std::to_string(*m_top);
    } else if (outer && out.find(" UNION ") == std::string::npos) {
      // Ties with the last row count too: the recordset compares these keys.
      statement->top = *m_top;
      statement->hiddenColumns = static_cast<int>(keys.size());
      std::string hidden;
      for (std::size_t i = 0; i < keys.size(); ++i) {
        hidden += ", " + keys[i] + " AS " + QuoteName("jet_order_key_" + std::to_string(i));
      }
      out.insert(m_topInsertAt, hidden);
    } else {
      SyntaxError("TOP with ORDER BY is supported only in the outermost SELECT without UNION.");
    }
    m_top.reset();
  }
  SetContext(savedContext);
  return out;
}

std::string Translator::SelectCore(bool outer, SelectStatement* statement) {
  std::string out = "SELECT ";
  if (IsWord("DISTINCTROW")) Fail("DISTINCTROW is not supported by this engine.");
  if (AcceptWord("DISTINCT")) {
    out += "DISTINCT ";
  } else {
    AcceptWord("ALL");
  }
  std::optional<std::int64_t> top;
  if (AcceptWord("TOP")) {
    const std::int64_t n = ReadInteger();
    if (n < 1) Fail("TOP takes a positive whole number.");
    if (IsWord("PERCENT")) Fail("TOP n PERCENT is not supported by this engine.");
    top = n;
  }
  bool knownColumns = outer;
  std::vector<ColumnHint> hints;
  bool first = true;
  do {
    if (!first) out += ", ";
    first = false;
    if (AcceptSymbol("*")) {
      out += "*";
      knownColumns = false;
    } else if (AtName() && IsSymbol(".", 1) && IsSymbol("*", 2)) {
      out += QuoteName(ReadName()) + ".*";
      Next();
      Next();
      knownColumns = false;
    } else {
      const Expr item = Expression();
      out += Value(item);
      if (AcceptWord("AS")) {
        out += " AS " + QuoteName(ReadName());
      } else if (!item.column) {
        // Jet names an unnamed expression Expr1000, Expr1001, ...
        out += " AS " + QuoteName("Expr" + std::to_string(m_expressionNumber++));
      }
      hints.push_back(item.hint);
    }
  } while (AcceptSymbol(","));
  const std::size_t endOfColumns = out.size();
  if (AcceptWord("FROM")) {
    SetContext("Syntax error in FROM clause.");
    out += " FROM " + JoinChain();
    while (AcceptSymbol(",")) out += ", " + JoinChain();
  }
  SetContext("Syntax error (missing operator) in query expression.");
  if (AcceptWord("WHERE")) out += " WHERE " + Condition();
  if (IsWord("GROUP")) {
    SetContext("Syntax error in GROUP BY clause.");
    Next();
    ExpectWord("BY");
    std::string group;
    do {
      group += (group.empty() ? "" : ", ") + Value(Expression());
    } while (AcceptSymbol(","));
    out += " GROUP BY " + group;
    SetContext("Syntax error (missing operator) in query expression.");
  }
  if (AcceptWord("HAVING")) out += " HAVING " + Condition();
  if (top) {
    if (m_top) Fail("Only one TOP per query is supported.");
    m_top = top;
    m_topInsertAt = endOfColumns;
  }
  if (statement && knownColumns) statement->hints = std::move(hints);
  return out;
}

std::string Translator::JoinChain() {
  std::string out = TablePrimary();
  for (;;) {
    if (IsWord("INNER") && IsWord("JOIN", 1)) {
      Next();
      Next();
      out += " INNER JOIN ";
    } else if (IsWord("LEFT") && (IsWord("JOIN", 1) || (IsWord("OUTER", 1) && IsWord("JOIN", 2)))) {
      Next();
      AcceptWord("OUTER");
      Next();
      out += " LEFT JOIN ";
    } else if (IsWord("RIGHT") && (IsWord("JOIN", 1) || IsWord("OUTER", 1))) {
      Fail("RIGHT JOIN is not supported by this engine; write it as a LEFT JOIN.");
    } else {
      return out;
    }
    out += TablePrimary();
    ExpectWord("ON");
    out += " ON " + Condition();
    SetContext("Syntax error in FROM clause.");
  }
}

std::string Translator::TablePrimary() {
  const Nesting nesting(*this);
  std::string out;
  if (AcceptSymbol("(")) {
    if (AcceptWord("SELECT")) {
      out = "(" + Select(false, nullptr) + ")";
      ExpectSymbol(")");
      SetContext("Syntax error in FROM clause.");
    } else {
      out = "(" + JoinChain() + ")";
      ExpectSymbol(")");
      return out;
    }
  } else {
    out = QuoteName(ReadName());
    if (IsWord("IN")) Fail("Tables in other database files are not supported.");
  }
  if (AcceptWord("AS") || AtName()) out += " AS " + QuoteName(ReadName());
  return out;
}

}  // namespace mivotra::jet::sql
