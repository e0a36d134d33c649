#include "jet/sql/Translator.h"

#include <utility>

#include "base/Translate.h"
#include "jet/sql/SqlText.h"

namespace mivotra::jet::sql {

Statement Translator::Run() {
  if (AcceptWord("SELECT")) {
    SetContext(Tr("engine", "Syntax error in query."));
    m_statement.detail.emplace<SelectStatement>();
    m_statement.sql = Select();
  } else if (AcceptWord("INSERT")) {
    Insert();
  } else if (AcceptWord("UPDATE")) {
    Update();
  } else if (AcceptWord("CREATE")) {
    if (AcceptWord("TABLE")) {
      CreateTable();
    } else if (IsWord("INDEX") || IsWord("UNIQUE")) {
      CreateIndex();
    } else {
      SetContext(Tr("engine", "Syntax error in CREATE TABLE statement."));
      Fail(Tr("engine", "Only CREATE TABLE and CREATE [UNIQUE] INDEX are supported."));
    }
  } else {
    SetContext(Tr("engine",
                  "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or "
                  "'UPDATE'."));
    Fail();
  }
  AcceptSymbol(";");
  if (Peek().type != TokenType::End) {
    SetContext(Tr("engine", "Characters found after end of SQL statement."));
    Fail();
  }
  return std::move(m_statement);
}

// After the word SELECT: columns, one table, a condition.
std::string Translator::Select() {
  std::string out = "SELECT ";
  const std::size_t firstName = m_statement.names.size();
  m_reading.clear();
  bool first = true;
  do {
    if (!std::exchange(first, false)) out += ", ";
    const Expr item = Operand();
    out += item.sql;
    if (AcceptWord("AS")) {
      out += " AS " + QuoteName(ReadName());
    } else if (!item.column) {
      // Jet names an unnamed expression Expr1000, Expr1001, ...
      out += " AS " + QuoteName("Expr" + std::to_string(m_expressionNumber++));
    }
  } while (AcceptSymbol(","));
  if (AcceptWord("FROM")) {
    SetContext(Tr("engine", "Syntax error in FROM clause."));
    m_reading = ReadName();
    out += " FROM " + QuoteName(m_reading);
    // The table is found before any of the columns read from it.
    m_statement.names.insert(m_statement.names.begin() + static_cast<std::ptrdiff_t>(firstName),
                             NameUse{m_reading, {}});
    for (std::size_t i = firstName + 1; i < m_statement.names.size(); ++i)
      m_statement.names[i].table = m_reading;
  }
  SetContext(Tr("engine", "Syntax error (missing operator) in query expression."));
  if (AcceptWord("WHERE")) out += " WHERE " + Condition();
  return out;
}

}  // namespace mivotra::jet::sql
