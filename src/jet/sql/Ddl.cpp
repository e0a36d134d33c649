// CREATE TABLE, CREATE INDEX, DROP TABLE and DROP INDEX.

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

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
  const Token& token = Peek();
  if (token.type != TokenType::Name) Fail("Expected a data type for field '" + column + "'.");
  const std::string type = Upper(Next().text);
  ColumnType result;
  auto lengthArgument = [&](int fallback) {
    int length = fallback;
    if (AcceptSymbol("(")) {
      const std::int64_t n = ReadInteger();
      ExpectSymbol(")");
      if (n < 1) Fail("The size of field '" + column + "' must be at least 1.");
      if (n > kMaxTextLength) {
        SyntaxError("Size of field '" + column +
                    "' is too long: text fields hold at most 255 characters.");
      }
      length = static_cast<int>(n);
    }
    return length;
  };
  if (type == "COUNTER" || type == "AUTOINCREMENT" || type == "IDENTITY") {
    result.decl = "INTEGER";
    result.counter = true;
    if (AcceptSymbol("(")) {
      result.seed = ReadInteger();
      ExpectSymbol(",");
      const std::int64_t increment = ReadInteger();
      ExpectSymbol(")");
      if (increment != 1) {
        SyntaxError("The counter of field '" + column + "' rises by " + std::to_string(increment) +
                    "; this engine supports only an increment of 1.");
      }
      if (result.seed < 1 || result.seed > 2147483647) {
        SyntaxError("The counter of field '" + column +
                    "' must start at a number from 1 to 2147483647.");
      }
    }
  } else if (type == "BIT" || type == "YESNO" || type == "BOOLEAN" || type == "LOGICAL" ||
             type == "LOGICAL1") {
    result.decl = "BIT";
  } else if (type == "TINYINT" || type == "BYTE" || type == "INTEGER1") {
    result.decl = "TINYINT";
  } else if (type == "SMALLINT" || type == "SHORT" || type == "INTEGER2") {
    result.decl = "SMALLINT";
  } else if (type == "INTEGER" || type == "LONG" || type == "INT" || type == "INTEGER4") {
    result.decl = "INTEGER";
    result.integer = true;
  } else if (type == "REAL" || type == "SINGLE" || type == "FLOAT4" || type == "IEEESINGLE") {
    result.decl = "REAL";
  } else if (type == "FLOAT" || type == "DOUBLE" || type == "FLOAT8" || type == "NUMBER" ||
             type == "IEEEDOUBLE") {
    result.decl = "DOUBLE";
  } else if (type == "MONEY" || type == "CURRENCY") {
    result.decl = "CURRENCY";
  } else if (type == "DATETIME" || type == "DATE" || type == "TIME" || type == "TIMESTAMP") {
    result.decl = "DATETIME";
    result.date = true;
  } else if (type == "DECIMAL" || type == "NUMERIC" || type == "DEC") {
    std::int64_t precision = 18;
    std::int64_t scale = 0;
    if (AcceptSymbol("(")) {
      precision = ReadInteger();
      if (AcceptSymbol(",")) scale = ReadInteger();
      ExpectSymbol(")");
    }
    if (precision < 1 || precision > 28 || scale < 0 || scale > precision) {
      SyntaxError("The precision of decimal field '" + column +
                  "' must be 1 to 28 and its scale 0 to the precision.");
    }
    result.decl = "DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
  } else if (type == "TEXT" || type == "VARCHAR" || type == "CHAR" || type == "CHARACTER" ||
             type == "ALPHANUMERIC" || type == "STRING" || type == "NVARCHAR" || type == "NCHAR") {
    result.text = true;
    if (type == "TEXT" && !IsSymbol("(")) {
      result.decl = "LONGTEXT";  // TEXT without a size is a memo through the OLE DB provider
    } else {
      result.maxLength = lengthArgument(kMaxTextLength);
      const bool fixed = type == "CHAR" || type == "CHARACTER" || type == "NCHAR";
      result.decl =
          std::string(fixed ? "CHAR(" : "VARCHAR(") + std::to_string(result.maxLength) + ")";
    }
  } else if (type == "MEMO" || type == "LONGTEXT" || type == "LONGCHAR" || type == "NOTE" ||
             type == "NTEXT") {
    result.text = true;
    result.decl = "LONGTEXT";  // MEMO would give SQLite's numeric affinity
  } else if (type == "BINARY" || type == "VARBINARY" || type == "LONGBINARY" ||
             type == "OLEOBJECT" || type == "GENERAL" || type == "IMAGE" || type == "GUID" ||
             type == "UNIQUEIDENTIFIER") {
    SyntaxError("The data type " + type + " of field '" + column +
                "' is not supported by this engine.");
  } else {
    Back();
    Fail("Unknown data type for field '" + column + "'.");
  }
  return result;
}

