#include "jet/RangedUpdate.h"

#include <sqlcipher/sqlite3.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

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

}  // namespace

RangedUpdate::RangedUpdate(sqlite3* db, FailureContext context, StatementHandle firstRow,
                           StatementHandle update)
    : m_db(db),
      m_context(std::move(context)),
      m_firstRow(std::move(firstRow)),
      m_update(std::move(update)) {}

std::optional<RangedUpdate> RangedUpdate::Plan(sqlite3* db, const Statement& statement,
                                               OnConflict conflict, const FailureContext& context) {
  const auto* update = statement.As<UpdateStatement>();
  if (!update || !update->rowLocal) return std::nullopt;
  const auto columns = schema::Columns(db, statement.table, &context);
  // A changed key could move a row into a range still to come.
  for (const auto& key : schema::PrimaryKey(columns)) {
    if (Contains(update->columns, key)) return std::nullopt;
  }
  const auto rowid = RowidName(columns);
  if (!rowid) return std::nullopt;
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

  // Other rows must not depend on what changes: no trigger but the engine's
  // own Null guards (which read only the new row), no relationship to an
  // assigned column.
  for (const auto& name : schema::TriggerNames(db, statement.table, &context)) {
    if (name.find(kRequiredTrigger) == std::string::npos) return std::nullopt;
  }
  for (const auto& key : schema::ForeignKeysTo(db, statement.table, &context)) {
    for (const auto& column : key.refColumns) {
      if (Contains(update->columns, column)) return std::nullopt;
    }
  }
  // With an index to find the rows, the whole statement reads less.
  if (schema::OuterLoopPlan(db, statement.sql, &context).rfind("SCAN ", 0) != 0) {
    return std::nullopt;
  }

  const std::string sql = UpdateSql(statement.table, *update, {conflict, *rowid});
  return RangedUpdate(db, context, std::move(firstRow), Prepare(db, sql, context));
}

std::int64_t RangedUpdate::Run() {
  return RunTogether({this, 1}, nullptr).front();
}

std::vector<std::int64_t> RangedUpdate::RunTogether(std::span<RangedUpdate> updates,
                                                    std::size_t* failing) {
  std::vector<std::int64_t> changes(updates.size(), 0);
  if (updates.empty()) return changes;
  // The first one's query finds the ranges; every update is of the same table.
  RangedUpdate& ranges = updates.front();
  if (failing) *failing = 0;
  std::optional<ComError> firstFailure;
  std::size_t running = updates.size();  // once one fails, those before it
  auto low = ranges.FirstRowAtOrAbove(kFirstRowid);
  while (low && running > 0) {
    const std::int64_t high =
        *low > kLastRowid - (kRangeRows - 1) ? kLastRowid : *low + (kRangeRows - 1);
    for (std::size_t i = 0; i < running; ++i) {
      try {
        changes[i] += updates[i].ApplyRange(*low, high);
      } catch (const ComError& error) {
        if (failing) *failing = i;
        if (sqlite3_get_autocommit(ranges.m_db)) throw;
        firstFailure = error;
        running = i;
      }
    }
    if (high == kLastRowid) break;
    low = ranges.FirstRowAtOrAbove(high + 1);
  }
  if (firstFailure) throw *firstFailure;
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

}  // namespace mivotra::jet
