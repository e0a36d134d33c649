#pragma once
// The Jet SQL front end: a tokenizer and a translator from Jet SQL (the
// dialect the Jet OLE DB provider accepts) to SQLite SQL, one file per part
// in this folder. Translation works on the statement alone; checks that need
// the schema (the tables a relationship refers to) are the engine's.

#include <string>
#include <string_view>

#include "jet/sql/DateLiteral.h"
#include "jet/sql/SqlText.h"
#include "jet/sql/Statement.h"
#include "jet/sql/Tokenize.h"

namespace mivotra::jet {

// Translates one Jet SQL statement (a trailing ';' allowed). Throws ComError
// DB_E_Syntax naming what is wrong and where, for anything it does not accept.
Statement Translate(std::string_view jetSql);

// What a broken constraint undoes (SQLite's ON CONFLICT).
enum class OnConflict {
  // The statement alone: SQLite keeps a statement journal, a copy of every
  // page the statement changes, to undo it with.
  Abort,
  // Nothing: the statement stops at the row, and the transaction goes on.
  // No statement journal.
  Fail,
  // The whole transaction. No statement journal.
  Rollback,
};

// How the engine may run a translated UPDATE besides as it stands.
struct UpdateForm {
  OnConflict conflict = OnConflict::Abort;
  // Not empty: only rows whose rowid, under this name, lies between ?1 and
  // ?2, found by the rowid alone (NOT INDEXED).
  std::string rowidRange;
};

// The UPDATE's SQLite text; with the default form it is the statement's own.
std::string UpdateSql(std::string_view table, const UpdateStatement& update,
                      const UpdateForm& form = {});

// Names of the constraints the translator adds; the engine recognises them
// when SQLite names the one a row broke.
inline constexpr std::string_view kMaxLengthCheck = "jet_maxlen_";  // + column
inline constexpr std::string_view kDateCheck = "jet_date_";         // + column

}  // namespace mivotra::jet
