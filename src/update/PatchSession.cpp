#include "update/PatchSession.h"

#include <optional>

#include "platform/DatabaseUsers.h"
#include "report/ErrorReport.h"
#include "report/ValueText.h"
#include "res/Texts.h"
#include "target/Backup.h"
#include "target/BackupCopy.h"
#include "target/DatabaseSettings.h"
#include "target/FileSystem.h"
#include "target/PathSplit.h"
#include "update/PatchReport.h"
#include "update/PatchScript.h"

namespace mivotra {

PatchSession::PatchSession(Screen& screen, MainApplicationProbe& probe)
    : m_screen(screen),
      m_probe(probe),
      m_db(screen, screen),
      m_updateItems{std::string(texts::UpdateItem1), std::string(texts::UpdateItem2)} {}

bool PatchSession::ReadSettings() {
  const StoredDatabase stored = ReadDatabaseSettings();
  if (!stored.found) return false;
  m_db.Target().FileName = stored.FileName;
  m_db.Target().PathName = stored.PathName;
  m_db.Target().Password = stored.Password;
  m_db.Target().Extension = std::string(texts::DatabaseExtension);
  return true;
}

void PatchSession::LocateDatabase() {
  ReadSettings();
  OpenLocatedDatabase();
}

void PatchSession::OpenLocatedDatabase() {
  if (PathExists(m_db.Target().DatabaseFile())) {
    m_db.Connect(m_db.Target().PathName, m_db.Target().FileName);
  } else {
    m_screen.ConnectionChanged({ConnectionReport::State::NotSelected, {}, m_db.IsConnected()});
  }
}

void PatchSession::OnSearchDatabase() {
  const std::optional<std::string> chosen = m_screen.ChooseDatabaseFile();
  if (!chosen) return;
  ConnectChosenFile(*chosen);
}

void PatchSession::ConnectChosenFile(const std::string& fullPath) {
  const ChosenPath split = SplitChosenPath(fullPath);
  m_db.Target().PathName = split.PathName;
  m_db.Target().FileName = split.FileName;
  m_db.Target().Extension = DatabaseExtensionOf(split);
  m_db.Connect(m_db.Target().PathName, m_db.Target().FileName);
}

std::string PatchSession::BackupFolder() const {
  return m_db.Target().PathName + std::string(texts::BackupFolderName) + "/";
}

std::string PatchSession::BackupFile() const {
  return BackupFolder() + m_db.Target().FileName + std::string(texts::BackupNameSuffix) +
         std::string(texts::DatabaseExtension);
}

std::string PatchSession::ReadVersion(Connection& connection) {
  Variant recordsAffected = Variant::I4(0);
  RecordsetPtr recordset =
      connection.Execute(texts::VersionQuery, &recordsAffected, adOptionUnspecified);
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
    const std::string version = ReadVersion(m_db.Engine());
    m_lastRun.versionBefore = version;
    if (version == texts::RequiredVersion) return true;
    m_lastRun.end = RunRecord::End::Refused;
    m_screen.ShowMessage(std::string(texts::M2Before) + std::string(texts::RequiredVersion) +
                             std::string(texts::M2Middle) + version + std::string(texts::M2After),
                         texts::UpdateDateLabel, MessageIcon::Information);
  } catch (const ComError& error) {
    m_lastRun.end = RunRecord::End::Failed;
    m_lastRun.error = error;
    ShowAppMessage(m_screen, FormatComError(error));
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    m_screen.ShowMessage(texts::VersionQuery, texts::DisplayName, MessageIcon::None);
  } catch (...) {
    m_lastRun.end = RunRecord::End::Failed;
    ShowAppMessage(m_screen, texts::UnhandledException);
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
  }
  return false;
}

bool PatchSession::MainApplicationRuns() {
  if (!m_probe.IsMainApplicationRunning() && !OtherProcessUsesTheDatabase()) return false;
  ShowMainApplicationRuns();
  return true;
}

