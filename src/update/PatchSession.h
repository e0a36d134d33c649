#pragma once
// One session of the update tool over one target database: locating it,
// choosing another, and the update run from the press of Run to its last
// message. Front ends own one; it tells their Screen what happens, and asks
// it for the boxes the update's order needs.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MainApplicationProbe.h"
#include "target/Backup.h"
#include "update/DatabaseConnection.h"
#include "update/Screen.h"

namespace mivotra {

class PatchTransaction;

// How the last run ended, beyond what its boxes said.
struct RunRecord {
  enum class End { None, Updated, WouldUpdate, Refused, Failed };
  End end = End::None;
  // What the version gate read; nullopt when it was not reached or failed.
  std::optional<std::string> versionBefore;
  // The version the database holds after the run; after a rehearsal, the
  // version read inside its transaction just before the rollback.
  std::optional<std::string> versionAfter;
  // The statements handed to the engine, the failing one last.
  std::vector<ExecutedStatement> statements;
  // The engine failure that was reported, if one was.
  std::optional<ComError> error;
  // The backup this run made; empty when none was made.
  std::string backup;
  // What the boxes could not say, for front ends that can: why the run was
  // refused or its backup failed, or what it could not confirm; empty when
  // there is nothing to add.
  std::string reason;
};

class PatchSession {
 public:
  PatchSession(Screen& screen, MainApplicationProbe& probe);
  PatchSession(const PatchSession&) = delete;
  PatchSession& operator=(const PatchSession&) = delete;

  // Reads the main application's settings into the target (a missing file
  // leaves it as it is); true when they hold the DATABASE group. `unusable`,
  // when given, gets why settings that are there name no database.
  bool ReadSettings(std::string* unusable = nullptr);
  // Connects when the database file of the current target is there; else says none is selected.
  void OpenLocatedDatabase();
  // The search button: the open-file dialog, then a connection to the choice.
  void OnSearchDatabase();
  // Connects to a file as if the user had chosen it in the open-file dialog.
  void ConnectChosenFile(const std::string& fullPath);

  // The Run button. True when the database was updated.
  bool OnRunUpdate();

  // The dry run: every test of OnRunUpdate in its order, the same boxes up to
  // where the real run would stop, and the whole patch run on the database
  // under the write lock and rolled back. No backup is written and nothing
  // is left changed on disk; the rehearsal's own box stands in for the
  // success box. True when the real run would update.
  bool RehearseUpdate();

  // How the last OnRunUpdate or RehearseUpdate ended.
  const RunRecord& LastRun() const { return m_lastRun; }

  DatabaseConnection& Database() { return m_db; }
  const std::vector<std::string>& UpdateItems() const { return m_updateItems; }
  std::string BackupFolder() const;
  std::string BackupFile() const;

 private:
  enum class Mode { Update, Rehearsal };
  // How a step ended the run, and what its boxes could not say.
  struct Ending {
    RunRecord::End end = RunRecord::End::Failed;
    std::optional<ComError> error;
    std::string reason;
  };
  // What the steps of one run found; its record is made from it alone.
  struct Findings {
    Ending ending;
    std::optional<std::string> versionBefore;
    // Read inside a rehearsal's transaction, just before its rollback.
    std::optional<std::string> versionAfter;
    // The statements ran (and may have changed the database's version).
    bool patchRan = false;
    std::vector<ExecutedStatement> statements;
    std::string backup;
  };
  // The version gate: what it read, and the end of the run unless it passed.
  struct Gate {
    std::optional<std::string> version;
    std::optional<Ending> stop;
  };
  // The write lock and the backup (or, in a rehearsal, its check): the end
  // of the run unless both were had, and what the check could not know.
  struct Copied {
    std::optional<Ending> stop;
    std::string note;
  };
  // The statements and their commit (or the rehearsal's rollback).
  struct Patched {
    Ending ending;
    std::optional<std::string> versionAfter;
    std::vector<ExecutedStatement> statements;
  };

  bool Run(Mode mode);
  Findings RunSteps(Mode mode);
  // The one place a run's record is made.
  RunRecord Record(Findings found) noexcept;

  // Why the main application counts as running: its window (an empty
  // reason), or the other process that has the database.
  std::optional<std::string> MainApplicationRuns();
  std::optional<std::string> OtherDatabaseUser();
  void ShowMainApplicationRuns();
  Gate PassVersionGate();
  static std::string ReadVersion(Connection& connection);
  // The version, or nothing when it cannot be read.
  std::optional<std::string> TryReadVersion() noexcept;
  // The write lock is taken before the copy and kept until the patch ends, so
  // no other process can change the database between the backup and the update.
  Copied LockAndBackUp(Mode mode, const std::string& folderFailure, PatchTransaction& transaction);
  bool CopyDatabase(std::string* reason);
  bool CheckCopy(std::string* reason);
  Patched RunPatch(Mode mode, PatchTransaction& transaction);
  Patched ExecutePatch(Mode mode, PatchTransaction& transaction);
  // Whether the open database has a table named exactly `name`.
  bool TableExists(const std::string& name);
  // In a rehearsal, after the statements: the backup must still fit beside
  // their journal, as the update writes both; a ComError of the program's
  // own when it would not.
  void CheckRoomBesideJournal();
  // What the commit could not make sure of (the folder's sync), else empty.
  std::string CommitPatch(PatchTransaction& transaction);
  // Whether the database holds the update, after a commit that failed.
  bool CommitWasMade() noexcept;
  void RollbackPatch(PatchTransaction& transaction) noexcept;

  Screen& m_screen;
  MainApplicationProbe& m_probe;
  DatabaseConnection m_db;
  const std::vector<std::string> m_updateItems;
  // The database's folder, opened before the patch so that its entries can
  // be written to disk after the commit even when no descriptor is left.
  FolderToSync m_databaseFolder;
  RunRecord m_lastRun;
};

}  // namespace mivotra
