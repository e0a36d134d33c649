// INSERT and UPDATE.

#include <string>
#include <utility>

#include "base/Translate.h"
#include "jet/sql/JetSql.h"
#include "jet/sql/SqlText.h"
#include "jet/sql/Translator.h"

namespace mivotra::jet::sql {

void Translator::Insert() {
  SetContext(Tr("engine", "Syntax error in INSERT INTO statement."));
  m_statement.detail.emplace<InsertStatement>();
  ExpectWord("INTO");
  const std::string table = ReadName();
  m_statement.table = table;
  UseTable(table);
  std::string out = "INSERT INTO " + QuoteName(table);
  if (IsSymbol("(")) {
    const auto columns = NameList();
    for (const auto& column : columns) m_statement.names.push_back({table, column, true});
    out += " (" + JoinQuoted(columns) + ")";
  }
  if (AcceptWord("VALUES")) {
    ExpectSymbol("(");
    std::string values;
    do {
      values += (values.empty() ? "" : ", ") + Operand().sql;
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    out += " VALUES (" + values + ")";
  } else if (AcceptWord("SELECT")) {
    out += " " + Select();
  } else {
    Fail(Tr("engine", "Expected VALUES or SELECT."));
  }
  m_statement.sql = std::move(out);
}

void Translator::Update() {
  SetContext(Tr("engine", "Syntax error in UPDATE statement."));
  auto& update = m_statement.detail.emplace<UpdateStatement>();
  m_reading = m_statement.table = ReadName();
  UseTable(m_reading);
  if (!IsWord("SET")) Fail(Tr("engine", "Only single-table UPDATE ... SET is supported."));
  Next();
  do {
    std::string column = ReadName();
    m_statement.names.push_back({m_reading, column});
    ExpectSymbol("=");
    if (!update.assignments.empty()) update.assignments += ", ";
    update.assignments += QuoteName(column) + " = " + Operand().sql;
    update.columns.push_back(std::move(column));
  } while (AcceptSymbol(","));
  if (AcceptWord("WHERE")) update.condition = Condition();
  update.rowLocal = m_rowLocal;
  m_statement.sql = UpdateSql(m_statement.table, update);
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
