#pragma once
// A translated statement: the SQLite text, and what the engine needs to know
// about it, in one struct per kind of statement.

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace mivotra::jet {

enum class StatementKind {
  Select,
  Insert,
  Update,
  Delete,
  CreateTable,
  CreateIndex,
  DropTable,
  DropIndex
};

enum class IndexOption { None, Primary, DisallowNull, IgnoreNull };

// How a result column of a SELECT is to be read when SQLite knows no declared type for it.
enum class ColumnHint { None, Date, MinMaxOf };

struct ForeignKey {
  std::string constraint;            // may be empty
  std::vector<std::string> columns;  // in the table being created
  std::string refTable;
  std::vector<std::string> refColumns;  // empty: the related table's primary key
};

struct SelectStatement {
  // One hint per result column, empty when the columns are not known (a *).
  std::vector<ColumnHint> hints;
  // SELECT TOP n with ORDER BY: Jet also returns the rows that tie with the
  // n-th, so the recordset stops itself, comparing the sort keys that the
  // translation appends as the last hiddenColumns result columns.
  std::optional<std::int64_t> top;
  int hiddenColumns = 0;
};

struct InsertStatement {};

struct UpdateStatement {
  std::vector<std::string> columns;  // the columns SET assigns
  // The SET list and the condition (empty: none) in SQLite text, and whether
  // each row's new values and its match depend on that row alone (no
  // subquery, no clock). Only then may the engine apply the statement a range
  // of rows at a time without changing its result.
  std::string assignments;
  std::string condition;
  bool rowLocal = false;
};

struct DeleteStatement {};

// What the engine checks against the schema before the table is made.
struct CreateTableStatement {
  std::vector<std::string> columns;
  std::vector<std::string> primaryKey;
  std::vector<std::vector<std::string>> uniqueKeys;
  std::vector<ForeignKey> foreignKeys;
};

struct CreateIndexStatement {
  std::string index;
  std::vector<std::string> columns;
  IndexOption option = IndexOption::None;
};

struct DropTableStatement {};

struct DropIndexStatement {
  std::string index;
};

// In the order of StatementKind.
using StatementDetail = std::variant<SelectStatement, InsertStatement, UpdateStatement,
                                     DeleteStatement, CreateTableStatement, CreateIndexStatement,
                                     DropTableStatement, DropIndexStatement>;

struct Statement {
  std::string sql;                     // the SQLite statement, prepared once
  std::vector<std::string> followUps;  // run after it inside the same savepoint (DDL only)
  std::string table;                   // the table written, created, dropped or indexed
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

static_assert(std::is_same_v<std::variant_alternative_t<
                                 static_cast<std::size_t>(StatementKind::Update), StatementDetail>,
                             UpdateStatement>);
static_assert(
    std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(StatementKind::DropIndex),
                                              StatementDetail>,
                   DropIndexStatement>);

}  // namespace mivotra::jet