// The window test alone misses a main application on Wayland or a console,
// and any other program that has the database open: every process this user
// can see with the file, its journal or its log open, and every lock on it,
// counts as the main application.
bool PatchSession::OtherProcessUsesTheDatabase() {
  if (!m_db.IsConnected() || !m_db.HasEngine()) return false;
  const Connection& connection = m_db.Engine();
  const int descriptor = connection.DatabaseFileDescriptor();
  if (descriptor < 0) return false;
  const auto user = FindOtherDatabaseUser(connection.DataSource(), descriptor);
  if (!user) return false;
  m_lastReason = "the database is in use: " + user->reason;
  return true;
}

void PatchSession::ShowMainApplicationRuns() {
  m_screen.ShowMessage(texts::M1MainApplicationRunning, texts::RefusalCaption, MessageIcon::Stop);
}

bool PatchSession::OnRunUpdate() {
  return Run(Mode::Update);
}

bool PatchSession::RehearseUpdate() {
  return Run(Mode::Rehearsal);
}

bool PatchSession::Run(Mode mode) {
  m_lastReason.clear();
  m_lastRun = RunRecord{};
  if (MainApplicationRuns()) {
    // Refused before the run began: nothing on the window changes.
    m_lastRun.end = RunRecord::End::Refused;
    return false;
  }
  m_screen.RunStarted();
  const Stage stage = RunSteps(mode);
  if (!m_lastRun.versionAfter) {
    if (stage == Stage::StoppedBeforePatch) {
      // Nothing was written: the database is as the gate found it.
      m_lastRun.versionAfter = m_lastRun.versionBefore;
    } else {
      // A failure after the commit may have put the backup back or left the
      // file in doubt: only reading it tells.
      try {
        m_lastRun.versionAfter = ReadVersion(m_db.Engine());
      } catch (...) {
        // The record then leaves the version unknown.
      }
    }
  }
  m_screen.RunEnded(m_lastRun);
  return stage == Stage::PatchDone;
}

PatchSession::Stage PatchSession::RunSteps(Mode mode) {
  if (!PassesVersionGate()) return Stage::StoppedBeforePatch;

  // A file-size limit would otherwise end the process in the middle of the
  // copy or the patch without a word.
  FileSizeLimitAsFailure fileSizeLimit;
  m_screen.ShowMessage(texts::M3BackupNotice, texts::UpdateDateLabel, MessageIcon::Information);
  const std::string folder = BackupFolder();
  // Why the folder could not be made, for when the copy then fails. A
  // rehearsal makes no folder; whether one could be made is its backup check.
  std::string folderFailure;
  if (mode == Mode::Update && !PathExists(folder)) CreateFolder(folder, &folderFailure);
  if (PathExists(BackupFile())) {
    m_lastRun.end = RunRecord::End::Refused;
    m_screen.ShowMessage(texts::M4BackupExists, texts::UpdateDateLabel, MessageIcon::Information);
    m_screen.OpenFolder(folder);
    return Stage::StoppedBeforePatch;
  }
  switch (LockAndBackUp(mode, folderFailure)) {
    case Backup::Made:
      break;
    case Backup::InUse:
      m_lastRun.end = RunRecord::End::Refused;
      ShowMainApplicationRuns();
      return Stage::StoppedBeforePatch;
    case Backup::LockFailed:
      m_lastRun.end = RunRecord::End::Failed;
      return Stage::StoppedBeforePatch;
    case Backup::Failed:
      m_lastRun.end = RunRecord::End::Failed;
      m_screen.ShowMessage(texts::M5CopyFailed, texts::UpdateDateLabel, MessageIcon::Exclamation);
      m_screen.OpenFolder(folder);
      return Stage::StoppedBeforePatch;
  }
  if (mode == Mode::Update) m_lastRun.backup = BackupFile();
  return RunPatch(mode) ? Stage::PatchDone : Stage::PatchFailed;
}

PatchSession::Backup PatchSession::LockAndBackUp(Mode mode, const std::string& folderFailure) {
  // The write lock is taken before the copy and kept until the patch ends, so
  // no other process can change the database between the backup and the update.
  try {
    m_db.Engine().BeginTrans(TransactionMode::AllOrNothing);
    m_transactionOpen = true;
  } catch (const ComError& error) {
    // Someone opened the database after the first look.
    if (OtherProcessUsesTheDatabase()) return Backup::InUse;
    // Nothing was copied: this is the update failing, as its first statement
    // would have, not the copy.
    m_lastRun.error = error;
    m_lastReason = error.Description();
    ShowAppMessage(m_screen, FormatComError(error));
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    return Backup::LockFailed;
  }
  if (mode == Mode::Update ? CopyDatabase() : CheckCopy()) return Backup::Made;
  RollbackPatch();
  // A folder that could not be made is why the copy found none.
  if (!folderFailure.empty() && !PathExists(BackupFolder())) m_lastReason = folderFailure;
  return Backup::Failed;
}

