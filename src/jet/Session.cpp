#include "jet/Session.h"

#include <sqlcipher/sqlite3.h>

#include <utility>

#include "base/Translate.h"

namespace mivotra::jet {

FailureContext Session::Context(StatementKind kind, std::string table) const {
  return FailureContext{kind, std::move(table), file, nullptr};
}

void Session::RequireLiveTransaction() const {
  if (inTransaction && db && sqlite3_get_autocommit(db)) ThrowEngine(E_Fail, TransactionLost());
}

std::string TransactionLost() {
  // The same English as kTransactionLost, which the tests compare.
  return Tr("engine",
            "The transaction was rolled back after an earlier failure: none of its changes were "
            "kept, and nothing more runs in it until it is ended.");
}

void StatementDeleter::operator()(sqlite3_stmt* statement) const noexcept {
  sqlite3_finalize(statement);
}

StatementHandle Prepare(sqlite3* db, std::string_view sql, const FailureContext& context) {
  sqlite3_stmt* statement = nullptr;
  const int rc =
      sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
  StatementHandle handle(statement);
  if (rc != SQLITE_OK) throw MapSqliteError(db, rc, sqlite3_errmsg(db), context);
  return handle;
}

void RunToEnd(sqlite3* db, sqlite3_stmt* statement, const FailureContext& context) {
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) throw MapSqliteError(db, rc, sqlite3_errmsg(db), context);
}

void Exec(sqlite3* db, std::string_view sql, const FailureContext& context) {
  StatementHandle statement = Prepare(db, sql, context);
  RunToEnd(db, statement.get(), context);
}

std::string FirstText(sqlite3* db, std::string_view sql, const FailureContext& context) {
  StatementHandle statement = Prepare(db, sql, context);
  std::string text;
  const int rc = sqlite3_step(statement.get());
  if (rc == SQLITE_ROW) {
    if (const auto* column = sqlite3_column_text(statement.get(), 0))
      text = reinterpret_cast<const char*>(column);
  } else if (rc != SQLITE_DONE) {
    throw MapSqliteError(db, rc, sqlite3_errmsg(db), context);
  }
  return text;
}

}  // namespace mivotra::jet
