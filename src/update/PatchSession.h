#pragma once
// One session of the update tool over one target database: locating it,
// choosing another, and the update run from the press of Run to its last
// message. Front ends own one and show what it asks their Screen to show.

#include <optional>
#include <string>
#include <vector>

#include "db/DatabaseConnection.h"
#include "db/Screen.h"

namespace mivotra {

class PatchSession {
 public:
  PatchSession(Screen& screen, MainApplicationProbe& probe);
  PatchSession(const PatchSession&) = delete;
  PatchSession& operator=(const PatchSession&) = delete;

  // Reads the main application's settings into the target (a missing file leaves it as it is).
  void ReadSettings();
  // Reads the settings and connects when the database file is there.
  void LocateDatabase();
  // Connects when the database file of the current target is there; else says none is selected.
  void OpenLocatedDatabase();
  // The search button: the open-file dialog, then a connection to the choice.
  void OnSearchDatabase();
  // Connects to a file as if the user had chosen it in the open-file dialog.
  void ConnectChosenFile(const std::string& fullPath);

  // The Run button. True when the database was updated.
  bool OnRunUpdate();
  // Runs the 1.07 patch on the open connection; 1 on success, 0 after a reported failure.
  int RunPatchScript();
  // 1 when the open database has a table named exactly `name`.
  int TableExists(const std::string& name);

  // The main application test and the version gate, then the statements that
  // would run, without changing anything; nullopt when refused (already reported).
  std::optional<std::vector<ExecutedStatement>> PlanUpdate();

  // Why the last backup copy failed, for front ends that can say more than the message box.
  const std::string& LastCopyFailure() const { return m_lastCopyFailure; }

  DatabaseConnection& Database() { return m_db; }
  const std::vector<std::string>& UpdateItems() const { return m_updateItems; }
  std::string BackupFolder() const;
  std::string BackupFile() const;

 private:
  bool MainApplicationRuns();
  bool PassesVersionGate();
  std::string ReadVersion(Connection& connection);
  bool MakeBackup();
  bool VerifyBackup();
  void EndTransaction(bool commit);
  void ReportPatchSuccess();
  void ReportPatchFailure(const ComError& error, const std::string& statement);
  void ReportPatchFailure();

  // The database file as the backup copy reads it, open from the copy until
  // the write lock is given up: closing any descriptor of the file would drop
  // the engine's locks for the whole process. Declared before m_db, so that
  // it is closed only after the connection.
  class HeldFile {
   public:
    HeldFile() = default;
    ~HeldFile() { Close(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Open(const std::string& path);
    void Close();
    int fd() const { return m_fd; }

   private:
    int m_fd = -1;
  };

  Screen& m_screen;
  MainApplicationProbe& m_probe;
  HeldFile m_backupSource;
  DatabaseConnection m_db;
  const std::vector<std::string> m_updateItems;
  bool m_transactionOpen = false;
  std::string m_lastCopyFailure;
};

}  // namespace mivotra
