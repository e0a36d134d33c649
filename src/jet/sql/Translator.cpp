#include "jet/sql/Translator.h"

namespace mivotra::jet::sql {

Statement Translator::Run() {
  Statement statement;
  if (AcceptWord("SELECT")) {
    SetContext("Syntax error in query.");
    auto& select = statement.detail.emplace<SelectStatement>();
    statement.sql = Select(true, &select);
  } else if (AcceptWord("INSERT")) {
    Insert(statement);
  } else if (AcceptWord("UPDATE")) {
    Update(statement);
  } else if (AcceptWord("DELETE")) {
    Delete(statement);
  } else if (AcceptWord("CREATE")) {
    if (IsWord("TABLE")) {
      Next();
      CreateTable(statement);
    } else if (IsWord("INDEX") || IsWord("UNIQUE")) {
      CreateIndex(statement);
    } else {
      SetContext("Syntax error in CREATE TABLE statement.");
      Fail("Only CREATE TABLE and CREATE [UNIQUE] INDEX are supported.");
    }
  } else if (AcceptWord("DROP")) {
    Drop(statement);
  } else {
    SetContext(
        "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or "
        "'UPDATE'.");
    if (IsWord("ALTER")) Fail("ALTER TABLE is not supported by this engine.");
    Fail();
  }
  AcceptSymbol(";");
  if (Peek().type != TokenType::End) {
    SetContext("Characters found after end of SQL statement.");
    Fail();
  }
  return statement;
}

}  // namespace mivotra::jet::sql
