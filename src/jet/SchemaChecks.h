#pragma once
// The checks Jet makes against the schema and SQLite does not: the table
// and key a new relationship refers to.

#include <string_view>

#include "jet/JetErrors.h"
#include "jet/sql/Statement.h"

struct sqlite3;

namespace mivotra::jet {

// Throws Jet's error when the statement may not run as it stands.
void CheckSchemaChange(sqlite3* db, const Statement& statement, const FailureContext& context);

// Whether an UPDATE of `table` may run OR ROLLBACK (or OR FAIL) and still
// change, keep or refuse exactly the rows the plain UPDATE would: the table
// is an ordinary one whose definition names no conflict handling of its own
// (ON CONFLICT REPLACE or IGNORE would be overridden), and it has no trigger
// (an outer OR clause also overrides those of the statements in a trigger).
bool OuterConflictClauseKeepsMeaning(sqlite3* db, std::string_view table,
                                     const FailureContext& context);

}  // namespace mivotra::jet
