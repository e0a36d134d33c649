#pragma once
// The engine's failures: who reports them, and how SQLite's result codes and
// messages become the HRESULTs and descriptions that ADO and Jet give.

#include <chrono>
#include <string>
#include <string_view>

#include "jet/ComError.h"
#include "jet/Sources.h"
#include "jet/sql/Statement.h"

struct sqlite3;

namespace mivotra::jet {

// Codes ADO and Jet use that ComError.h does not name.
inline constexpr HRESULT DB_E_CantConvertValue = MakeHResult(0x80040E07);  // data type mismatch
inline constexpr HRESULT DB_E_ParamNotOptional =
    MakeHResult(0x80040E10);  // unknown name taken as parameter
inline constexpr HRESULT XACT_E_TransactionExists =
    MakeHResult(0x8004D013);  // transaction already open

// How long a statement waits for another process's lock before it fails.
inline constexpr int kBusyTimeoutMilliseconds = 5000;

[[noreturn]] void Throw(HRESULT code, std::string_view source, std::string description);
[[noreturn]] inline void ThrowEngine(HRESULT code, std::string description) {
  Throw(code, kEngineSource, std::move(description));
}

// Standard descriptions of the file-level failures.
std::string CouldNotFindFile(std::string_view file);
std::string UnrecognizedFormat(std::string_view file);
inline constexpr std::string_view kNotValidPassword = "Not a valid password.";

// What a failing SQLite call was doing, so the description can name it.
struct FailureContext {
  StatementKind kind = StatementKind::Select;
  std::string table;  // the table the statement writes, if any
  std::string file;   // the database file
  // How long a statement waited for another process's lock.
  std::chrono::milliseconds busyTimeout{kBusyTimeoutMilliseconds};
};

// The ComError for an SQLite failure. `db` may be asked about the schema to
// name the tables a failed relationship involves; it never changes anything.
ComError MapSqliteError(sqlite3* db, int resultCode, std::string_view message,
                        const FailureContext& context);

}  // namespace mivotra::jet
