#include "jet/SqliteSchema.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "jet/sql/SqlText.h"

namespace mivotra::jet::schema {
namespace {

// Runs a query with `parameter` as its ?1, handing each row to `row`. Returns
// false on a failure that was not thrown (no context given).
bool Query(sqlite3* db, const std::string& sql, const FailureContext* context,
           const std::function<void(sqlite3_stmt*)>& row,
           std::optional<std::string_view> parameter = std::nullopt) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
  if (rc == SQLITE_OK) {
    if (parameter) {
      sqlite3_bind_text(raw, 1, parameter->data(), static_cast<int>(parameter->size()),
                        SQLITE_TRANSIENT);
    }
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) row(raw);
    if (rc == SQLITE_DONE) return true;
  }
  if (context) throw MapSqliteError(db, rc, sqlite3_errmsg(db), *context);
  return false;
}

}  // namespace

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = sqlite3_column_text(statement, column);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
              : std::string();
}

std::optional<std::string> ObjectName(sqlite3* db, std::string_view type, std::string_view name,
                                      const FailureContext* context) {
  std::optional<std::string> found;
  Query(
      db,
      "SELECT name FROM sqlite_master WHERE type = '" + std::string(type) +
          "' AND name = ?1 COLLATE NOCASE",
      context, [&found](sqlite3_stmt* s) { found = ColumnText(s, 0); }, name);
  return found;
}

std::vector<std::string> TableNames(sqlite3* db, const FailureContext* context) {
  std::vector<std::string> names;
  Query(db, "SELECT name FROM sqlite_master WHERE type = 'table'", context,
        [&names](sqlite3_stmt* s) { names.push_back(ColumnText(s, 0)); });
  return names;
}

std::vector<ColumnInfo> Columns(sqlite3* db, std::string_view table,
                                const FailureContext* context) {
  std::vector<ColumnInfo> columns;
  Query(db, "PRAGMA table_info(" + QuoteName(table) + ")", context, [&columns](sqlite3_stmt* s) {
    columns.push_back({ColumnText(s, 1), ColumnText(s, 2), sqlite3_column_int(s, 3) != 0,
                       sqlite3_column_int(s, 5)});
  });
  return columns;
}

std::vector<std::string> PrimaryKey(const std::vector<ColumnInfo>& columns) {
  std::vector<const ColumnInfo*> key;
  for (const auto& column : columns) {
    if (column.keyPosition > 0) key.push_back(&column);
  }
  std::sort(key.begin(), key.end(), [](const ColumnInfo* a, const ColumnInfo* b) {
    return a->keyPosition < b->keyPosition;
  });
  std::vector<std::string> names;
  for (const auto* column : key) names.push_back(column->name);
  return names;
}

std::vector<std::vector<std::string>> UniqueKeys(sqlite3* db, std::string_view table,
                                                 const FailureContext* context) {
  std::vector<std::vector<std::string>> keys;
  const auto primaryKey = PrimaryKey(Columns(db, table, context));
  if (!primaryKey.empty()) keys.push_back(primaryKey);
  for (auto& index : Indexes(db, table, context)) {
    if (index.unique && !index.partial) keys.push_back(std::move(index.columns));
  }
  return keys;
}

std::vector<ForeignKeyInfo> ForeignKeysOf(sqlite3* db, std::string_view table,
                                          const FailureContext* context) {
  std::vector<ForeignKeyInfo> keys;
  int currentId = -1;
  Query(db, "PRAGMA foreign_key_list(" + QuoteName(table) + ")", context, [&](sqlite3_stmt* s) {
    const int id = sqlite3_column_int(s, 0);
    if (id != currentId || keys.empty()) {
      currentId = id;
      keys.push_back({std::string(table), ColumnText(s, 2), {}, {}});
    }
    keys.back().columns.push_back(ColumnText(s, 3));
    if (sqlite3_column_type(s, 4) != SQLITE_NULL)
      keys.back().refColumns.push_back(ColumnText(s, 4));
  });
  return keys;
}

std::vector<ForeignKeyInfo> ForeignKeysTo(sqlite3* db, std::string_view table,
                                          const FailureContext* context) {
  std::vector<ForeignKeyInfo> found;
  for (const auto& name : TableNames(db, context)) {
    for (auto& key : ForeignKeysOf(db, name, context)) {
      if (EqualsNoCase(key.refTable, table)) {
        key.table = name;
        found.push_back(std::move(key));
      }
    }
  }
  return found;
}

std::vector<IndexInfo> Indexes(sqlite3* db, std::string_view table, const FailureContext* context) {
  std::vector<IndexInfo> indexes;
  Query(db, "PRAGMA index_list(" + QuoteName(table) + ")", context, [&indexes](sqlite3_stmt* s) {
    indexes.push_back({ColumnText(s, 1),
                       sqlite3_column_int(s, 2) != 0,
                       sqlite3_column_count(s) > 4 && sqlite3_column_int(s, 4) != 0,
                       {}});
  });
  for (auto& index : indexes) {
    Query(db, "PRAGMA index_info(" + QuoteName(index.name) + ")", context,
          [&index](sqlite3_stmt* s) { index.columns.push_back(ColumnText(s, 2)); });
  }
  return indexes;
}

std::optional<ObjectSql> TableOrView(sqlite3* db, std::string_view name,
                                     const FailureContext* context) {
  std::optional<ObjectSql> found;
  Query(
      db,
      "SELECT name, sql FROM sqlite_master WHERE type IN ('table', 'view') AND name = "
      "?1 COLLATE NOCASE",
      context,
      [&found](sqlite3_stmt* s) {
        found = ObjectSql{ColumnText(s, 0), ColumnText(s, 1)};
      },
      name);
  return found;
}

std::vector<ObjectSql> Triggers(sqlite3* db, std::string_view table,
                                const FailureContext* context) {
  std::vector<ObjectSql> triggers;
  Query(
      db,
      "SELECT name, sql FROM sqlite_master WHERE type = 'trigger' AND tbl_name = ?1 "
      "COLLATE NOCASE",
      context,
      [&triggers](sqlite3_stmt* s) {
        triggers.push_back({ColumnText(s, 0), ColumnText(s, 1)});
      },
      table);
  return triggers;
}

std::string OuterLoopPlan(sqlite3* db, std::string_view sql, const FailureContext* context) {
  std::string detail;
  Query(db, "EXPLAIN QUERY PLAN " + std::string(sql), context, [&detail](sqlite3_stmt* s) {
    if (detail.empty()) detail = ColumnText(s, 3);
  });
  return detail;
}

bool SameColumns(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  return std::all_of(a.begin(), a.end(), [&b](const std::string& name) {
    return std::any_of(b.begin(), b.end(),
                       [&name](const std::string& other) { return EqualsNoCase(name, other); });
  });
}

}  // namespace mivotra::jet::schema
