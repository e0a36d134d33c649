#pragma once
// The checks Jet makes against the schema before a statement changes it:
// the tables and keys a relationship refers to, an index's table and the
// relationships that need it, the Null a new required index would refuse.

#include "jet/JetErrors.h"
#include "jet/sql/Statement.h"

struct sqlite3;

namespace mivotra::jet {

// Throws Jet's error when the statement may not run as it stands. A CREATE
// INDEX WITH PRIMARY or DISALLOW NULL gets the triggers that keep Null out
// as its follow-ups.
void CheckSchemaChange(sqlite3* db, Statement& statement, const FailureContext& context);

// Whether an UPDATE of `table` may run OR ROLLBACK (or OR FAIL) and still
// change, keep or refuse exactly the rows the plain UPDATE would: the table
// is an ordinary one whose definition names no conflict handling of its own
// (ON CONFLICT REPLACE or IGNORE would be overridden), and its only triggers
// are the Null guards of required indexes in the form the engine writes them
// (an outer OR clause also overrides those of the statements in a trigger).
bool OuterConflictClauseKeepsMeaning(sqlite3* db, std::string_view table,
                                     const FailureContext& context);

}  // namespace mivotra::jet
