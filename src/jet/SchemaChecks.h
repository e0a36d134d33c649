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

}  // namespace mivotra::jet
