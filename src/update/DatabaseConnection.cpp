#include "update/DatabaseConnection.h"

#include <algorithm>
#include <cstdint>

#include "base/Translate.h"
#include "jet/ConnectionString.h"
#include "report/ErrorReport.h"
#include "res/Texts.h"

namespace mivotra {

std::string TargetDatabase::DatabaseFile() const {
  return PathName + FileName + Extension;
}

DatabaseConnection::DatabaseConnection(Dialogs& dialogs, UpdateEvents& events)
    : m_dialogs(dialogs), m_events(events) {}

void DatabaseConnection::Connect(const std::string& PathName, const std::string& FileName) {
  // A new attempt first closes what is open, so a failure cannot leave a
  // connected-looking window over an unopened connection.
  if (m_bConnected == 1) {
    m_bConnected = 0;
    try {
      m_pConnection->Close();
    } catch (...) {
      // The object is released next; a failing close changes nothing for the user.
    }
  }
  m_pConnection.Release();
  m_lastConnectFailure.clear();
  m_lastConnectError.reset();

  const std::string databaseName = FileName + m_target.Extension;
  if (CreateConnection(m_pConnection) == S_Ok) {
    try {
      m_pConnection->Open(
          BuildConnectionString(PathName, FileName, m_target.Password, m_target.Extension), "", "",
          0);
      m_bConnected = 1;
    } catch (const ComError& error) {
      // The failed connection's event tells the user; the search offers another file.
      m_lastConnectFailure =
          error.Description().empty() ? error.ErrorMessage() : error.Description();
      m_lastConnectError = error;
    } catch (...) {
      m_lastConnectFailure = Tr("update", "unexpected failure");
    }
  } else {
    m_pConnection.Release();
  }

  // Told outside the attempt: a front end that fails to show an open
  // connection must not leave it taken for a failed one.
  m_events.ConnectionChanged(
      {m_bConnected == 1 ? ConnectionReport::State::Opened : ConnectionReport::State::Failed,
       databaseName});
}

void DatabaseConnection::ExecuteStatement(std::int32_t number, const std::string& statement) {
  m_executedStatements.push_back({number, statement});
  Variant recordsAffected = Variant::I4(0);
  RecordsetPtr result = m_pConnection->Execute(statement, &recordsAffected, adOptionUnspecified);
  result.Release();
  recordsAffected.Clear();
}

void DatabaseConnection::ExecuteStatements(std::int32_t firstNumber,
                                           std::span<const std::string> statements) {
  if (statements.size() == 1) return ExecuteStatement(firstNumber, statements.front());
  const std::size_t recorded = m_executedStatements.size();
  for (std::size_t i = 0; i < statements.size(); ++i)
    m_executedStatements.push_back({firstNumber + static_cast<std::int32_t>(i), statements[i]});
  std::size_t failing = 0;
  try {
    m_pConnection->ExecuteInOnePass(statements, &failing);
  } catch (...) {
    m_executedStatements.resize(recorded + std::min(failing + 1, statements.size()));
    throw;
  }
}

void DatabaseConnection::Disconnect() {
  if (m_bConnected == 0) return;
  m_bConnected = 0;
  try {
    m_pConnection->Close();
  } catch (const ComError& error) {
    ShowAppMessage(m_dialogs, FormatComError(error));
  } catch (...) {
    ShowAppMessage(m_dialogs, texts::UnhandledException);
  }
}

}  // namespace mivotra
