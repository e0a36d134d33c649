#include "update/PatchSession.h"

#include <cstdint>
#include <optional>

#include "base/Translate.h"
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

bool PatchSession::OnRunUpdate() {
  return Run(Mode::Update);
}

bool PatchSession::RehearseUpdate() {
  return Run(Mode::Rehearsal);
}

bool PatchSession::Run(Mode mode) {
  m_lastRun = RunRecord{};
  if (std::optional<std::string> user = MainApplicationRuns()) {
    // Refused before the run began: nothing on the window changes.
    ShowMainApplicationRuns();
    Findings refused;
    refused.ending = {RunRecord::End::Refused, {}, std::move(*user)};
    m_lastRun = Record(std::move(refused));
    return false;
  }
  m_screen.RunStarted();
  Findings found;
  try {
    found = RunSteps(mode);
  } catch (...) {
    // Every step reports its own failures; what still gets here (no memory
    // for a box) ends the run all the same, and the front end must know.
    // Whether the statements ran is not known, so the version is read.
    Attempt([this] {
      Findings unknown;
      unknown.patchRan = true;
      m_lastRun = Record(std::move(unknown));
    });
    Attempt([this] { m_screen.RunEnded(m_lastRun); });
    throw;
  }
  const bool done = found.ending.end == RunRecord::End::Updated ||
                    found.ending.end == RunRecord::End::WouldUpdate;
  m_lastRun = Record(std::move(found));
  m_screen.RunEnded(m_lastRun);
  return done;
}

RunRecord PatchSession::Record(Findings found) noexcept {
  RunRecord record;
  record.end = found.ending.end;
  record.error = std::move(found.ending.error);
  record.reason = std::move(found.ending.reason);
  record.versionBefore = std::move(found.versionBefore);
  record.backup = std::move(found.backup);
  record.statements = std::move(found.statements);
  // Nothing written leaves the database as the gate found it; after the
  // statements, only reading it tells (unknown when that fails too).
  record.versionAfter = found.versionAfter ? std::move(found.versionAfter)
                        : found.patchRan   ? TryReadVersion()
                                           : record.versionBefore;
  return record;
}

PatchSession::Findings PatchSession::RunSteps(Mode mode) {
  Findings found;
  Gate gate = PassVersionGate();
  found.versionBefore = std::move(gate.version);
  if (gate.stop) {
    found.ending = std::move(*gate.stop);
    return found;
  }

  // A file-size limit would otherwise end the process in the middle of the
  // copy or the patch without a word.
  FileSizeLimitAsFailure fileSizeLimit;
  m_screen.ShowMessage(texts::M3BackupNotice, texts::UpdateDateLabel, MessageIcon::Information);
  const std::string folder = BackupFolder();
  // Why the folder could not be made, for when the copy then fails. A
  // rehearsal makes no folder of its own; its backup check tries one.
  std::string folderFailure;
  if (mode == Mode::Update && !PathExists(folder)) CreateFolder(folder, &folderFailure);
  if (PathExists(BackupFile())) {
    m_screen.ShowMessage(texts::M4BackupExists, texts::UpdateDateLabel, MessageIcon::Information);
    m_screen.OpenFolder(folder);
    found.ending = {RunRecord::End::Refused, {}, {}};
    return found;
  }
  PatchTransaction transaction;
  Copied copied = LockAndBackUp(mode, folderFailure, transaction);
  if (copied.stop) {
    found.ending = std::move(*copied.stop);
    return found;
  }
  if (mode == Mode::Update) found.backup = BackupFile();
  Patched patched = RunPatch(mode, transaction);
  found.patchRan = true;
  found.ending = std::move(patched.ending);
  found.versionAfter = std::move(patched.versionAfter);
  found.statements = std::move(patched.statements);
  // The backup check's note of what it could not know comes first.
  if (!copied.note.empty()) {
    found.ending.reason = found.ending.reason.empty()
                              ? copied.note
                              : Format(Tr("update", "%1; %2"), {copied.note, found.ending.reason});
  }
  return found;
}

