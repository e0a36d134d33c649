#include "update/PatchSession.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "db/ConnectionString.h"
#include "db/ErrorReport.h"
#include "res/Texts.h"
#include "target/BackupCopy.h"
#include "target/DatabaseSettings.h"
#include "target/FileSystem.h"
#include "target/PathSplit.h"
#include "update/PatchReport.h"
#include "update/PatchScript.h"

namespace mivotra {

bool PatchSession::HeldFile::Open(const std::string& path) {
  Close();
  // O_NONBLOCK: a FIFO put in the database's place must not hang the run.
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  return m_fd >= 0;
}

void PatchSession::HeldFile::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

PatchSession::PatchSession(Screen& screen, MainApplicationProbe& probe)
    : m_screen(screen),
      m_probe(probe),
      m_db(screen),
      m_updateItems{std::string(texts::UpdateItem1), std::string(texts::UpdateItem2)} {}

void PatchSession::ReadSettings() {
  const StoredDatabase stored = ReadDatabaseSettings();
  if (!stored.found) return;
  m_db.target.FileName = stored.FileName;
  m_db.target.PathName = stored.PathName;
  m_db.target.Password = stored.Password;
}

void PatchSession::LocateDatabase() {
  ReadSettings();
  OpenLocatedDatabase();
}

void PatchSession::OpenLocatedDatabase() {
  if (PathExists(m_db.target.DatabaseFile())) {
    m_db.Connect(m_db.target.PathName, m_db.target.FileName);
  } else {
    m_screen.SetCaption(texts::CaptionNotSelected);
    m_db.SetControlsEnabled(1);
  }
}

void PatchSession::OnSearchDatabase() {
  const std::optional<std::string> chosen = m_screen.ChooseDatabaseFile();
  if (!chosen) return;
  ConnectChosenFile(*chosen);
}

void PatchSession::ConnectChosenFile(const std::string& fullPath) {
  const ChosenPath split = SplitChosenPath(fullPath);
  m_db.target.PathName = split.PathName;
  m_db.target.FileName = split.FileName;
  m_db.Connect(m_db.target.PathName, m_db.target.FileName);
}

std::string PatchSession::BackupFolder() const {
  return m_db.target.PathName + std::string(texts::BackupFolderName) + "/";
}

std::string PatchSession::BackupFile() const {
  return BackupFolder() + m_db.target.FileName + std::string(texts::BackupNameSuffix) +
         std::string(texts::DatabaseExtension);
}

std::string PatchSession::ReadVersion(Connection& connection) {
  Variant recordsAffected = Variant::I4(0);
  RecordsetPtr recordset = connection.Execute(texts::VersionQuery, &recordsAffected, adOptionUnspecified);
  std::string version;
  if (!recordset->EndOfFile()) {
    const Variant value = recordset->Collect(texts::VersionColumn);
    if (!value.IsNull()) version = VariantToText(value);
  }
  recordset->Close();
  return version;
}

bool PatchSession::PassesVersionGate() {
  try {
    const std::string version = ReadVersion(m_db.m_pConnection.Get());
    if (version == texts::RequiredVersion) return true;
    m_screen.ShowMessage(std::string(texts::M2Before) + std::string(texts::RequiredVersion) +
                             std::string(texts::M2Middle) + version + std::string(texts::M2After),
                         texts::UpdateDateLabel, MessageIcon::Information);
  } catch (const ComError& error) {
    ShowAppMessage(m_screen, FormatComError(error));
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    m_screen.ShowMessage(texts::VersionQuery, texts::DisplayName, MessageIcon::None);
  } catch (...) {
    ShowAppMessage(m_screen, texts::UnhandledException);
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
  }
  return false;
}

bool PatchSession::MainApplicationRuns() {
  if (!m_probe.IsMainApplicationRunning()) return false;
  m_screen.ShowMessage(texts::M1MainApplicationRunning, texts::RefusalCaption, MessageIcon::Stop);
  return true;
}

bool PatchSession::OnRunUpdate() {
  if (MainApplicationRuns()) return false;
  m_db.SetControlsEnabled(0);
  if (!PassesVersionGate()) {
    m_db.SetControlsEnabled(1);
    return false;
  }

  m_screen.ShowMessage(texts::M3BackupNotice, texts::UpdateDateLabel, MessageIcon::Information);
  const std::string folder = BackupFolder();
  if (!PathExists(folder)) CreateFolder(folder);
  if (PathExists(BackupFile())) {
    m_screen.ShowMessage(texts::M4BackupExists, texts::UpdateDateLabel, MessageIcon::Information);
    m_screen.OpenFolder(folder);
    m_db.SetControlsEnabled(1);
    return false;
  }
  if (!MakeBackup()) {
    m_screen.ShowMessage(texts::M5CopyFailed, texts::UpdateDateLabel, MessageIcon::Exclamation);
    m_screen.OpenFolder(folder);
    m_db.SetControlsEnabled(1);
    return false;
  }
  const bool updated = RunPatchScript() == 1;
  m_db.SetControlsEnabled(1);
  return updated;
}

bool PatchSession::MakeBackup() {
  m_lastCopyFailure.clear();
  // The write lock is taken before the copy and kept until the patch ends, so
  // no other process can change the database between the backup and the update.
  try {
    m_db.m_pConnection->BeginTrans();
    m_transactionOpen = true;
  } catch (const ComError& error) {
    ShowAppMessage(m_screen, FormatComError(error));
    m_lastCopyFailure = error.Description();
    return false;
  }
  // The copy reads through a descriptor kept until the transaction ends (see
  // HeldFile): its own close would silently give the lock away.
  const std::string source = m_db.target.DatabaseFile();
  const std::string backup = BackupFile();
  if (!m_backupSource.Open(source)) {
    m_lastCopyFailure = "cannot open " + source + ": " + std::strerror(errno);
    m_screen.EndCopyProgress();
  } else if (CopyToNewFile(m_backupSource.fd(), source, backup, m_screen, CopyOptions{},
                           &m_lastCopyFailure)) {
    if (VerifyBackup()) return true;
    ::unlink(backup.c_str());
  }
  EndTransaction(false);
  return false;
}

bool PatchSession::VerifyBackup() {
  // A backup that does not open as the same 1.06 database is no backup.
  try {
    ConnectionPtr check;
    if (CreateConnection(check) != S_OK) return false;
    check->Open(BuildConnectionString(BackupFolder(), m_db.target.FileName + std::string(texts::BackupNameSuffix),
                                      m_db.target.Password));
    const bool same = ReadVersion(*check) == texts::RequiredVersion;
    check->Close();
    if (!same) m_lastCopyFailure = "the backup copy does not read as version 1.06";
    return same;
  } catch (const ComError& error) {
    m_lastCopyFailure = "the backup copy cannot be opened: " + error.Description();
    return false;
  }
}

void PatchSession::EndTransaction(bool commit) {
  if (!m_transactionOpen) return;
  m_transactionOpen = false;
  // Whichever way the transaction ends, the copy's descriptor goes after it.
  struct CloseAfter {
    HeldFile& file;
    ~CloseAfter() { file.Close(); }
  } closeAfter{m_backupSource};
  try {
    if (commit) {
      m_db.m_pConnection->CommitTrans();
      return;
    }
  } catch (...) {
    // A commit that failed (another process held the file) leaves the
    // transaction open: undo it before the failure is reported.
    try {
      m_db.m_pConnection->RollbackTrans();
    } catch (...) {
    }
    throw;
  }
  try {
    m_db.m_pConnection->RollbackTrans();
  } catch (...) {
    // Closing the connection rolls back as well; the failure is already being reported.
  }
}

int PatchSession::TableExists(const std::string& name) {
  Connection& connection = m_db.m_pConnection.Get();
  if (connection.State() != adStateOpen) return 0;
  int result = 0;
  try {
    RecordsetPtr tables = connection.OpenSchema(adSchemaTables);
    if (!tables->BOF()) {
      while (!tables->EndOfFile()) {
        std::string text = VariantToText(tables->Collect("TABLE_NAME"));
        if (!text.empty()) {
          if (const auto semicolon = text.find(';'); semicolon != std::string::npos) text.resize(semicolon);
        }
        if (!text.empty() && text.find(' ') != std::string::npos) text = "[" + text + "]";
        if (text == name) result = 1;
        tables->MoveNext();
      }
    }
    tables.Release();
  } catch (const ComError& error) {
    ShowAppMessage(m_screen, FormatComError(error));
  } catch (...) {
    ShowAppMessage(m_screen, texts::UnknownErrorShort);
  }
  return result;
}

int PatchSession::RunPatchScript() {
  m_screen.SetWaitCursor(true);
  std::string current;
  try {
    // All statements form one transaction, so a failure leaves the database
    // exactly as it was instead of half-upgraded.
    if (!m_transactionOpen && m_db.m_pConnection && m_db.m_pConnection->State() == adStateOpen) {
      m_db.m_pConnection->BeginTrans();
      m_transactionOpen = true;
    }
    ForEachPatchStatement(
        m_updateItems, [this](const std::string& table) { return TableExists(table) == 1; },
        [this, &current](int step, const std::string& statement) {
          current = statement;
          m_db.ExecuteStatement(step, statement);
        },
        [this] { m_screen.AdvanceProgress(); });
    EndTransaction(true);
    ReportPatchSuccess();
    return 1;
  } catch (const ComError& error) {
    EndTransaction(false);
    ReportPatchFailure(error, current);
  } catch (...) {
    EndTransaction(false);
    ReportPatchFailure();
  }
  return 0;
}

std::optional<std::vector<ExecutedStatement>> PatchSession::PlanUpdate() {
  if (MainApplicationRuns() || !PassesVersionGate()) return std::nullopt;
  std::vector<ExecutedStatement> plan;
  ForEachPatchStatement(
      m_updateItems, [this](const std::string& table) { return TableExists(table) == 1; },
      [&plan](int step, const std::string& statement) { plan.push_back({step, statement}); }, [] {});
  return plan;
}

void PatchSession::ReportPatchSuccess() {
  m_screen.ShowMessage(texts::UpdateFinished,
                       std::string(texts::UpdateDateLabel) + std::string(texts::UpdateFinishedCaptionSuffix),
                       MessageIcon::None);
  m_screen.CopyTextToClipboard(NumberedStatementList(m_db.m_executedStatements));
  m_db.m_executedStatements.clear();
  m_screen.SetWaitCursor(false);
}

void PatchSession::ReportPatchFailure(const ComError& error, const std::string& statement) {
  ShowAppMessage(m_screen, FormatComError(error));
  m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
  m_screen.ShowMessage(statement, texts::DisplayName, MessageIcon::None);
  m_screen.ShowUpdateError(UpdateErrorText(error, statement, m_db.m_executedStatements));
  m_db.m_executedStatements.clear();
  m_screen.SetWaitCursor(false);
}

void PatchSession::ReportPatchFailure() {
  ShowAppMessage(m_screen, texts::UnhandledException);
  m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
  m_screen.ShowUpdateError(UpdateErrorText(m_db.m_executedStatements));
  m_db.m_executedStatements.clear();
  m_screen.SetWaitCursor(false);
}

}  // namespace mivotra
