#pragma once
// A translated statement: the SQLite text, and what the engine needs to know
// about it, in one struct per kind of statement.

#include <cstddef>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace mivotra::jet {

enum class StatementKind { Select, Insert, Update, CreateTable, CreateIndex };

struct ForeignKey {
  std::string constraint;  // may be empty
  std::string refTable;
  std::vector<std::string> refColumns;  // empty: the related table's primary key
};

// A table or one of its columns that the statement names, in the order
// written: a failure to prepare it is told by the first that is missing.
struct NameUse {
  std::string table;
  std::string column;     // empty: the table itself
  bool inserted = false;  // a column of INSERT INTO's list
};

struct SelectStatement {};
struct InsertStatement {};

struct UpdateStatement {
  std::vector<std::string> columns;  // the columns SET assigns
  // The SET list and the condition (empty: none) in SQLite text, and whether
  // each row's new values and its match depend on that row alone (no
  // clock). Only then may the engine apply the statement a range of rows at
  // a time without changing its result.
  std::string assignments;
  std::string condition;
  bool rowLocal = false;
};

// What the engine checks against the schema before the table is made.
struct CreateTableStatement {
  std::vector<ForeignKey> foreignKeys;
};

struct CreateIndexStatement {
  std::string index;
};

// In the order of StatementKind.
using StatementDetail = std::variant<SelectStatement, InsertStatement, UpdateStatement,
                                     CreateTableStatement, CreateIndexStatement>;

struct Statement {
  std::string sql;    // the SQLite statement, prepared once
  std::string table;  // the table written, created or indexed
  std::vector<NameUse> names;
  StatementDetail detail;

  StatementKind Kind() const { return static_cast<StatementKind>(detail.index()); }
  template <class Detail>
  Detail* As() {
    return std::get_if<Detail>(&detail);
  }
  template <class Detail>
  const Detail* As() const {
    return std::get_if<Detail>(&detail);
  }
};

static_assert(
    std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(StatementKind::CreateIndex),
                                              StatementDetail>,
                   CreateIndexStatement>);

}  // namespace mivotra::jet
