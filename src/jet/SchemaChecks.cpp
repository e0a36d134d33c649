#include "jet/SchemaChecks.h"

#include <string>
#include <vector>

#include "jet/SqliteSchema.h"
#include "jet/sql/JetSql.h"
#include "jet/sql/SqlText.h"

namespace mivotra::jet {
namespace {

// The columns a required index guards: those of its own that may hold Null.
std::vector<std::string> NullableColumns(const std::vector<schema::ColumnInfo>& columns,
                                         const std::vector<std::string>& indexed) {
  std::vector<std::string> nullable;
  for (const auto& name : indexed) {
    for (const auto& column : columns) {
      if (EqualsNoCase(column.name, name) && !column.notNull && column.keyPosition == 0) {
        nullable.push_back(column.name);
      }
    }
  }
  return nullable;
}

void CheckCreateTable(sqlite3* db, const Statement& statement, const CreateTableStatement& create,
                      const FailureContext& context) {
  for (const auto& key : create.foreignKeys) {
    const std::string name = key.constraint.empty() ? std::string() : " '" + key.constraint + "'";
    const bool self = EqualsNoCase(key.refTable, statement.table);
    std::vector<std::string> columns = create.columns;
    std::vector<std::string> primaryKey = create.primaryKey;
    std::vector<std::vector<std::string>> uniqueKeys = create.uniqueKeys;
    std::string related = statement.table;
    if (!self) {
      const auto found = schema::TableName(db, key.refTable, &context);
      if (!found) {
        ThrowEngine(DB_E_NoTable, "Cannot find the table '" + key.refTable +
                                      "' that the relationship" + name + " of table '" +
                                      statement.table + "' refers to.");
      }
      related = *found;
      columns.clear();
      const auto info = schema::Columns(db, related, &context);
      for (const auto& column : info) columns.push_back(column.name);
      uniqueKeys = schema::UniqueKeys(db, related, &context);
      primaryKey = schema::PrimaryKey(info);
    } else if (!primaryKey.empty()) {
      uniqueKeys.push_back(primaryKey);
    }
    const std::vector<std::string> refColumns =
        key.refColumns.empty() ? primaryKey : key.refColumns;
    for (const auto& column : refColumns) {
      bool known = false;
      for (const auto& existing : columns) known = known || EqualsNoCase(existing, column);
      if (!known) {
        ThrowEngine(E_Fail, "The field '" + column + "' that the relationship" + name +
                                " refers to does not exist in table '" + related + "'.");
      }
    }
    if (!refColumns.empty() && refColumns.size() != key.columns.size()) {
      ThrowEngine(DB_E_Syntax, "The relationship" + name + " joins " +
                                   std::to_string(key.columns.size()) + " field(s) of '" +
                                   statement.table + "' to " + std::to_string(refColumns.size()) +
                                   " field(s) of '" + related + "'.");
    }
    bool unique = false;
    for (const auto& candidate : uniqueKeys)
      unique = unique || schema::SameColumns(candidate, refColumns);
    if (refColumns.empty() || !unique) {
      ThrowEngine(E_Fail, "No unique index found for the referenced field of the primary table '" +
                              related + "' (relationship" + name + " of table '" + statement.table +
                              "').");
    }
  }
}

void PlanCreateIndex(sqlite3* db, Statement& statement, const CreateIndexStatement& index,
                     const FailureContext& context) {
  if (index.option != IndexOption::Primary && index.option != IndexOption::DisallowNull) return;
  const auto columns = schema::Columns(db, statement.table, &context);
  if (index.option == IndexOption::Primary) {
    const auto primaryKey = schema::PrimaryKey(columns);
    if (!primaryKey.empty() && !schema::SameColumns(primaryKey, index.columns)) {
      ThrowEngine(E_Fail, "Primary key already exists: table '" + statement.table + "' has one.");
    }
  }
  // Only columns that may hold Null need a guard.
  const std::vector<std::string> nullable = NullableColumns(columns, index.columns);
  if (nullable.empty()) return;
  if (schema::HasNull(db, statement.table, nullable, &context)) {
    ThrowEngine(E_Fail, "Index or primary key cannot contain a Null value: table '" +
                            statement.table + "' holds Null in a field of index '" + index.index +
                            "'.");
  }
  statement.followUps = RequiredTriggers(index.index, statement.table, nullable);
}

void CheckDropTable(sqlite3* db, const Statement& statement, const FailureContext& context) {
  for (const auto& key : schema::ForeignKeysTo(db, statement.table, &context)) {
    if (EqualsNoCase(key.table, statement.table)) continue;
    ThrowEngine(E_Fail, "Cannot delete the table '" + statement.table +
                            "'. It is used in a relationship with table '" + key.table + "'.");
  }
}

void CheckDropIndex(sqlite3* db, const Statement& statement, const DropIndexStatement& drop,
                    const FailureContext& context) {
  const auto index = schema::Index(db, drop.index, &context);
  if (!index || !EqualsNoCase(index->table, statement.table)) {
    ThrowEngine(DB_E_NoTable,
                "Cannot find the index '" + drop.index + "' on table '" + statement.table + "'.");
  }
  if (!index->unique) return;
  // A relationship needs a unique index on the fields it refers to; another one may stand in.
  int covering = 0;
  for (const auto& key : schema::UniqueKeys(db, index->table, &context)) {
    covering += schema::SameColumns(key, index->columns) ? 1 : 0;
  }
  if (covering > 1) return;
  const auto primaryKey = schema::PrimaryKey(schema::Columns(db, index->table, &context));
  for (const auto& key : schema::ForeignKeysTo(db, index->table, &context)) {
    const auto& referred = key.refColumns.empty() ? primaryKey : key.refColumns;
    if (schema::SameColumns(referred, index->columns)) {
      ThrowEngine(E_Fail, "Cannot delete the index '" + index->name +
                              "'. It is used in a relationship with table '" + key.table + "'.");
    }
  }
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  return FoldCase(text).find(FoldCase(word)) != std::string::npos;
}

bool StartsWithNoCase(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && EqualsNoCase(text.substr(0, start.size()), start);
}

// A trigger the engine made for a required index, recognised by writing it
// again from that index and comparing the whole text, never by its name.
bool IsRequiredGuard(sqlite3* db, const schema::ObjectSql& trigger,
                     const std::vector<schema::ColumnInfo>& columns,
                     const FailureContext& context) {
  const std::size_t mark = trigger.name.find(kRequiredTrigger);
  if (mark == std::string::npos) return false;
  const auto index = schema::Index(db, trigger.name.substr(0, mark), &context);
  if (!index) return false;
  const auto nullable = NullableColumns(columns, index->columns);
  if (nullable.empty()) return false;
  for (const auto& guard :
       RequiredTriggers(trigger.name.substr(0, mark), trigger.table, nullable)) {
    if (FoldCase(guard) == FoldCase(trigger.sql)) return true;
  }
  return false;
}

}  // namespace

bool OuterConflictClauseKeepsMeaning(sqlite3* db, std::string_view table,
                                     const FailureContext& context) {
  const auto definition = schema::TableOrView(db, table, &context);
  if (!definition || !StartsWithNoCase(definition->sql, "CREATE TABLE") ||
      ContainsNoCase(definition->sql, "CONFLICT")) {
    return false;
  }
  const auto columns = schema::Columns(db, definition->name, &context);
  for (const auto& trigger : schema::Triggers(db, definition->name, &context)) {
    if (!IsRequiredGuard(db, trigger, columns, context)) return false;
  }
  return true;
}

void CheckSchemaChange(sqlite3* db, Statement& statement, const FailureContext& context) {
  if (const auto* create = statement.As<CreateTableStatement>()) {
    CheckCreateTable(db, statement, *create, context);
  } else if (const auto* index = statement.As<CreateIndexStatement>()) {
    PlanCreateIndex(db, statement, *index, context);
  } else if (statement.Kind() == StatementKind::DropTable) {
    CheckDropTable(db, statement, context);
  } else if (const auto* drop = statement.As<DropIndexStatement>()) {
    CheckDropIndex(db, statement, *drop, context);
  }
}

}  // namespace mivotra::jet
