#include "jet/RangedUpdate.h"

#include <sqlcipher/sqlite3.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "jet/SchemaChecks.h"
#include "jet/SqliteSchema.h"
#include "jet/sql/JetSql.h"

namespace mivotra::jet {
namespace {

constexpr std::int64_t kFirstRowid = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kLastRowid = std::numeric_limits<std::int64_t>::max();

bool Contains(const std::vector<std::string>& names, std::string_view name) {
  for (const auto& candidate : names) {
    if (EqualsNoCase(candidate, name)) return true;
  }
  return false;
}

bool AnyOf(const std::vector<std::string>& names, const std::vector<std::string>& assigned) {
  for (const auto& name : names) {
    if (Contains(assigned, name)) return true;
  }
  return false;
}

// SQLite answers to three names for the rowid, and a column may take any of them.
std::optional<std::string> RowidName(const std::vector<schema::ColumnInfo>& columns) {
  for (const char* name : {"rowid", "_rowid_", "oid"}) {
    bool taken = false;
    for (const auto& column : columns) taken = taken || EqualsNoCase(column.name, name);
    if (!taken) return std::string(name);
  }
  return std::nullopt;
}

std::optional<std::int64_t> FirstRowid(sqlite3* db, sqlite3_stmt* query, std::int64_t low,
                                       const FailureContext& context) {
  sqlite3_reset(query);
  sqlite3_bind_int64(query, 1, low);
  const int rc = sqlite3_step(query);
  std::optional<std::int64_t> found;
  if (rc == SQLITE_ROW) {
    found = sqlite3_column_int64(query, 0);
  } else if (rc != SQLITE_DONE) {
    throw MapSqliteError(db, rc, sqlite3_errmsg(db), context);
  }
  // Not left open: the update of the range writes the pages it read.
  sqlite3_reset(query);
  return found;
}

// Whether one row's change can depend on, or fail because of, another row:
// a unique index over an assigned column (or one that is partial, or over an
// expression, whose columns are not all known), or a relationship that
// holds an assigned column on either side.
bool RowsDependOnEachOther(sqlite3* db, const std::string& table,
                           const std::vector<std::string>& assigned,
                           const FailureContext& context) {
  for (const auto& index : schema::Indexes(db, table, &context)) {
    if (!index.unique) continue;
    if (index.partial || Contains(index.columns, "") || AnyOf(index.columns, assigned)) return true;
  }
  for (const auto& key : schema::ForeignKeysOf(db, table, &context)) {
    if (AnyOf(key.columns, assigned)) return true;
  }
  for (const auto& key : schema::ForeignKeysTo(db, table, &context)) {
    // No columns named: the key refers to the primary key, which no plan assigns.
    if (AnyOf(key.refColumns, assigned)) return true;
  }
  return false;
}

}  // namespace

RangedUpdate::RangedUpdate(sqlite3* db, FailureContext context, StatementHandle firstRow,
                           StatementHandle update)
    : m_db(db),
      m_context(std::move(context)),
      m_firstRow(std::move(firstRow)),
      m_update(std::move(update)) {}

std::optional<RangedUpdate> RangedUpdate::Plan(sqlite3* db, const Statement& statement,
                                               const FailureContext& context) {
  const auto* update = statement.As<UpdateStatement>();
  if (!update || !update->rowLocal) return std::nullopt;
  // Each range runs OR FAIL, which must mean what the plain UPDATE means.
  if (!OuterConflictClauseKeepsMeaning(db, statement.table, context)) return std::nullopt;
  const auto columns = schema::Columns(db, statement.table, &context);
  // A changed key could move a row into a range still to come.
  if (AnyOf(schema::PrimaryKey(columns), update->columns)) return std::nullopt;
  const auto rowid = RowidName(columns);
  if (!rowid) return std::nullopt;
  if (RowsDependOnEachOther(db, statement.table, update->columns, context)) return std::nullopt;
  const std::string table = QuoteName(statement.table);

  // A table without rowids refuses this query; it runs whole.
  sqlite3_stmt* raw = nullptr;
  const std::string firstRowSql = "SELECT " + *rowid + " FROM " + table + " NOT INDEXED WHERE " +
                                  *rowid + " >= ?1 ORDER BY " + *rowid + " LIMIT 1";
  const int prepared = sqlite3_prepare_v2(db, firstRowSql.c_str(),
                                          static_cast<int>(firstRowSql.size()), &raw, nullptr);
  StatementHandle firstRow(raw);
  if (prepared != SQLITE_OK) return std::nullopt;
  const auto first = FirstRowid(db, raw, kFirstRowid, context);
  if (!first || *first > kLastRowid - kRangeRows ||
      !FirstRowid(db, raw, *first + kRangeRows, context)) {
    return std::nullopt;
  }
  // With an index to find the rows, the whole statement reads less.
  if (schema::OuterLoopPlan(db, statement.sql, &context).rfind("SCAN ", 0) != 0) {
    return std::nullopt;
  }

  const std::string sql = UpdateSql(statement.table, *update, {OnConflict::Fail, *rowid});
  return RangedUpdate(db, context, std::move(firstRow), Prepare(db, sql, context));
}

std::optional<std::vector<std::int64_t>> RangedUpdate::RunTogether(sqlite3* db,
                                                                   std::span<RangedUpdate> updates,
                                                                   std::size_t* failing) {
  std::vector<std::int64_t> changes(updates.size(), 0);
  if (updates.empty()) return changes;
  // What the pass did goes as a whole when it fails, whatever it had done.
  Exec(db, "SAVEPOINT jet_pass", updates.front().m_context);
  std::size_t running = 0;
  try {
    // The first one's query finds the ranges; every update is of the same table.
    RangedUpdate& ranges = updates.front();
    auto low = ranges.FirstRowAtOrAbove(kFirstRowid);
    while (low) {
      const std::int64_t high =
          *low > kLastRowid - (kRangeRows - 1) ? kLastRowid : *low + (kRangeRows - 1);
      for (running = 0; running < updates.size(); ++running)
        changes[running] += updates[running].ApplyRange(*low, high);
      if (high == kLastRowid) break;
      running = 0;
      low = ranges.FirstRowAtOrAbove(high + 1);
    }
  } catch (const ComError&) {
    if (sqlite3_get_autocommit(db)) {
      if (failing) *failing = running;
      throw;
    }
    if (sqlite3_exec(db, "ROLLBACK TO jet_pass; RELEASE jet_pass", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
      // Undone only with the whole transaction: the failure is the running update's.
      if (failing) *failing = running;
      throw;
    }
    return std::nullopt;
  }
  Exec(db, "RELEASE jet_pass", updates.front().m_context);
  return changes;
}

std::int64_t RangedUpdate::ApplyRange(std::int64_t low, std::int64_t high) {
  sqlite3_stmt* update = m_update.get();
  sqlite3_bind_int64(update, 1, low);
  sqlite3_bind_int64(update, 2, high);
  RunToEnd(m_db, update, m_context);
  sqlite3_reset(update);
  return sqlite3_changes(m_db);
}

std::optional<std::int64_t> RangedUpdate::FirstRowAtOrAbove(std::int64_t low) {
  return FirstRowid(m_db, m_firstRow.get(), low, m_context);
}

RangedUpdate::CheckedPages::CheckedPages(sqlite3* db) : m_db(db) {
  sqlite3_exec(m_db, "PRAGMA cell_size_check = ON", nullptr, nullptr, nullptr);
}

RangedUpdate::CheckedPages::~CheckedPages() {
  sqlite3_exec(m_db, "PRAGMA cell_size_check = OFF", nullptr, nullptr, nullptr);
}

}  // namespace mivotra::jet
