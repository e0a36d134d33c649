#pragma once
// The open database that a connection and its recordsets share, and the one
// path by which the engine runs SQLite statements: every failure becomes the
// mapped ComError, named by its FailureContext.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/CipherFormat.h"
#include "jet/JetErrors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace mivotra::jet {

class SqliteRecordset;

// The open database. The connection closes it; recordsets still reading
// are closed first, as ADO closes them with their connection.
struct Session {
  sqlite3* db = nullptr;
  std::string file;
  // SQLite's own descriptor of the file, -1 when it could not be found.
  int fileDescriptor = -1;
  // The folder a path too long for SQLite is opened through (-1: none); the
  // connection closes it after the database.
  int folderDescriptor = -1;
  bool encrypted = false;
  // The format found at the open; any other connection to the file uses it.
  CipherFormat format = CipherFormat::Plain;
  // Between BeginTrans and its commit or rollback.
  bool inTransaction = false;
  std::vector<SqliteRecordset*> recordsets;

  // What a failing call on this database was doing.
  FailureContext Context(StatementKind kind, std::string table = {}) const;

  // SQLite rolls a whole transaction back by itself after some failures
  // (out of memory, I/O errors, a full disk) in a statement that has no
  // statement journal. Whatever ran next would run outside it, without its
  // lock and without its undo, so every call refuses until the caller ends it.
  void RequireLiveTransaction() const;
};

// What the engine says when SQLite ended a transaction on its own, in
// English; TransactionLost() says it in the user's language.
inline constexpr std::string_view kTransactionLost =
    "The transaction was rolled back after an earlier failure: none of its changes were kept, "
    "and nothing more runs in it until it is ended.";
std::string TransactionLost();

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const noexcept;
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

StatementHandle Prepare(sqlite3* db, std::string_view sql, const FailureContext& context);
void RunToEnd(sqlite3* db, sqlite3_stmt* statement, const FailureContext& context);
// Prepare and RunToEnd in one.
void Exec(sqlite3* db, std::string_view sql, const FailureContext& context);
// The first column of the first row as text ("" when none), as a PRAGMA
// answers ("delete", "wal", "ok", ...).
std::string FirstText(sqlite3* db, std::string_view sql, const FailureContext& context);

}  // namespace mivotra::jet