bool PatchSession::CheckCopy() {
  Connection& connection = m_db.Engine();
  m_screen.EndCopyProgress();
  return CheckBackup({connection.DatabaseFileDescriptor(), connection.DataSource(), BackupFile(),
                      m_db.Target().PathName},
                     &m_lastReason);
}

bool PatchSession::CopyDatabase() {
  Connection& connection = m_db.Engine();
  if (!m_databaseFolder.Open(FolderOf(connection.DataSource()), &m_lastReason)) {
    m_screen.EndCopyProgress();
    return false;
  }
  return MakeBackup({connection.DatabaseFileDescriptor(), connection.DataSource(), BackupFile(),
                     m_db.Target().PathName},
                    m_screen, &m_lastReason);
}

void PatchSession::CommitPatch() {
  // Taken before the commit: after it, a failure to allocate would be told
  // over a database that holds the update (sweep/oom).
  const std::string database = m_db.Engine().DataSource();
  m_transactionOpen = false;
  try {
    m_db.Engine().CommitTrans();
  } catch (const ComError&) {
    // A rollback that fails may leave the transaction open, and inside it
    // the update reads as made although nothing was committed.
    bool ended = true;
    try {
      m_db.Engine().RollbackTrans();
    } catch (...) {
      ended = false;
    }
    // SQLite may report a failure of the commit's last step (the folder's
    // sync after the journal is deleted) when the commit was in fact made;
    // the database, read again from the disk, tells which (sweep/eio).
    if (!ended || !CommitWasMade()) throw;
  }
  // Another file given the database's name while the update was written:
  // the update went into the file the engine has open, which no name leads
  // to any more, and the file at the name is someone else's.
  if (!StillNamedBy(m_db.Engine().DatabaseFileDescriptor(), database)) {
    m_databaseFolder.Close();
    throw ComError(E_Fail, ErrorInfo{std::string(texts::DisplayName),
                                     "The file at the database's name was moved or replaced while "
                                     "the update was written, and is left as it is. The backup " +
                                         BackupFile() + " holds the database as it was before."});
  }
  // SQLite writes the folder to disk after deleting the journal, but skips
  // that when it cannot open the folder (no descriptor left).
  std::string why;
  if (m_databaseFolder.IsOpen() && !m_databaseFolder.Sync(&why))
    m_lastReason = "the update is complete, but " + why +
                   "; keep the backup until the database has been checked";
  m_databaseFolder.Close();
}

bool PatchSession::CommitWasMade() noexcept {
  // Twice: one failure for want of memory is no answer.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      return ReadVersion(m_db.Engine()) == kPatchedVersion;
    } catch (...) {
    }
  }
  return false;
}

void PatchSession::RollbackPatch() noexcept {
  m_databaseFolder.Close();
  if (!m_transactionOpen) return;
  m_transactionOpen = false;
  try {
    m_db.Engine().RollbackTrans();
  } catch (...) {
    // Closing the connection rolls back as well; the failure is already being reported.
  }
}

