#pragma once
// The update's one all-or-nothing transaction, and what the update asks of
// the database before it: a file it can write, in a journal mode a copy of
// the file can be trusted in, and no other program using it. It takes the
// write lock before the backup is made and holds it until the patch is
// committed or undone, so nothing can change the database in between.

#include "jet/Engine.h"

namespace mivotra {

class PatchTransaction {
 public:
  PatchTransaction() = default;
  // One still open (a run left by an exception) is rolled back.
  ~PatchTransaction() { Abandon(); }
  PatchTransaction(const PatchTransaction&) = delete;
  PatchTransaction& operator=(const PatchTransaction&) = delete;

  // Raises the engine's ComError when the database cannot be written, is in
  // use by another program in WAL mode, or the lock cannot be had.
  void Begin(Connection& connection);
  bool IsOpen() const { return m_connection != nullptr; }
  // A failure leaves the transaction open (nothing was committed, or SQLite's
  // last step failed after the commit): the caller decides how to end it.
  void Commit();
  // Ends it whatever the result; a failure is raised.
  void Rollback();
  // Ends it, leaving a failed rollback to the connection's close; true when
  // the rollback went through (or nothing was open).
  bool Abandon() noexcept;

 private:
  // Once the transaction is over, the log goes back on where it was found:
  // the other programs of the database chose it. A failure changes nothing
  // the database holds, so it is not reported.
  static void RestoreLog(Connection& connection, bool restore) noexcept;

  Connection* m_connection = nullptr;
  bool m_restoreLog = false;  // the database was in WAL mode before the transaction
};

}  // namespace mivotra
