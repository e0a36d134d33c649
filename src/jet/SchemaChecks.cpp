#include "jet/SchemaChecks.h"

#include <string>
#include <vector>

#include "base/Translate.h"
#include "jet/SqliteSchema.h"
#include "jet/sql/SqlText.h"

namespace mivotra::jet {
namespace {

// SQLite takes a relationship to a table or key that is not there and
// fails only the first row that needs it; Jet refuses the table.
void CheckCreateTable(sqlite3* db, const Statement& statement, const CreateTableStatement& create,
                      const FailureContext& context) {
  for (const auto& key : create.foreignKeys) {
    // The relationship's name, if it has one, as " 'name'" after the word.
    const std::string name = key.constraint.empty() ? std::string() : " '" + key.constraint + "'";
    const auto related = schema::ObjectName(db, "table", key.refTable, &context);
    if (!related) {
      ThrowEngine(DB_E_NoTable, Format(Tr("engine",
                                          "Cannot find the table '%1' that the relationship%2 of "
                                          "table '%3' refers to."),
                                       {key.refTable, name, statement.table}));
    }
    const auto info = schema::Columns(db, *related, &context);
    const std::vector<std::string> refColumns =
        key.refColumns.empty() ? schema::PrimaryKey(info) : key.refColumns;
    for (const auto& column : refColumns) {
      bool known = false;
      for (const auto& existing : info) known = known || EqualsNoCase(existing.name, column);
      if (!known) {
        ThrowEngine(E_Fail, Format(Tr("engine",
                                      "The field '%1' that the relationship%2 refers to does not "
                                      "exist in table '%3'."),
                                   {column, name, *related}));
      }
    }
    bool unique = false;
    for (const auto& candidate : schema::UniqueKeys(db, *related, &context))
      unique = unique || schema::SameColumns(candidate, refColumns);
    if (refColumns.size() != 1 || !unique) {
      ThrowEngine(E_Fail, Format(Tr("engine",
                                    "No unique index found for the referenced field of the "
                                    "primary table '%1' (relationship%2 of table '%3')."),
                                 {*related, name, statement.table}));
    }
  }
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  return FoldCase(text).find(FoldCase(word)) != std::string::npos;
}

}  // namespace

bool OuterConflictClauseKeepsMeaning(sqlite3* db, std::string_view table,
                                     const FailureContext& context) {
  const auto definition = schema::TableOrView(db, table, &context);
  return definition && FoldCase(definition->sql).rfind("create table", 0) == 0 &&
         !ContainsNoCase(definition->sql, "CONFLICT") &&
         schema::Triggers(db, definition->name, &context).empty();
}

void CheckSchemaChange(sqlite3* db, const Statement& statement, const FailureContext& context) {
  if (const auto* create = statement.As<CreateTableStatement>())
    CheckCreateTable(db, statement, *create, context);
}

}  // namespace mivotra::jet