PatchSession::Gate PatchSession::PassVersionGate() {
  try {
    std::string version = ReadVersion(m_db.Engine());
    if (version == texts::RequiredVersion) return {std::move(version), std::nullopt};
    m_screen.ShowMessage(std::string(texts::M2Before) + std::string(texts::RequiredVersion) +
                             std::string(texts::M2Middle) + version + std::string(texts::M2After),
                         texts::UpdateDateLabel, MessageIcon::Information);
    return {std::move(version), Ending{RunRecord::End::Refused, {}, {}}};
  } catch (const ComError& error) {
    ShowAppMessage(m_screen, FormatComError(error));
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    m_screen.ShowMessage(texts::VersionQuery, texts::DisplayName, MessageIcon::None);
    return {std::nullopt, Ending{RunRecord::End::Failed, error, {}}};
  } catch (...) {
    ShowAppMessage(m_screen, texts::UnhandledException);
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    return {std::nullopt, Ending{RunRecord::End::Failed, {}, {}}};
  }
}

std::optional<std::string> PatchSession::MainApplicationRuns() {
  if (m_probe.IsMainApplicationRunning()) return std::string();
  return OtherDatabaseUser();
}

// The window test alone misses a main application on Wayland or a console,
// and any other program that has the database open: every process this user
// can see with the file, its journal or its log open, and every lock on it,
// counts as the main application.
std::optional<std::string> PatchSession::OtherDatabaseUser() {
  if (!m_db.IsConnected() || !m_db.HasEngine()) return std::nullopt;
  const Connection& connection = m_db.Engine();
  const int descriptor = connection.DatabaseFileDescriptor();
  if (descriptor < 0) return std::nullopt;
  const auto user = FindOtherDatabaseUser(connection.DataSource(), descriptor);
  if (!user) return std::nullopt;
  return Format(Tr("update", "the database is in use: %1"), {user->reason});
}

void PatchSession::ShowMainApplicationRuns() {
  m_screen.ShowMessage(texts::M1MainApplicationRunning, texts::RefusalCaption, MessageIcon::Stop);
}

PatchSession::Copied PatchSession::LockAndBackUp(Mode mode, const std::string& folderFailure,
                                                 PatchTransaction& transaction) {
  try {
    transaction.Begin(m_db.Engine());
  } catch (const ComError& error) {
    // Someone opened the database after the first look.
    if (std::optional<std::string> user = OtherDatabaseUser()) {
      ShowMainApplicationRuns();
      return {Ending{RunRecord::End::Refused, {}, std::move(*user)}, {}};
    }
    // Nothing was copied: this is the update failing, as its first statement
    // would have, not the copy.
    ShowAppMessage(m_screen, FormatComError(error));
    m_screen.ShowMessage(texts::UpdateFailed, texts::DisplayName, MessageIcon::None);
    return {Ending{RunRecord::End::Failed, error, error.Description()}, {}};
  }
  std::string why;
  if (mode == Mode::Update ? CopyDatabase(&why) : CheckCopy(&why)) return {std::nullopt, why};
  RollbackPatch(transaction);
  m_screen.ShowMessage(texts::M5CopyFailed, texts::UpdateDateLabel, MessageIcon::Exclamation);
  m_screen.OpenFolder(BackupFolder());
  // A folder that could not be made is why the copy found none.
  if (!folderFailure.empty() && !PathExists(BackupFolder())) why = folderFailure;
  return {Ending{RunRecord::End::Failed, {}, std::move(why)}, {}};
}

bool PatchSession::CheckCopy(std::string* reason) {
  Connection& connection = m_db.Engine();
  m_screen.EndCopyProgress();
  return CheckBackup({connection.DatabaseFileDescriptor(), connection.DataSource(), BackupFile(),
                      m_db.Target().PathName},
                     reason);
}

