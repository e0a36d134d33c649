// What a hostile neighbour can put in the way of the backup: files planted
// beside its name, a backup folder that another user owns, can write to, or
// points elsewhere with a link, and a database another program left in WAL
// mode. Each run either makes an exact backup and updates, or refuses with
// the copy failure and leaves everything as it was.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "DatabaseHelpers.h"
#include "PatchProgram.h"
#include "RawDatabase.h"
#include "ScreenHooks.h"
#include "SessionFixture.h"
#include "res/Texts.h"
#include "target/FileSystem.h"

namespace mivotra::test::faults {
namespace {

constexpr uid_t kOtherUser = 65534;

class Neighbours : public SessionFixture {
 protected:
  // A fresh 1.06 sample in its own folder, connected as if chosen in the dialog.
  fs::path Fresh(const std::string& name, fs::perms folderMode = fs::perms(0755)) {
    screen = RecordingScreen{};
    const fs::path folder = dir / name;
    fs::create_directories(folder);
    fs::permissions(folder, folderMode);
    database = folder / "data1.mdb";
    MakeSampleDatabase(database);
    NewSession().ConnectChosenFile(database.string());
    EXPECT_TRUE(session->Database().IsConnected());
    screen.Clear();
    return folder;
  }

  void ExpectRefusedCopy(const std::string& reasonPart) {
    EXPECT_EQ(MessageTexts(screen), (std::vector<std::string>{std::string(texts::M3BackupNotice),
                                                              std::string(texts::M5CopyFailed)}));
    EXPECT_NE(session->LastRun().reason.find(reasonPart), std::string::npos)
        << session->LastRun().reason;
    EXPECT_EQ(VersionOf(database), "1.06");
    EXPECT_FALSE(fs::exists(database.string() + "-journal"));
  }
};

// A hot journal of another database: a writer with a tiny cache had to put
// changed pages into its file, so the journal holds that database's original
// pages and SQLite plays them back into whatever file it sits beside.
std::string HotJournalOf(const fs::path& other) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(other.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "PRAGMA cache_size = 2; BEGIN; UPDATE t_kumi_rate SET KodanID = KodanID + 100",
                 nullptr, nullptr, nullptr);
    _exit(0);  // no commit, no rollback
  }
  waitpid(child, nullptr, 0);
  return ReadFile(other.string() + "-journal");
}

TEST_F(Neighbours, AJournalOrLogPlantedBesideTheBackupsNameRefusesTheCopyAndIsLeftAlone) {
  MakeSampleDatabase(dir / "other.mdb", {.kumiRows = 300});
  const std::string journal = HotJournalOf(dir / "other.mdb");
  ASSERT_GT(journal.size(), 1024u);
  for (const std::string suffix : {"-journal", "-wal", "-shm"}) {
    SCOPED_TRACE(suffix);
    const fs::path folder = Fresh("case" + suffix);
    const std::string bytes = ReadFile(database);
    fs::create_directory(folder / BackupFolderName());
    const fs::path planted = BackupOf(database).string() + suffix;
    WriteFile(planted, journal);
    EXPECT_FALSE(session->OnRunUpdate());
    ExpectRefusedCopy("the file " + planted.filename().string() + " lies in the backup folder");
    EXPECT_EQ(ReadFile(database), bytes);
    EXPECT_EQ(ReadFile(planted), journal) << "the planted file is not consumed";
    EXPECT_EQ(Listing(folder / BackupFolderName()), std::set<std::string>{planted.filename()});

    // Once it is gone the backup is exactly the database.
    fs::remove(planted);
    screen.Clear();
    EXPECT_TRUE(session->OnRunUpdate());
    EXPECT_EQ(ReadFile(BackupOf(database)), bytes);
  }
}

