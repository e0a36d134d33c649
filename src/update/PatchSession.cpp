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
#include "update/PatchTransaction.h"

namespace mivotra {
namespace {

// Runs one part of a report and tells whether it went through. Once the
// outcome is settled, a part that fails (for want of memory) is left out
// rather than allowed to change what the run reports.
template <class Part>
bool Attempt(Part&& part) noexcept {
  try {
    part();
    return true;
  } catch (...) {
    return false;
  }
}

// What the version query reads after the statements, when that is not the
// patched version: the database keeps its version in a form the statements
// do not raise (a code column without a type, where the text 1.06 sorts
// above the number 1.07; a trigger that drops the new row), and the next run
// would find it not updated.
ComError VersionNotRaised(const std::string& version) {
  return ComError(
      E_Fail, ErrorInfo{std::string(texts::DisplayName),
                        "After the update's statements the version query reads " +
                            (version.empty() ? std::string("no version") : "'" + version + "'") +
                            " instead of '" + std::string(kPatchedVersion) +
                            "', so the database would not count as updated; the update is "
                            "undone, and the database is as it was before."});
}

}  // namespace

// Why the patch failed: the engine's error, or none for any other exception.
struct PatchSession::PatchFailure {
  std::optional<ComError> error;
};

PatchSession::PatchSession(Screen& screen, MainApplicationProbe& probe)
    : m_screen(screen),
      m_probe(probe),
      m_db(screen, screen),
      m_updateItems{std::string(texts::UpdateItem1), std::string(texts::UpdateItem2)} {}

bool PatchSession::ReadSettings(std::string* unusable) {
  const StoredDatabase stored = ReadDatabaseSettings();
  if (unusable) *unusable = stored.unusable;
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
    m_screen.ConnectionChanged({ConnectionReport::State::NotSelected, {}});
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

std::optional<std::string> PatchSession::TryReadVersion() noexcept {
  try {
    return ReadVersion(m_db.Engine());
  } catch (...) {
    return std::nullopt;
  }
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
  m_lastRun.reason = "the database is in use: " + user->reason;
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
  m_lastRun = RunRecord{};
  if (MainApplicationRuns()) {
    // Refused before the run began: nothing on the window changes.
    m_lastRun.end = RunRecord::End::Refused;
    return false;
  }
  m_screen.RunStarted();
  Stage stage = Stage::StoppedBeforePatch;
  try {
    stage = RunSteps(mode);
  } catch (...) {
    // Every step reports its own failures; what still gets here (no memory
    // for a box) ends the run all the same, and the front end must know.
    if (m_lastRun.end == RunRecord::End::None) m_lastRun.end = RunRecord::End::Failed;
    Attempt([this] { m_screen.RunEnded(m_lastRun); });
    throw;
  }
  if (!m_lastRun.versionAfter) {
    // Nothing written leaves the database as the gate found it; a failure
    // after the commit may have put the backup back or left the file in
    // doubt, which only reading it tells (unknown when that fails too).
    m_lastRun.versionAfter =
        stage == Stage::StoppedBeforePatch ? m_lastRun.versionBefore : TryReadVersion();
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
  PatchTransaction transaction;
  switch (LockAndBackUp(mode, folderFailure, transaction)) {
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
  return RunPatch(mode, transaction) ? Stage::PatchDone : Stage::PatchFailed;
}

PatchSession::Backup PatchSession::LockAndBackUp(Mode mode, const std::string& folderFailure,
                                                 PatchTransaction& transaction) {
  try {
    transaction.Begin(m_db.Engine());
  } catch (const ComError& error) {
    // Someone opened the database after the first look.
    if (OtherProcessUsesTheDatabase()) return Backup::InUse;
    // Nothing was copied: this is the update failing, as its first statement
    // would have, not the copy.
    m_lastRun.error = error;
    m_lastRun.reason = error.Description();
    ShowAppMessage(m_screen, FormatComError(error));
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    return Backup::LockFailed;
  }
  if (mode == Mode::Update ? CopyDatabase() : CheckCopy()) return Backup::Made;
  RollbackPatch(transaction);
  // A folder that could not be made is why the copy found none.
  if (!folderFailure.empty() && !PathExists(BackupFolder())) m_lastRun.reason = folderFailure;
  return Backup::Failed;
}

bool PatchSession::CheckCopy() {
  Connection& connection = m_db.Engine();
  m_screen.EndCopyProgress();
  return CheckBackup({connection.DatabaseFileDescriptor(), connection.DataSource(), BackupFile(),
                      m_db.Target().PathName},
                     &m_lastRun.reason);
}

bool PatchSession::CopyDatabase() {
  Connection& connection = m_db.Engine();
  if (!m_databaseFolder.Open(FolderOf(connection.DataSource()), &m_lastRun.reason)) {
    m_screen.EndCopyProgress();
    return false;
  }
  return MakeBackup({connection.DatabaseFileDescriptor(), connection.DataSource(), BackupFile(),
                     m_db.Target().PathName},
                    m_screen, &m_lastRun.reason);
}

void PatchSession::CommitPatch(PatchTransaction& transaction) {
  // Taken before the commit: after it, a failure to allocate would be told
  // over a database that holds the update (sweep/oom).
  const std::string database = m_db.Engine().DataSource();
  try {
    transaction.Commit();
  } catch (const ComError&) {
    // A rollback that fails may leave the transaction open, and inside it
    // the update reads as made although nothing was committed.
    const bool ended = transaction.Abandon();
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
    m_lastRun.reason = "the update is complete, but " + why +
                       "; keep the backup until the database has been checked";
  m_databaseFolder.Close();
}

bool PatchSession::CommitWasMade() noexcept {
  // Twice: one failure for want of memory is no answer.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (const std::optional<std::string> version = TryReadVersion())
      return *version == kPatchedVersion;
  }
  return false;
}

void PatchSession::RollbackPatch(PatchTransaction& transaction) noexcept {
  m_databaseFolder.Close();
  // A rollback that fails is left to the close; the failure is already being reported.
  transaction.Abandon();
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
  PatchTransaction transaction;
  return RunPatch(Mode::Update, transaction);
}

bool PatchSession::RunPatch(Mode mode, PatchTransaction& transaction) {
  m_screen.StatementsStarted();
  const std::optional<PatchFailure> failure = ExecutePatch(mode, transaction);
  if (failure) RollbackPatch(transaction);
  // Before any report: the user reads and answers the boxes with the arrow.
  Attempt([this] { m_screen.StatementsEnded(); });
  if (failure) {
    ReportPatchFailure(*failure);
    return false;
  }
  if (mode == Mode::Rehearsal) {
    ReportRehearsal();
    return true;
  }
  // From here the database holds the patch, and nothing may say otherwise.
  ReportPatchSuccess();
  return true;
}

std::optional<PatchSession::PatchFailure> PatchSession::ExecutePatch(
    Mode mode, PatchTransaction& transaction) {
  try {
    // All statements form one transaction, so a failure leaves the database
    // exactly as it was instead of half-upgraded.
    if (!transaction.IsOpen() && m_db.HasEngine() && m_db.Engine().State() == adStateOpen)
      transaction.Begin(m_db.Engine());
    ForEachPatchStatement(
        m_updateItems, [this](const std::string& table) { return TableExists(table); },
        [this](int firstStep, std::span<const std::string> statements) {
          m_db.ExecuteStatements(firstStep, statements);
        },
        [this] { m_screen.ProgressStep(); });
    // The gate's own query decides whether the statements made version 1.07.
    const std::string version = ReadVersion(m_db.Engine());
    if (version != kPatchedVersion) throw VersionNotRaised(version);
    if (mode == Mode::Rehearsal) {
      // What the update would leave, read where it stands; then all of it goes.
      m_lastRun.versionAfter = version;
      CheckRoomBesideJournal();
      transaction.Rollback();
    } else if (transaction.IsOpen()) {
      CommitPatch(transaction);
    }
  } catch (const ComError& error) {
    return PatchFailure{error};
  } catch (...) {
    return PatchFailure{};
  }
  return std::nullopt;
}

void PatchSession::CheckRoomBesideJournal() {
  // The update writes the backup first and then this same journal, which
  // holds the original of every page the statements changed. With the
  // journal on the disk now, what is left where the backup goes must still
  // hold it (on another file system the journal took nothing from it). Where
  // the room is not known the backup check has said so already.
  const std::string backupFolder = BackupFolder();
  const std::string where = PathExists(backupFolder) ? backupFolder : m_db.Target().PathName;
  const std::optional<std::uint64_t> room = FreeBytes(where.empty() ? "." : where, nullptr);
  const std::optional<std::uint64_t> backup = FileSize(m_db.Engine().DataSource());
  if (!room || !backup || *room >= *backup) return;
  throw ComError(
      E_Fail,
      ErrorInfo{std::string(texts::DisplayName),
                "There is no room for both the backup and the update's journal "
                "on the disk of '" +
                    m_db.Engine().DataSource() + "': beside the journal " + std::to_string(*room) +
                    " bytes are free, the backup needs " + std::to_string(*backup) + "."});
}

void PatchSession::RecordStatements() noexcept {
  // Only the record for the front end loses them; the boxes are shown.
  Attempt([this] { m_lastRun.statements = m_db.ExecutedStatements(); });
}

void PatchSession::ReportRehearsal() noexcept {
  m_lastRun.end = RunRecord::End::WouldUpdate;
  RecordStatements();
  ReportFinished(texts::RehearsalFinished);
}

void PatchSession::ReportPatchSuccess() noexcept {
  m_lastRun.end = RunRecord::End::Updated;
  RecordStatements();
  ReportFinished(texts::UpdateFinished);
}

void PatchSession::ReportFinished(std::string_view text) noexcept {
  // Each part on its own: out of memory for the list must not take the box,
  // and the box is tried again once rather than left out.
  const auto showBox = [&] {
    m_screen.ShowMessage(
        text, std::string(texts::UpdateDateLabel) + std::string(texts::UpdateFinishedCaptionSuffix),
        MessageIcon::None);
  };
  if (!Attempt(showBox)) Attempt(showBox);
  Attempt(
      [this] { m_screen.CopyTextToClipboard(NumberedStatementList(m_db.ExecutedStatements())); });
  m_db.ClearExecutedStatements();
}

void PatchSession::ReportPatchFailure(const PatchFailure& failure) {
  m_lastRun.end = RunRecord::End::Failed;
  m_lastRun.error = failure.error;
  RecordStatements();
  const auto& executed = m_db.ExecutedStatements();
  if (failure.error) {
    // The record ends with the statement that failed (or the last one run,
    // when the commit failed); none when the transaction could not begin.
    const std::string statement = executed.empty() ? std::string() : executed.back().statement;
    ShowAppMessage(m_screen, FormatComError(*failure.error));
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    m_screen.ShowMessage(statement, texts::DisplayName, MessageIcon::None);
    m_screen.ShowUpdateError(UpdateErrorText(*failure.error, statement, executed));
  } else {
    ShowAppMessage(m_screen, texts::UnhandledException);
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    m_screen.ShowUpdateError(UpdateErrorText(executed));
  }
  m_db.ClearExecutedStatements();
}

}  // namespace mivotra