std::string Translator::DefaultValue() {
  std::string sign;
  if (IsSymbol("-") || IsSymbol("+")) sign = Next().text;
  const Token& token = Peek();
  if (token.type == TokenType::Number) return sign + Primary().sql;
  if (!sign.empty()) Fail("Expected a number after the sign.");
  if (token.type == TokenType::String || token.type == TokenType::Date) return Primary().sql;
  if (IsWord("NULL") || IsWord("TRUE") || IsWord("FALSE")) return Primary().sql;
  if ((IsWord("NOW") || IsWord("DATE") || IsWord("TIME")) && IsSymbol("(", 1)) {
    return "(" + Primary().sql + ")";
  }
  Fail("A default value must be a constant, Now(), Date() or Time().");
}

std::string Translator::References(ForeignKey& key) {
  key.refTable = ReadName();
  std::string out = "REFERENCES " + QuoteName(key.refTable);
  if (IsSymbol("(")) {
    key.refColumns = NameList();
    out += " (" + JoinQuoted(key.refColumns) + ")";
  }
  while (AcceptWord("ON")) {
    std::string event;
    if (AcceptWord("DELETE")) {
      event = " ON DELETE ";
    } else if (AcceptWord("UPDATE")) {
      event = " ON UPDATE ";
    } else {
      Fail("Expected DELETE or UPDATE.");
    }
    if (IsWord("CASCADE")) {
      Next();
      out += event + "CASCADE";
    } else if (IsWord("SET") && IsWord("NULL", 1)) {
      Next();
      Next();
      out += event + "SET NULL";
    } else if (IsWord("NO") && IsWord("ACTION", 1)) {
      Next();
      Next();
    } else {
      Fail("Expected CASCADE, SET NULL or NO ACTION.");
    }
  }
  return out;
}

void Translator::ColumnConstraint(CreateTableStatement& create, ColumnDef& column,
                                  const std::string& constraint) {
  if (AcceptWord("PRIMARY")) {
    ExpectWord("KEY");
    if (column.inlinePrimaryKey) Fail("The field is the primary key twice.");
    column.inlinePrimaryKey = true;
    column.primaryKeyName = constraint;
  } else if (AcceptWord("UNIQUE")) {
    column.constraints.push_back(Named(constraint) + "UNIQUE");
    create.uniqueKeys.push_back({column.name});
  } else if (AcceptWord("NOT")) {
    ExpectWord("NULL");
    column.constraints.push_back(Named(constraint) + "NOT NULL");
  } else if (AcceptWord("REFERENCES")) {
    ForeignKey key;
    key.constraint = constraint;
    key.columns = {column.name};
    column.constraints.push_back(Named(constraint) + References(key));
    create.foreignKeys.push_back(std::move(key));
  } else if (AcceptWord("CHECK")) {
    const std::string condition = SchemaCondition();
    column.constraints.push_back(Named(constraint) + "CHECK (" + condition + ")");
  } else {
    Fail("Expected PRIMARY KEY, UNIQUE, NOT NULL, REFERENCES or CHECK.");
  }
}