bool PatchSession::TableExists(const std::string& name) {
  Connection& connection = m_db.Engine();
  if (connection.State() != adStateOpen) return false;
  bool result = false;
  try {
    RecordsetPtr tables = connection.OpenSchema(adSchemaTables);
    if (!tables->BOF()) {
      while (!tables->EndOfFile()) {
        std::string text = VariantToText(tables->Collect("TABLE_NAME"));
        if (!text.empty()) {
          if (const auto semicolon = text.find(';'); semicolon != std::string::npos)
            text.resize(semicolon);
        }
        if (!text.empty() && text.find(' ') != std::string::npos) text = "[" + text + "]";
        if (text == name) result = true;
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

bool PatchSession::RunPatchScript() {
  return RunPatch(Mode::Update);
}

bool PatchSession::RunPatch(Mode mode) {
  m_screen.StatementsStarted();
  try {
    // All statements form one transaction, so a failure leaves the database
    // exactly as it was instead of half-upgraded.
    if (!m_transactionOpen && m_db.HasEngine() && m_db.Engine().State() == adStateOpen) {
      m_db.Engine().BeginTrans(TransactionMode::AllOrNothing);
      m_transactionOpen = true;
    }
    ForEachPatchStatement(
        m_updateItems, [this](const std::string& table) { return TableExists(table); },
        [this](int firstStep, std::span<const std::string> statements) {
          m_db.ExecuteStatements(firstStep, statements);
        },
        [this] { m_screen.ProgressStep(); });
    if (mode == Mode::Rehearsal) {
      // What the update would leave, read where it stands; then all of it goes.
      m_lastRun.versionAfter = ReadVersion(m_db.Engine());
      m_transactionOpen = false;
      m_db.Engine().RollbackTrans();
    } else if (m_transactionOpen) {
      CommitPatch();
    }
  } catch (const ComError& error) {
    RollbackPatch();
    EndStatements();
    ReportPatchFailure(error);
    return false;
  } catch (...) {
    RollbackPatch();
    EndStatements();
    ReportPatchFailure();
    return false;
  }
  EndStatements();
  if (mode == Mode::Rehearsal) {
    ReportRehearsal();
    return true;
  }
  // From here the database holds the patch, and nothing may say otherwise.
  ReportPatchSuccess();
  return true;
}

// Before any report: the user reads and answers the boxes with the arrow.
void PatchSession::EndStatements() noexcept {
  try {
    m_screen.StatementsEnded();
  } catch (...) {
  }
}

void PatchSession::RecordStatements() noexcept {
  try {
    m_lastRun.statements = m_db.ExecutedStatements();
  } catch (...) {
    // Only the record for the front end loses them; the boxes were shown.
  }
}

void PatchSession::ReportRehearsal() noexcept {
  m_lastRun.end = RunRecord::End::WouldUpdate;
  RecordStatements();
  ReportFinished(texts::RehearsalFinished);
}

void PatchSession::ReportPatchSuccess() noexcept {
  m_lastRun.end = RunRecord::End::Updated;
  RecordStatements();
  try {
    m_lastRun.versionAfter = std::string(kPatchedVersion);
  } catch (...) {
  }
  ReportFinished(texts::UpdateFinished);
}

void PatchSession::ReportFinished(std::string_view text) noexcept {
  // Each part on its own: out of memory for the list must not take the box,
  // and the box is tried again once rather than left out.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      m_screen.ShowMessage(
          text,
          std::string(texts::UpdateDateLabel) + std::string(texts::UpdateFinishedCaptionSuffix),
          MessageIcon::None);
      break;
    } catch (...) {
    }
  }
  try {
    m_screen.CopyTextToClipboard(NumberedStatementList(m_db.ExecutedStatements()));
  } catch (...) {
  }
  m_db.ClearExecutedStatements();
}

void PatchSession::ReportPatchFailure(const ComError& error) {
  // The record ends with the statement that failed (or the last one run,
  // when the commit failed); none when the transaction could not begin.
  const auto& executed = m_db.ExecutedStatements();
  const std::string statement = executed.empty() ? std::string() : executed.back().statement;
  m_lastRun.end = RunRecord::End::Failed;
  m_lastRun.error = error;
  RecordStatements();
  ShowAppMessage(m_screen, FormatComError(error));
  m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
  m_screen.ShowMessage(statement, texts::DisplayName, MessageIcon::None);
  m_screen.ShowUpdateError(UpdateErrorText(error, statement, m_db.ExecutedStatements()));
  m_db.ClearExecutedStatements();
}

void PatchSession::ReportPatchFailure() {
  m_lastRun.end = RunRecord::End::Failed;
  RecordStatements();
  ShowAppMessage(m_screen, texts::UnhandledException);
  m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
  m_screen.ShowUpdateError(UpdateErrorText(m_db.ExecutedStatements()));
  m_db.ClearExecutedStatements();
}

}  // namespace mivotra
