#pragma once
// The one connection to the target database; each attempt to open it is
// reported as a ConnectionChanged event.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jet/Engine.h"
#include "update/Dialogs.h"
#include "update/UpdateEvents.h"

namespace mivotra {

// The database to update. PathName ends with '/'; FileName has no ".mdb".
struct TargetDatabase {
  std::string PathName;
  std::string FileName;
  std::string Password;
  // The database file's extension: ".mdb", or the chosen file's own spelling
  // of it (".MDB"), since the file system here tells letter cases apart.
  std::string Extension = ".mdb";

  std::string DatabaseFile() const;
};

// One statement handed to ExecuteStatement during a patch run.
struct ExecutedStatement {
  std::int32_t number = 0;
  std::string statement;
};

class DatabaseConnection {
 public:
  DatabaseConnection(Dialogs& dialogs, UpdateEvents& events);
  DatabaseConnection(const DatabaseConnection&) = delete;
  DatabaseConnection& operator=(const DatabaseConnection&) = delete;

  // Opens the database PathName + FileName + the target's extension with the
  // target's password; reports the outcome as an event, never in a message box.
  void Connect(const std::string& PathName, const std::string& FileName);
  // Records the statement, then executes it; engine failures leave as ComError.
  void ExecuteStatement(std::int32_t number, const std::string& statement);
  // Records the statements, numbered from firstNumber, then executes them in
  // one pass (Connection::ExecuteInOnePass). After a failure the record ends
  // with the statement that failed, as if each had run alone.
  void ExecuteStatements(std::int32_t firstNumber, std::span<const std::string> statements);
  // Closes an open connection, reporting a failure of the close in a message box.
  void Disconnect();

  bool IsConnected() const { return m_bConnected == 1; }
  // Why the last Connect failed (the engine's description, which never holds
  // the password), for front ends that can say more than the window's caption.
  const std::string& LastConnectFailure() const { return m_lastConnectFailure; }
  // The engine's failure of the last Connect, when it raised one.
  const std::optional<ComError>& LastConnectError() const { return m_lastConnectError; }

  // The engine connection for the update's other calls: the version query,
  // the table check, the transaction. A call without one raises E_Pointer.
  Connection& Engine() const { return m_pConnection.Get(); }
  bool HasEngine() const { return static_cast<bool>(m_pConnection); }

  TargetDatabase& Target() { return m_target; }
  const TargetDatabase& Target() const { return m_target; }

  // The statements handed to ExecuteStatement since the list was last emptied.
  const std::vector<ExecutedStatement>& ExecutedStatements() const { return m_executedStatements; }
  void ClearExecutedStatements() { m_executedStatements.clear(); }

 private:
  Dialogs& m_dialogs;
  UpdateEvents& m_events;
  TargetDatabase m_target;
  ConnectionPtr m_pConnection;
  int m_bConnected = 0;
  std::vector<ExecutedStatement> m_executedStatements;
  std::string m_lastConnectFailure;
  std::optional<ComError> m_lastConnectError;
};

}  // namespace mivotra