ColumnDef Translator::ReadColumn(CreateTableStatement& create) {
  ColumnDef column;
  column.name = ReadName();
  column.type = ReadType(column.name);
  for (;;) {
    if (AcceptWord("NOT")) {
      ExpectWord("NULL");
      column.notNull = true;
    } else if (AcceptWord("NULL")) {
    } else if (AcceptWord("DEFAULT")) {
      column.defaultSql = DefaultValue();
    } else if (IsWord("WITH")) {
      // Unicode compression changes how Jet stores text, not what it holds.
      Next();
      if (!AcceptWord("COMPRESSION") && !AcceptWord("COMP")) Fail("Expected COMPRESSION.");
    } else if (AcceptWord("CONSTRAINT")) {
      const std::string constraint = ReadName();
      ColumnConstraint(create, column, constraint);
    } else if (IsWord("PRIMARY") || IsWord("UNIQUE") || IsWord("REFERENCES") || IsWord("CHECK")) {
      ColumnConstraint(create, column, "");
    } else {
      return column;
    }
  }
}

void Translator::CreateTable(Statement& statement) {
  SetContext("Syntax error in CREATE TABLE statement.");
  auto& create = statement.detail.emplace<CreateTableStatement>();
  statement.table = ReadName();
  ExpectSymbol("(");
  std::vector<ColumnDef> columns;
  std::vector<std::string> tableConstraints;
  std::vector<std::string> primaryKey;
  std::string primaryKeyName;
  bool tablePrimaryKey = false;
  do {
    std::string constraint;
    const bool named = IsWord("CONSTRAINT");
    if (named) {
      Next();
      constraint = ReadName();
    }
    if (AcceptWord("PRIMARY")) {
      ExpectWord("KEY");
      if (!primaryKey.empty()) Fail("A table has only one primary key.");
      primaryKey = NameList();
      primaryKeyName = constraint;
      tablePrimaryKey = true;
    } else if (AcceptWord("UNIQUE")) {
      const auto names = NameList();
      tableConstraints.push_back(Named(constraint) + "UNIQUE (" + JoinQuoted(names) + ")");
      create.uniqueKeys.push_back(names);
    } else if (AcceptWord("FOREIGN")) {
      ExpectWord("KEY");
      ForeignKey key;
      key.constraint = constraint;
      key.columns = NameList();
      ExpectWord("REFERENCES");
      const std::string references = References(key);
      tableConstraints.push_back(Named(constraint) + "FOREIGN KEY (" + JoinQuoted(key.columns) +
                                 ") " + references);
      create.foreignKeys.push_back(std::move(key));
    } else if (AcceptWord("CHECK")) {
      const std::string condition = SchemaCondition();
      SetContext("Syntax error in CREATE TABLE statement.");
      tableConstraints.push_back(Named(constraint) + "CHECK (" + condition + ")");
    } else if (named) {
      Fail("Expected PRIMARY KEY, UNIQUE, FOREIGN KEY or CHECK.");
    } else {
      columns.push_back(ReadColumn(create));
      if (columns.back().inlinePrimaryKey) {
        if (!primaryKey.empty()) Fail("A table has only one primary key.");
        primaryKey = {columns.back().name};
        primaryKeyName = columns.back().primaryKeyName;
      }
    }
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  if (columns.empty()) Fail("A table needs at least one field.");

  const ColumnDef* counter = nullptr;
  for (const auto& column : columns) {
    if (!column.type.counter) continue;
    if (counter) SyntaxError("A table can have only one counter field.");
    counter = &column;
  }
  if (counter) {
    // SQLite numbers rows itself only for its INTEGER PRIMARY KEY, so the
    // counter becomes the key (Jet's counters are unique by making anyway).
    if (primaryKey.empty()) {
      primaryKey = {counter->name};
    } else if (primaryKey.size() != 1 || !EqualsNoCase(primaryKey.front(), counter->name)) {
      SyntaxError("The counter field '" + counter->name +
                  "' must be the primary key of its table in this engine.");
    }
    tablePrimaryKey = false;
  }
  auto inPrimaryKey = [&primaryKey](const std::string& name) {
    return std::any_of(primaryKey.begin(), primaryKey.end(),
                       [&name](const std::string& key) { return EqualsNoCase(key, name); });
  };

  std::string out = "CREATE TABLE " + QuoteName(statement.table) + " (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ColumnDef& column = columns[i];
    const bool keyColumn = inPrimaryKey(column.name);
    std::string decl = column.type.decl;
    // A lone INTEGER key would become SQLite's row number, which fills in a
    // Null instead of refusing it as Jet does; INT keeps the same affinity.
    if (keyColumn && !column.type.counter && column.type.integer && primaryKey.size() == 1) {
      decl = "INT";
    }
    out += (i ? ", " : "") + QuoteName(column.name) + " " + decl;
    if (column.type.text) out += " COLLATE NOCASE";  // Jet compares text without regard to case
    if (column.type.counter) {
      out += " " + Named(primaryKeyName) + "PRIMARY KEY AUTOINCREMENT";
    } else if (keyColumn && !tablePrimaryKey) {
      out += " " + Named(primaryKeyName) + "PRIMARY KEY";
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
    create.columns.push_back(column.name);
  }
  if (tablePrimaryKey) {
    out += ", " + Named(primaryKeyName) + "PRIMARY KEY (" + JoinQuoted(primaryKey) + ")";
  }
  for (const auto& constraint : tableConstraints) out += ", " + constraint;
  out += ")";
  statement.sql = std::move(out);
  create.primaryKey = primaryKey;
  if (counter && counter->type.seed != 1) {
    statement.followUps.push_back("INSERT INTO sqlite_sequence (name, seq) VALUES (" +
                                  QuoteText(statement.table) + ", " +
                                  std::to_string(counter->type.seed - 1) + ")");
  }
}

void Translator::CreateIndex(Statement& statement) {
  SetContext("Syntax error in CREATE INDEX statement.");
  const bool unique = AcceptWord("UNIQUE");
  ExpectWord("INDEX");
  auto& index = statement.detail.emplace<CreateIndexStatement>();
  index.index = ReadName();
  ExpectWord("ON");
  statement.table = ReadName();
  ExpectSymbol("(");
  std::string columns;
  do {
    const std::string column = ReadName();
    index.columns.push_back(column);
    columns += (columns.empty() ? "" : ", ") + QuoteName(column);
    if (AcceptWord("DESC")) {
      columns += " DESC";
    } else {
      AcceptWord("ASC");
    }
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  if (AcceptWord("WITH")) {
    if (AcceptWord("PRIMARY")) {
      index.option = IndexOption::Primary;
    } else if (AcceptWord("DISALLOW")) {
      ExpectWord("NULL");
      index.option = IndexOption::DisallowNull;
    } else if (AcceptWord("IGNORE")) {
      ExpectWord("NULL");
      index.option = IndexOption::IgnoreNull;
    } else {
      Fail("Expected PRIMARY, DISALLOW NULL or IGNORE NULL.");
    }
  }
  const bool makeUnique = unique || index.option == IndexOption::Primary;
  std::string out = std::string(makeUnique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                    QuoteName(index.index) + " ON " + QuoteName(statement.table) + " (" + columns +
                    ")";
  if (index.option == IndexOption::IgnoreNull) {
    std::string where;
    for (const auto& column : index.columns) {
      where += (where.empty() ? "" : " AND ") + QuoteName(column) + " IS NOT NULL";
    }
    out += " WHERE " + where;
  }
  statement.sql = std::move(out);
}

void Translator::Drop(Statement& statement) {
  SetContext("Syntax error in DROP TABLE or DROP INDEX.");
  if (AcceptWord("TABLE")) {
    statement.detail.emplace<DropTableStatement>();
    statement.table = ReadName();
    statement.sql = "DROP TABLE " + QuoteName(statement.table);
  } else if (AcceptWord("INDEX")) {
    auto& index = statement.detail.emplace<DropIndexStatement>();
    index.index = ReadName();
    ExpectWord("ON");
    statement.table = ReadName();
    statement.sql = "DROP INDEX " + QuoteName(index.index);
    for (const char* event : {"_insert", "_update"}) {
      statement.followUps.push_back("DROP TRIGGER IF EXISTS " +
                                    QuoteName(index.index + std::string(kRequiredTrigger) + event));
    }
  } else {
    Fail();
  }
}

}  // namespace mivotra::jet::sql