TEST_F(Neighbours, OnlyABackupFolderOfTheUsersOwnThatNoOtherUserCanWriteIsUsed) {
  enum class Setup {
    OtherUsersOpenFolder,
    OwnOpenFolder,
    OwnGroupWritable,
    OthersLink,
    LinkToOthers
  };
  const struct {
    Setup setup;
    const char* name;
    const char* reason;
  } cases[] = {
      {Setup::OtherUsersOpenFolder, "another user's folder, mode 0777", "belongs to another user"},
      {Setup::OwnOpenFolder, "the user's own folder, mode 0777", "(mode 0777)"},
      {Setup::OwnGroupWritable, "the user's own folder, mode 0775", "(mode 0775)"},
      {Setup::OthersLink, "a link of another user's to the user's own folder",
       "symbolic link that belongs to another user"},
      {Setup::LinkToOthers, "the user's link to another user's folder", "belongs to another user"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = Fresh("case" + std::to_string(static_cast<int>(c.setup)));
    const std::string bytes = ReadFile(database);
    const fs::path backupFolder = folder / BackupFolderName();
    const fs::path elsewhere = folder / "elsewhere";
    switch (c.setup) {
      case Setup::OtherUsersOpenFolder:
        fs::create_directory(backupFolder);
        fs::permissions(backupFolder, fs::perms::all);
        ASSERT_EQ(chown(backupFolder.c_str(), kOtherUser, kOtherUser), 0);
        break;
      case Setup::OwnOpenFolder:
      case Setup::OwnGroupWritable:
        fs::create_directory(backupFolder);
        fs::permissions(backupFolder, fs::perms(c.setup == Setup::OwnOpenFolder ? 0777 : 0775));
        break;
      case Setup::OthersLink:
        fs::create_directory(elsewhere);
        fs::create_directory_symlink(elsewhere, backupFolder);
        ASSERT_EQ(lchown(backupFolder.c_str(), kOtherUser, kOtherUser), 0);
        break;
      case Setup::LinkToOthers:
        fs::create_directory(elsewhere);
        ASSERT_EQ(chown(elsewhere.c_str(), kOtherUser, kOtherUser), 0);
        fs::create_directory_symlink(elsewhere, backupFolder);
        break;
    }
    EXPECT_FALSE(session->OnRunUpdate());
    ExpectRefusedCopy(c.reason);
    EXPECT_EQ(ReadFile(database), bytes);
    EXPECT_TRUE(fs::is_empty(fs::exists(elsewhere) ? elsewhere : backupFolder));
  }
}

TEST_F(Neighbours, TheUsersOwnLinkToTheUsersOwnFolderIsFollowed) {
  const fs::path folder = Fresh("linked");
  const std::string bytes = ReadFile(database);
  fs::create_directory(dir / "private");
  fs::create_directory_symlink(dir / "private", folder / BackupFolderName());
  EXPECT_TRUE(session->OnRunUpdate()) << session->LastRun().reason;
  EXPECT_EQ(ReadFile(dir / "private" / BackupOf(database).filename()), bytes);
  EXPECT_EQ(VersionOf(database), "1.07");
}

TEST_F(Neighbours, ABackupFolderBesideAFolderOthersCanWriteIsPrivate) {
  const mode_t oldMask = umask(002);
  const fs::path shared = Fresh("shared", fs::perms::all);
  EXPECT_TRUE(session->OnRunUpdate()) << session->LastRun().reason;
  const fs::path own = Fresh("own");
  EXPECT_TRUE(session->OnRunUpdate()) << session->LastRun().reason;
  umask(oldMask);
  struct stat info = {};
  ASSERT_EQ(stat((shared / BackupFolderName()).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((own / BackupFolderName()).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u) << "never writable by the group, whatever the umask";
}

// ---- a database another program left in WAL mode

// A writer that ends without closing: its committed rows are only in the log.
void AddRowsInWalModeAndVanish(const fs::path& database, int rows) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    int rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0", nullptr,
                          nullptr, nullptr);
    for (int i = 0; i < rows && rc == SQLITE_OK; ++i) {
      rc = sqlite3_exec(
          db,
          "INSERT INTO t_kumi_rate (KodanID, KumiRateTypeID, KumiUpperRateTypeID, "
          "KumiLowerRateTypeID, KumiRate, CreateDateTime) SELECT 2, 3, 4, 5, KumiRate, "
          "CreateDateTime FROM t_kumi_rate LIMIT 1",
          nullptr, nullptr, nullptr);
    }
    _exit(rc == SQLITE_OK ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(Neighbours, ADatabaseLeftInWalModeIsBackedUpWithEveryCommittedRow) {
  Fresh("wal");
  session->Database().Disconnect();
  const std::string before = RawDatabase(database).Text("SELECT COUNT(*) FROM t_kumi_rate");
  AddRowsInWalModeAndVanish(database, 5);
  ASSERT_GT(fs::file_size(database.string() + "-wal"), 0u);
  // What is committed, read from a copy of the file and its log (reading the
  // database itself would take the log in when it closes).
  fs::copy_file(database, dir / "expected.mdb");
  fs::copy_file(database.string() + "-wal", dir / "expected.mdb-wal");
  const std::string committed = Picture(dir / "expected.mdb");
  ASSERT_EQ(RawDatabase(dir / "expected.mdb").Text("SELECT COUNT(*) FROM t_kumi_rate"),
            std::to_string(std::stoi(before) + 5));

  NewSession().ConnectChosenFile(database.string());
  EXPECT_TRUE(session->OnRunUpdate()) << session->LastRun().reason;
  session->Database().Disconnect();
  // The backup alone, without any log beside it, holds every committed row.
  EXPECT_FALSE(fs::exists(BackupOf(database).string() + "-wal"));
  EXPECT_EQ(Picture(BackupOf(database)), committed);
  EXPECT_EQ(VersionOf(database), "1.07");
  EXPECT_EQ(RawDatabase(database).Text("PRAGMA journal_mode"), "wal");
}

}  // namespace
}  // namespace mivotra::test::faults
