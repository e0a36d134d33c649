#pragma once
// The engine's failures: who reports them, and how SQLite's extended result
// codes become the HRESULTs and descriptions that ADO and Jet give. SQLite's
// messages are read only for the names they carry.

#include <memory>
#include <string>
#include <string_view>

#include "jet/ComError.h"
#include "jet/Sources.h"
#include "jet/sql/Statement.h"

struct sqlite3;

namespace mivotra::jet {

// Codes ADO and Jet use that ComError.h does not name.
inline constexpr HRESULT DB_E_ParamNotOptional =
    MakeHResult(0x80040E10);  // unknown name taken as parameter

// How long a statement waits for another process's lock before it fails.
inline constexpr int kBusyTimeoutMilliseconds = 5000;

[[noreturn]] void Throw(HRESULT code, std::string_view source, std::string description);
[[noreturn]] inline void ThrowEngine(HRESULT code, std::string description) {
  Throw(code, kEngineSource, std::move(description));
}

// Standard descriptions of the file-level failures, in the user's language.
std::string CouldNotFindFile(std::string_view file);
std::string UnrecognizedFormat(std::string_view file);
std::string ReadOnlyDatabase(std::string_view file);
std::string NotValidPassword();

// What a failing SQLite call was doing, so the description can name it.
struct FailureContext {
  StatementKind kind = StatementKind::Select;
  std::string table;  // the table the statement writes, if any
  std::string file;   // the database file
  // The translated statement running, if any: a failure to prepare it
  // (also again at a step, after another connection changed the schema)
  // may be about one of the names it uses.
  std::shared_ptr<const Statement> statement;
};

// The ComError for an SQLite failure. `db` may be asked about the schema to
// name the table, field or relationship a failure is about; it never changes
// anything.
ComError MapSqliteError(sqlite3* db, int resultCode, std::string_view message,
                        const FailureContext& context);

}  // namespace mivotra::jet
