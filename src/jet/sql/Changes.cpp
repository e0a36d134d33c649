// INSERT, UPDATE and DELETE.

#include <string>
#include <utility>

#include "jet/sql/JetSql.h"
#include "jet/sql/SqlText.h"
#include "jet/sql/Translator.h"

namespace mivotra::jet::sql {

void Translator::Insert(Statement& statement) {
  SetContext("Syntax error in INSERT INTO statement.");
  statement.detail.emplace<InsertStatement>();
  ExpectWord("INTO");
  statement.table = ReadName();
  if (IsWord("IN")) Fail("Tables in other database files are not supported.");
  std::string out = "INSERT INTO " + QuoteName(statement.table);
  if (IsSymbol("(")) out += " (" + JoinQuoted(NameList()) + ")";
  if (AcceptWord("VALUES")) {
    ExpectSymbol("(");
    std::string values;
    do {
      values += (values.empty() ? "" : ", ") + Value(Expression());
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    out += " VALUES (" + values + ")";
  } else if (AcceptWord("SELECT")) {
    out += " " + Select(false, nullptr);
  } else {
    Fail("Expected VALUES or SELECT.");
  }
  statement.sql = std::move(out);
}

void Translator::Update(Statement& statement) {
  SetContext("Syntax error in UPDATE statement.");
  auto& update = statement.detail.emplace<UpdateStatement>();
  statement.table = ReadName();
  if (!IsWord("SET")) Fail("Only single-table UPDATE ... SET is supported.");
  Next();
  m_rowLocal = true;
  do {
    std::string column = ReadName();
    if (AcceptSymbol(".")) {
      if (!EqualsNoCase(column, statement.table)) Fail("The field belongs to another table.");
      column = ReadName();
    }
    ExpectSymbol("=");
    if (!update.assignments.empty()) update.assignments += ", ";
    update.assignments += QuoteName(column) + " = " + Value(Expression());
    update.columns.push_back(std::move(column));
    SetContext("Syntax error in UPDATE statement.");
  } while (AcceptSymbol(","));
  if (AcceptWord("WHERE")) update.condition = Condition();
  update.rowLocal = m_rowLocal;
  statement.sql = UpdateSql(statement.table, update);
}

void Translator::Delete(Statement& statement) {
  SetContext("Syntax error in DELETE statement.");
  statement.detail.emplace<DeleteStatement>();
  std::string named;
  if (AcceptSymbol("*")) {
  } else if (AtName() && IsSymbol(".", 1) && IsSymbol("*", 2)) {
    named = ReadName();
    Next();
    Next();
  }
  ExpectWord("FROM");
  statement.table = ReadName();
  if (!named.empty() && !EqualsNoCase(named, statement.table)) {
    Fail("Only single-table DELETE is supported.");
  }
  std::string out = "DELETE FROM " + QuoteName(statement.table);
  if (AcceptWord("WHERE")) out += " WHERE " + Condition();
  statement.sql = std::move(out);
}

}  // namespace mivotra::jet::sql

namespace mivotra::jet {

std::string UpdateSql(std::string_view table, const UpdateStatement& update,
                      const UpdateForm& form) {
  std::string sql = form.conflict == OnConflict::Rollback ? "UPDATE OR ROLLBACK "
                    : form.conflict == OnConflict::Fail   ? "UPDATE OR FAIL "
                                                          : "UPDATE ";
  sql += QuoteName(table);
  if (!form.rowidRange.empty()) sql += " NOT INDEXED";
  sql += " SET " + update.assignments;
  if (!form.rowidRange.empty()) {
    sql += " WHERE " + form.rowidRange + " BETWEEN ?1 AND ?2";
    if (!update.condition.empty()) sql += " AND (" + update.condition + ")";
  } else if (!update.condition.empty()) {
    sql += " WHERE " + update.condition;
  }
  return sql;
}

}  // namespace mivotra::jet
