#pragma once
// Reading SQLite's schema for the checks Jet makes and SQLite does not
// (related tables, key columns), for planning an UPDATE, and for naming the
// objects of a failure. Only data-definition statements, failures and
// UPDATEs ask, so none of this is on the path of an ordinary statement.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/JetErrors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace mivotra::jet::schema {

struct ColumnInfo {
  std::string name;
  std::string type;
  bool notNull = false;
  int keyPosition = 0;  // 1-based position in the primary key, 0 when not in it
};

struct ForeignKeyInfo {
  std::string table;  // the table holding the key
  std::string refTable;
  std::vector<std::string> columns;
  std::vector<std::string> refColumns;  // empty: the related table's primary key
};

struct IndexInfo {
  std::string name;
  bool unique = false;
  bool partial = false;              // it has a WHERE clause
  std::vector<std::string> columns;  // empty for a column that is an expression
};

// A column of the current row as text, every byte of it ("" for Null).
std::string ColumnText(sqlite3_stmt* statement, int column);

// Each query throws the mapped ComError when `context` is given; without one
// (while describing another failure) it returns what it could read.
// The name as stored of the object of that type ("table", "index") and name
// in any letter case.
std::optional<std::string> ObjectName(sqlite3* db, std::string_view type, std::string_view name,
                                      const FailureContext* context);
std::vector<std::string> TableNames(sqlite3* db, const FailureContext* context);
std::vector<ColumnInfo> Columns(sqlite3* db, std::string_view table, const FailureContext* context);
std::vector<std::string> PrimaryKey(const std::vector<ColumnInfo>& columns);
// The primary key and every unique index that is not partial: the column
// sets a relationship may refer to.
std::vector<std::vector<std::string>> UniqueKeys(sqlite3* db, std::string_view table,
                                                 const FailureContext* context);
std::vector<ForeignKeyInfo> ForeignKeysOf(sqlite3* db, std::string_view table,
                                          const FailureContext* context);
// Keys of any table (the table itself included) that refer to `table`.
std::vector<ForeignKeyInfo> ForeignKeysTo(sqlite3* db, std::string_view table,
                                          const FailureContext* context);
// Every index of the table, the primary key's and the UNIQUE constraints' too.
std::vector<IndexInfo> Indexes(sqlite3* db, std::string_view table, const FailureContext* context);
struct ObjectSql {
  std::string name;
  std::string sql;  // the CREATE statement as SQLite keeps it
};
// The table or view of that name (its CREATE statement), if there is one.
std::optional<ObjectSql> TableOrView(sqlite3* db, std::string_view name,
                                     const FailureContext* context);
std::vector<ObjectSql> Triggers(sqlite3* db, std::string_view table, const FailureContext* context);
// How SQLite means to run a statement's outermost loop, in EXPLAIN QUERY
// PLAN's words ("SCAN t", "SEARCH t USING INDEX i (c=?)").
std::string OuterLoopPlan(sqlite3* db, std::string_view sql, const FailureContext* context);

// The same columns in any order, names compared without regard to case.
bool SameColumns(const std::vector<std::string>& a, const std::vector<std::string>& b);

}  // namespace mivotra::jet::schema
