// CREATE TABLE and CREATE INDEX.

#include <cstdint>
#include <string>
#include <utility>

#include "base/Translate.h"
#include "jet/sql/JetSql.h"
#include "jet/sql/SqlText.h"
#include "jet/sql/SyntaxError.h"
#include "jet/sql/Translator.h"

namespace mivotra::jet::sql {
namespace {

constexpr std::string_view kDateGlob =
    "'[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]'";
constexpr int kMaxTextLength = 255;

std::string Named(const std::string& constraint) {
  return constraint.empty() ? std::string() : "CONSTRAINT " + QuoteName(constraint) + " ";
}

}  // namespace

ColumnType Translator::ReadType(const std::string& column) {
  if (Peek().type != TokenType::Name)
    Fail(Format(Tr("engine", "Expected a data type for field '%1'."), {column}));
  const std::string type = Upper(Next().text);
  ColumnType result;
  if (type == "COUNTER" || type == "AUTOINCREMENT") {
    result.decl = "INTEGER";
    result.counter = true;
    if (AcceptSymbol("(")) {
      const std::int64_t seed = ReadInteger();
      ExpectSymbol(",");
      const std::int64_t increment = ReadInteger();
      ExpectSymbol(")");
      if (seed != 1 || increment != 1) {
        SyntaxError(Format(
            Tr("engine", "The counter of field '%1' must start at 1 and rise by 1 in this engine."),
            {column}));
      }
    }
  } else if (type == "INTEGER") {
    result.decl = "INTEGER";
    result.integer = true;
  } else if (type == "DOUBLE") {
    result.decl = "DOUBLE";
  } else if (type == "DATETIME") {
    result.decl = "DATETIME";
    result.date = true;
  } else if (type == "VARCHAR") {
    result.text = true;
    result.maxLength = kMaxTextLength;
    if (AcceptSymbol("(")) {
      const std::int64_t n = ReadInteger();
      ExpectSymbol(")");
      if (n < 1) Fail(Format(Tr("engine", "The size of field '%1' must be at least 1."), {column}));
      if (n > kMaxTextLength) {
        SyntaxError(Format(Tr("engine",
                              "Size of field '%1' is too long: text fields hold at most 255 "
                              "characters."),
                           {column}));
      }
      result.maxLength = static_cast<int>(n);
    }
    result.decl = "VARCHAR(" + std::to_string(result.maxLength) + ")";
  } else {
    Back();
    Fail(Format(Tr("engine", "Unknown data type for field '%1'."), {column}));
  }
  return result;
}

void Translator::ColumnConstraint(ColumnDef& column, const std::string& constraint) {
  if (AcceptWord("PRIMARY")) {
    ExpectWord("KEY");
    if (column.primaryKey) Fail(Tr("engine", "The field is the primary key twice."));
    column.primaryKey = true;
    column.primaryKeyName = constraint;
  } else if (AcceptWord("REFERENCES")) {
    ForeignKey key;
    key.constraint = constraint;
    key.refTable = ReadName();
    std::string references = "REFERENCES " + QuoteName(key.refTable);
    if (IsSymbol("(")) {
      key.refColumns = NameList();
      references += " (" + JoinQuoted(key.refColumns) + ")";
    }
    column.constraints.push_back(Named(constraint) + references);
    m_statement.As<CreateTableStatement>()->foreignKeys.push_back(std::move(key));
  } else {
    Fail(Tr("engine", "Expected PRIMARY KEY or REFERENCES."));
  }
}

ColumnDef Translator::ReadColumn() {
  ColumnDef column;
  column.name = ReadName();
  column.type = ReadType(column.name);
  for (;;) {
    if (AcceptWord("NOT")) {
      ExpectWord("NULL");
      column.notNull = true;
    } else if (AcceptWord("DEFAULT")) {
      const TokenType type = Peek().type;
      if (type != TokenType::Number && type != TokenType::String && type != TokenType::Date &&
          !IsWord("NULL")) {
        Fail(Tr("engine", "A default value must be a constant."));
      }
      column.defaultSql = Operand().sql;
    } else if (AcceptWord("CONSTRAINT")) {
      const std::string constraint = ReadName();
      ColumnConstraint(column, constraint);
    } else if (IsWord("PRIMARY") || IsWord("REFERENCES")) {
      ColumnConstraint(column, "");
    } else {
      return column;
    }
  }
}

void Translator::CreateTable() {
  SetContext(Tr("engine", "Syntax error in CREATE TABLE statement."));
  m_statement.detail.emplace<CreateTableStatement>();
  m_statement.table = ReadName();
  ExpectSymbol("(");
  std::vector<ColumnDef> columns;
  const ColumnDef* key = nullptr;
  do {
    columns.push_back(ReadColumn());
  } while (AcceptSymbol(","));
  ExpectSymbol(")");

  const ColumnDef* counter = nullptr;
  for (const auto& column : columns) {
    if (column.primaryKey) {
      if (key) Fail(Tr("engine", "A table has only one primary key."));
      key = &column;
    }
    if (!column.type.counter) continue;
    if (counter) SyntaxError(Tr("engine", "A table can have only one counter field."));
    counter = &column;
  }
  // SQLite numbers rows itself only for its INTEGER PRIMARY KEY, so the
  // counter becomes the key (Jet's counters are unique by making anyway).
  if (counter && key && key != counter) {
    SyntaxError(Format(
        Tr("engine", "The counter field '%1' must be the primary key of its table in this engine."),
        {counter->name}));
  }
  if (counter) key = counter;

  std::string out = "CREATE TABLE " + QuoteName(m_statement.table) + " (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ColumnDef& column = columns[i];
    const bool keyColumn = &column == key;
    // A lone INTEGER key would become SQLite's row number, which fills in a
    // Null instead of refusing it as Jet does; INT keeps the same affinity.
    const std::string decl = keyColumn && column.type.integer ? "INT" : column.type.decl;
    out += (i ? ", " : "") + QuoteName(column.name) + " " + decl;
    if (column.type.text) out += " COLLATE NOCASE";  // Jet compares text without regard to case
    if (column.type.counter) {
      out += " " + Named(column.primaryKeyName) + "PRIMARY KEY AUTOINCREMENT";
    } else if (keyColumn) {
      out += " " + Named(column.primaryKeyName) + "PRIMARY KEY";
    }
    // Jet's key fields never hold Null; SQLite would let them.
    if (column.notNull || (keyColumn && !column.type.counter)) out += " NOT NULL";
    if (!column.defaultSql.empty()) out += " DEFAULT " + column.defaultSql;
    for (const auto& constraint : column.constraints) out += " " + constraint;
    if (column.type.maxLength > 0) {
      out += " CONSTRAINT " + QuoteName(std::string(kMaxLengthCheck) + column.name) +
             " CHECK (length(" + QuoteName(column.name) +
             ") <= " + std::to_string(column.type.maxLength) + ")";
    }
    if (column.type.date) {
      out += " CONSTRAINT " + QuoteName(std::string(kDateCheck) + column.name) + " CHECK (" +
             QuoteName(column.name) + " IS NULL OR " + QuoteName(column.name) + " GLOB " +
             std::string(kDateGlob) + ")";
    }
  }
  m_statement.sql = out + ")";
}

void Translator::CreateIndex() {
  SetContext(Tr("engine", "Syntax error in CREATE INDEX statement."));
  const bool unique = AcceptWord("UNIQUE");
  ExpectWord("INDEX");
  auto& index = m_statement.detail.emplace<CreateIndexStatement>();
  index.index = ReadName();
  ExpectWord("ON");
  m_statement.table = ReadName();
  UseTable(m_statement.table);
  const auto columns = NameList();
  for (const auto& column : columns) m_statement.names.push_back({m_statement.table, column});
  m_statement.sql = std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                    QuoteName(index.index) + " ON " + QuoteName(m_statement.table) + " (" +
                    JoinQuoted(columns) + ")";
}

}  // namespace mivotra::jet::sql
