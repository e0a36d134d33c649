#pragma once
// The translator from Jet SQL to SQLite SQL, a recursive descent over one
// statement's tokens. It accepts the statements the update and the sample
// maker run and refuses anything else with a syntax error, never giving it
// another meaning. Its parts: Translator.cpp (the statement's first word and
// SELECT), Expressions.cpp, Changes.cpp (INSERT, UPDATE) and Ddl.cpp (CREATE).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "jet/sql/Statement.h"
#include "jet/sql/TokenCursor.h"

namespace mivotra::jet::sql {

struct Expr {
  std::string sql;
  bool column = false;  // a plain column reference (its name names the result)
};

struct ColumnType {
  std::string decl;  // the type written into SQLite
  bool text = false;
  int maxLength = 0;  // characters; 0 for none
  bool date = false;
  bool counter = false;
  bool integer = false;
};

struct ColumnDef {
  std::string name;
  ColumnType type;
  bool notNull = false;
  std::string defaultSql;
  bool primaryKey = false;
  std::string primaryKeyName;
  std::vector<std::string> constraints;  // SQLite text, in the order written
};

class Translator : private TokenCursor {
 public:
  explicit Translator(std::string_view sql) : TokenCursor(sql) {}

  Statement Run();

 private:
  // Translator.cpp
  std::string Select();

  // Expressions.cpp: the columns read are named as of table `m_reading`.
  std::string Condition();
  Expr Comparison();
  Expr Operand();
  Expr Function();

  // Changes.cpp
  void Insert();
  void Update();

  // Ddl.cpp
  ColumnType ReadType(const std::string& column);
  void ColumnConstraint(ColumnDef& column, const std::string& constraint);
  ColumnDef ReadColumn();
  void CreateTable();
  void CreateIndex();

  void UseTable(const std::string& table) { m_statement.names.push_back({table, {}}); }

  Statement m_statement;
  std::string m_reading;  // the table whose columns the current clause names
  int m_expressionNumber = 1000;
  bool m_rowLocal = true;  // cleared by a clock function
};

}  // namespace mivotra::jet::sql