bool PatchSession::CopyDatabase(std::string* reason) {
  Connection& connection = m_db.Engine();
  if (!m_databaseFolder.Open(FolderOf(connection.DataSource()), reason)) {
    m_screen.EndCopyProgress();
    return false;
  }
  return MakeBackup({connection.DatabaseFileDescriptor(), connection.DataSource(), BackupFile(),
                     m_db.Target().PathName},
                    m_screen, reason);
}

std::string PatchSession::CommitPatch(PatchTransaction& transaction) {
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
                                     Format(Tr("update",
                                               "The file at the database's name was moved or "
                                               "replaced while the update was written, and is "
                                               "left as it is. The backup %1 holds the database "
                                               "as it was before."),
                                            {BackupFile()})});
  }
  // SQLite writes the folder to disk after deleting the journal, but skips
  // that when it cannot open the folder (no descriptor left).
  std::string why;
  const bool synced = !m_databaseFolder.IsOpen() || m_databaseFolder.Sync(&why);
  m_databaseFolder.Close();
  if (synced) return {};
  return Format(Tr("update",
                   "the update is complete, but %1; keep the backup until the database has been "
                   "checked"),
                {why});
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

PatchSession::Patched PatchSession::RunPatch(Mode mode, PatchTransaction& transaction) {
  m_screen.StatementsStarted();
  Patched patched = ExecutePatch(mode, transaction);
  const bool failed = patched.ending.end == RunRecord::End::Failed;
  if (failed) RollbackPatch(transaction);
  // Before any report: the user reads and answers the boxes with the arrow.
  Attempt([this] { m_screen.StatementsEnded(); });
  // Only the record for the front end loses them; the boxes are shown.
  Attempt([&] { patched.statements = m_db.ExecutedStatements(); });
  if (failed) {
    ReportPatchFailure(m_screen, patched.ending.error, m_db.ExecutedStatements());
  } else {
    // From here the database holds the patch (or would), and nothing may say otherwise.
    ReportFinished(m_screen,
                   mode == Mode::Rehearsal ? texts::RehearsalFinished : texts::UpdateFinished,
                   m_db.ExecutedStatements());
  }
  m_db.ClearExecutedStatements();
  return patched;
}

PatchSession::Patched PatchSession::ExecutePatch(Mode mode, PatchTransaction& transaction) {
  Patched patched;
  try {
    ForEachPatchStatement(
        m_updateItems, [this](const std::string& table) { return TableExists(table); },
        [this](int firstStep, std::span<const std::string> statements) {
          m_db.ExecuteStatements(firstStep, statements);
        },
        [this] { m_screen.ProgressStep(); });
    // The gate's own query decides whether the statements made version 1.07.
    std::string version = ReadVersion(m_db.Engine());
    if (version != kPatchedVersion) throw VersionNotRaised(version);
    if (mode == Mode::Rehearsal) {
      // What the update would leave, read where it stands; then all of it goes.
      CheckRoomBesideJournal();
      transaction.Rollback();
      patched.versionAfter = std::move(version);
      patched.ending = {RunRecord::End::WouldUpdate, {}, {}};
    } else {
      patched.ending = {RunRecord::End::Updated, {}, CommitPatch(transaction)};
    }
  } catch (const ComError& error) {
    patched.ending = {RunRecord::End::Failed, error, {}};
  } catch (...) {
    patched.ending = {RunRecord::End::Failed, {}, {}};
  }
  return patched;
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
      ErrorInfo{
          std::string(texts::DisplayName),
          Format(Tr("update",
                    "There is no room for both the backup and the update's journal on the "
                    "disk of '%1': beside the journal %2 bytes are free, the backup needs "
                    "%3."),
                 {m_db.Engine().DataSource(), std::to_string(*room), std::to_string(*backup)})});
}

}  // namespace mivotra
