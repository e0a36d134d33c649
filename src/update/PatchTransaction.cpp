#include "update/PatchTransaction.h"

#include <string>
#include <utility>

#include "base/Translate.h"
#include "jet/JetErrors.h"

namespace mivotra {
namespace {

[[noreturn]] void ThrowInUse(const Connection& connection) {
  jet::ThrowEngine(E_Fail, Format(Tr("engine",
                                     "The database '%1' is in use by another process, which "
                                     "keeps it in write-ahead log mode; close the other program "
                                     "and try again."),
                                  {connection.DataSource()}));
}

}  // namespace

void PatchTransaction::Begin(Connection& connection) {
  // SQLite opens a file it may not write (immutable, a read-only mount)
  // read-only and lets the transaction begin; the first write would fail
  // only after the update has acted on the begin (made a backup).
  if (connection.ReadOnly())
    jet::ThrowEngine(E_Fail, jet::ReadOnlyDatabase(connection.DataSource()));
  // In WAL mode committed changes may still sit in the log, where a copy of
  // the file misses them, and the write lock does not cover the file. For
  // the transaction the database goes back to a rollback journal, which
  // first writes the whole log into the file; SQLite allows that only while
  // no other connection has the database open.
  bool restoreLog = false;
  if (connection.JournalMode() == "wal") {
    if (!connection.SetJournalMode("delete")) ThrowInUse(connection);
    restoreLog = true;
  }
  try {
    connection.BeginTrans();
  } catch (...) {
    RestoreLog(connection, restoreLog);
    throw;
  }
  m_connection = &connection;
  m_restoreLog = restoreLog;
  // Another process may have turned the log on again in between.
  if (connection.JournalMode() == "wal") {
    Rollback();
    ThrowInUse(connection);
  }
}

void PatchTransaction::Commit() {
  m_connection->CommitTrans();
  RestoreLog(*std::exchange(m_connection, nullptr), m_restoreLog);
}

void PatchTransaction::Rollback() {
  Connection* const connection = std::exchange(m_connection, nullptr);
  if (!connection) return;
  connection->RollbackTrans();
  RestoreLog(*connection, m_restoreLog);
}

bool PatchTransaction::Abandon() noexcept {
  try {
    Rollback();
    return true;
  } catch (...) {
    // Closing the connection rolls back as well.
    return false;
  }
}

void PatchTransaction::RestoreLog(Connection& connection, bool restore) noexcept {
  if (!restore) return;
  try {
    connection.SetJournalMode("wal");
  } catch (...) {
  }
}

}  // namespace mivotra
