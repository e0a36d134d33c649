// The files around the update going wrong: a backup folder that cannot be
// made, a database that cannot be written, a database deleted or replaced
// after it was opened, a disk that fills up, and things planted where the
// backup goes. Each run ends with the program's own message, and nothing the
// user had is lost or changed.

#include <gtest/gtest.h>
#include <sched.h>
#include <sqlcipher/sqlite3.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstring>
#include <functional>

#include "DatabaseHelpers.h"
#include "Immutable.h"
#include "PatchProgram.h"
#include "PatchStatements.h"
#include "Processes.h"
#include "RawDatabase.h"
#include "ScreenHooks.h"
#include "SessionFixture.h"
#include "jet/ConnectionString.h"
#include "jet/Engine.h"
#include "res/Texts.h"
#include "target/FileSystem.h"
#include "update/PatchSession.h"

namespace mivotra::test::faults {
namespace {

constexpr int kSkip = 77;

bool OpenedFolder(const RecordingScreen& screen, const std::string& folder) {
  for (const auto& e : screen.events)
    if (e.kind == ScreenEvent::OpenFolder && e.text == folder) return true;
  return false;
}

// The boxes of a backup that could not be made, and the window ready again.
void ExpectCopyFailure(const RecordingScreen& screen, const std::string& folder) {
  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 2u) << EncodeMessages(screen);
  EXPECT_EQ(messages[0].text, texts::M3BackupNotice);
  EXPECT_EQ(messages[1].text, texts::M5CopyFailed);
  EXPECT_EQ(messages[1].caption, texts::UpdateDateLabel);
  EXPECT_EQ(messages[1].icon, MessageIcon::Exclamation);
  EXPECT_TRUE(OpenedFolder(screen, folder));
  EXPECT_TRUE(screen.runEnabled);
  EXPECT_TRUE(screen.closeEnabled);
}

// A private mount namespace for the calling child, so that mounts made in
// it vanish with it; false where this system does not allow one.
bool PrivateMounts() {
  return unshare(CLONE_NEWNS) == 0 &&
         mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool BindReadOnly(const fs::path& path) {
  return mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
         mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// What a session run in a child tells the parent.
struct ChildSession {
  Outcome outcome;
  std::vector<ScreenEvent> messages;
  std::string copyFailure;
  bool updated = false;
  std::string notes;  // the child's own findings, one per line
};

// Runs `prepare` (mounts and the like; false: skip) and then a session's
// Run on `database` in a child.
ChildSession RunSessionInChild(const fs::path& database, const std::function<bool()>& prepare,
                               const std::function<std::string(PatchSession&)>& after = {}) {
  const ChildRun run = RunInChild([&](int report) {
    if (!prepare()) return kSkip;
    RecordingScreen screen;
    FakeProbe probe;
    PatchSession session(screen, probe);
    session.ConnectChosenFile(database.string());
    if (!session.Database().IsConnected()) {
      WriteAll(report, std::string(1, '\x1d') + "not connected: " + screen.caption);
      return 3;
    }
    const bool updated = session.OnRunUpdate();
    std::string notes = after ? after(session) : std::string();
    session.Database().Disconnect();
    WriteAll(report, EncodeMessages(screen) + '\x1d' + session.LastRun().reason + '\x1d' +
                         (updated ? "1" : "0") + '\x1d' + notes);
    return 0;
  });
  ChildSession result;
  result.outcome = run.outcome;
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = run.report.find('\x1d', start)) != std::string::npos;
       start = end + 1)
    parts.push_back(run.report.substr(start, end - start));
  parts.push_back(run.report.substr(start));
  if (parts.size() == 4) {
    result.messages = DecodeMessages(parts[0]);
    result.copyFailure = parts[1];
    result.updated = parts[2] == "1";
    result.notes = parts[3];
  } else {
    result.notes = run.report;
  }
  return result;
}

class FileFaults : public SessionFixture {
 protected:
  std::string BackupFolder() const { return Folder() + BackupFolderName() + "/"; }
};

// ---- a backup folder that cannot be made or written ----

TEST_F(FileFaults, ABackupFolderThatCannotBeMadeOrWrittenGivesTheCopyFailure) {
  // (A file standing at the folder's name:
  // UpdateRun.ACopyThatCannotBeMadeShowsTheCopyFailureAndChangesNothing.)
  enum class Obstacle { ImmutableDatabaseFolder, ImmutableBackupFolder, DanglingFolderLink };
  const struct {
    Obstacle obstacle;
    const char* name;
  } cases[] = {
      {Obstacle::ImmutableDatabaseFolder, "the database's folder is immutable (chattr +i)"},
      {Obstacle::ImmutableBackupFolder, "the backup folder is there but immutable"},
      {Obstacle::DanglingFolderLink, "the backup folder's name is a link to nowhere"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    screen = RecordingScreen{};
    const fs::path folder = dir / ("case" + std::to_string(static_cast<int>(c.obstacle)));
    fs::create_directories(folder);
    database = folder / "data1.mdb";
    MakeSampleDatabase(database);
    NewSession().ConnectChosenFile(database.string());
    ASSERT_TRUE(session->Database().IsConnected());
    const std::string before = DatabaseFingerprint(database);
    const fs::path backupFolder = folder / BackupFolderName();

    std::optional<Immutable> immutable;
    if (c.obstacle == Obstacle::ImmutableDatabaseFolder) immutable.emplace(folder);
    if (c.obstacle == Obstacle::ImmutableBackupFolder) {
      fs::create_directory(backupFolder);
      immutable.emplace(backupFolder);
    }
    if (c.obstacle == Obstacle::DanglingFolderLink)
      fs::create_directory_symlink(folder / "gone", backupFolder);
    if (immutable && !immutable->Applied())
      GTEST_SKIP() << "this file system has no immutable attribute";

    screen.Clear();
    EXPECT_FALSE(session->OnRunUpdate());
    ExpectCopyFailure(screen, folder.string() + "/" + BackupFolderName() + "/");
    EXPECT_FALSE(session->LastRun().reason.empty());
    if (c.obstacle == Obstacle::ImmutableDatabaseFolder) {
      // The reason is the folder's creation, not the look for it that followed.
      EXPECT_EQ(session->LastRun().reason, "cannot make the backup folder " +
                                               backupFolder.string() + ": Operation not permitted");
    }
    immutable.reset();
    session->Database().Disconnect();
    EXPECT_EQ(DatabaseFingerprint(database), before);
    EXPECT_FALSE(PathExists(BackupOf(database).string()));
    EXPECT_FALSE(fs::exists(folder / "gone"));
  }
}

TEST_F(FileFaults, ABackupFolderOnAReadOnlyMountGivesTheCopyFailure) {
  MakeSampleDatabase(database);
  fs::create_directory(dir / BackupFolderName());
  const std::string before = DatabaseFingerprint(database);
  const ChildSession child = RunSessionInChild(
      database, [&] { return PrivateMounts() && BindReadOnly(dir / BackupFolderName()); });
  if (child.outcome.exited && child.outcome.code == kSkip) GTEST_SKIP() << "no private mounts here";
  ASSERT_TRUE(child.outcome.Succeeded()) << child.notes;
  RecordingScreen shown;
  for (const auto& m : child.messages) shown.events.push_back(m);
  const auto& messages = child.messages;
  ASSERT_EQ(messages.size(), 2u) << EncodeMessages(shown);
  EXPECT_EQ(messages[0].text, texts::M3BackupNotice);
  EXPECT_EQ(messages[1].text, texts::M5CopyFailed);
  EXPECT_NE(child.copyFailure.find("Read-only file system"), std::string::npos)
      << child.copyFailure;
  EXPECT_EQ(DatabaseFingerprint(database), before);
  EXPECT_TRUE(fs::is_empty(dir / BackupFolderName()));
}

// ---- a database that cannot be written ----

TEST_F(FileFaults, AReadOnlyDatabaseIsReportedAndLeftAsItWas) {
  // Root ignores permission bits, so the file is made read-only the ways
  // that bind root too: the immutable attribute and read-only mounts.
  enum class How { Immutable, ReadOnlyFileMount, ReadOnlyFolderMount };
  const struct {
    How how;
    const char* name;
  } cases[] = {
      {How::Immutable, "the file is immutable (chattr +i)"},
      {How::ReadOnlyFileMount, "the file is a read-only bind mount"},
      {How::ReadOnlyFolderMount, "the whole folder is a read-only bind mount"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = dir / ("case" + std::to_string(static_cast<int>(c.how)));
    fs::create_directories(folder);
    database = folder / "data1.mdb";
    MakeSampleDatabase(database);
    const std::string before = DatabaseFingerprint(database);
    std::optional<Immutable> immutable;
    if (c.how == How::Immutable) immutable.emplace(database);
    const ChildSession child = RunSessionInChild(database, [&] {
      if (immutable) return immutable->Applied();
      return PrivateMounts() && BindReadOnly(c.how == How::ReadOnlyFileMount ? database : folder);
    });
    immutable.reset();
    if (child.outcome.exited && child.outcome.code == kSkip) GTEST_SKIP() << "not available here";
    ASSERT_TRUE(child.outcome.Succeeded()) << child.notes;
    // The file opens for reading; the write lock the backup takes is refused.
    // Nothing was copied, so that is the update failing, not the copy.
    ASSERT_EQ(child.messages.size(), 3u);
    EXPECT_EQ(child.messages[0].text, texts::M3BackupNotice);
    EXPECT_EQ(child.messages[1].caption, texts::DisplayName);
    EXPECT_NE(
        child.messages[1].text.find("Description : Cannot update. Database or object is read-only"),
        std::string::npos)
        << child.messages[1].text;
    EXPECT_EQ(child.messages[2].text, texts::UpdateFailed);
    EXPECT_EQ(child.messages[2].caption, texts::DisplayName);
    EXPECT_EQ(child.messages[2].icon, MessageIcon::None);
    EXPECT_EQ(DatabaseFingerprint(database), before);
    EXPECT_FALSE(PathExists(BackupOf(database).string()));
    EXPECT_FALSE(fs::exists(database.string() + "-journal"));
  }
}

// ---- the database file gone or another one in its place after connecting ----

TEST_F(FileFaults, ADatabaseDeletedOrReplacedAfterConnectingIsNeverUpdatedBlindly) {
  enum class Change {
    Deleted,
    MovedAway,
    ReplacedBy107,
    ReplacedByJunk,
    ReplacedBy106,
    LinkRepointed
  };
  const struct {
    Change change;
    const char* name;
  } cases[] = {
      {Change::Deleted, "deleted"},
      {Change::MovedAway, "renamed to another name"},
      {Change::ReplacedBy107, "replaced by a 1.07 database"},
      {Change::ReplacedByJunk, "replaced by a file that is no database"},
      {Change::ReplacedBy106, "replaced by another 1.06 database"},
      {Change::LinkRepointed, "its name a link, pointed at another 1.06 database"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    screen = RecordingScreen{};
    const fs::path folder = dir / ("case" + std::to_string(static_cast<int>(c.change)));
    fs::create_directories(folder);
    database = folder / "data1.mdb";
    const fs::path real = c.change == Change::LinkRepointed ? folder / "real.mdb" : database;
    MakeSampleDatabase(real);
    if (c.change == Change::LinkRepointed) fs::create_symlink(real, database);
    const std::string original = ReadFile(real);
    const fs::path other = folder / "other.mdb";
    if (c.change == Change::ReplacedBy107) MakeSampleDatabase(other, {.version = "1.07"});
    if (c.change == Change::ReplacedBy106 || c.change == Change::LinkRepointed)
      MakeSampleDatabase(other, {.kumiRows = 30});
    if (c.change == Change::ReplacedByJunk) WriteFile(other, "junk");
    NewSession().ConnectChosenFile(database.string());
    ASSERT_TRUE(session->Database().IsConnected());
    const std::string replacement = fs::exists(other) ? ReadFile(other) : std::string();

    if (c.change == Change::Deleted) fs::remove(database);
    if (c.change == Change::MovedAway) fs::rename(database, folder / "moved.mdb");
    if (c.change == Change::LinkRepointed) {
      fs::remove(database);
      fs::create_symlink(other, database);
    } else if (fs::exists(other)) {
      fs::rename(other, database);
    }
    screen.Clear();
    EXPECT_FALSE(session->OnRunUpdate());
    session->Database().Disconnect();

    // Neither the file the engine opened nor the one now at the name is
    // backed up or changed: the copy would be of one file and the patch of
    // another.
    EXPECT_EQ(MessageTexts(screen), (std::vector<std::string>{std::string(texts::M3BackupNotice),
                                                              std::string(texts::M5CopyFailed)}));
    EXPECT_TRUE(fs::is_empty(folder / BackupFolderName()));
    EXPECT_NE(session->LastRun().reason.find("was moved, replaced or deleted after it was opened"),
              std::string::npos)
        << session->LastRun().reason;
    if (!replacement.empty()) {
      EXPECT_EQ(ReadFile(database), replacement);
    }
    if (c.change == Change::MovedAway) {
      EXPECT_EQ(ReadFile(folder / "moved.mdb"), original);
    }
    if (c.change == Change::LinkRepointed) {
      EXPECT_EQ(ReadFile(real), original);
    }
  }
}

// The database's name given to another file while the patch runs: the
// update is checked by reading the file at the name back, finds it is not
// the one it changed, and says so; the other file stays as it is.
TEST_F(FileFaults, ADatabaseReplacedDuringThePatchIsToldAndTheNewFileLeftAlone) {
  MakeSampleDatabase(dir / "other.mdb", {.kumiRows = 30});
  const std::string replacement = ReadFile(dir / "other.mdb");
  MakeSampleDatabase(database);
  const std::string original = ReadFile(database);
  HookScreen hooks;
  PatchSession patchSession(hooks, probe);
  patchSession.ConnectChosenFile(database.string());
  ASSERT_TRUE(patchSession.Database().IsConnected());
  hooks.onAdvance = [&](int position) {
    if (position == 3) fs::rename(dir / "other.mdb", database);
  };
  EXPECT_FALSE(patchSession.OnRunUpdate());
  patchSession.Database().Disconnect();
  const auto messages = MessageTexts(hooks);
  ASSERT_EQ(messages.size(), 4u) << EncodeMessages(hooks);
  EXPECT_EQ(messages[0], texts::M3BackupNotice);
  EXPECT_NE(messages[1].find("The file at the database's name was moved or replaced while the "
                             "update was written, and is left as it is."),
            std::string::npos)
      << messages[1];
  EXPECT_EQ(messages[2], texts::UpdateFailed);
  EXPECT_EQ(ReadFile(database), replacement);
  EXPECT_EQ(ReadFile(BackupOf(database)), original);
}

TEST_F(FileFaults, ADatabaseWithASecondNameIsLeftAsItIs) {
  StartWithSample();
  fs::create_directory(dir / "snapshot");
  fs::create_hard_link(database, dir / "snapshot" / "data1.mdb");
  const std::string bytes = ReadFile(database);
  EXPECT_FALSE(session->OnRunUpdate());
  EXPECT_EQ(MessageTexts(screen), (std::vector<std::string>{std::string(texts::M3BackupNotice),
                                                            std::string(texts::M5CopyFailed)}));
  EXPECT_NE(session->LastRun().reason.find("has 2 names (hard links)"), std::string::npos)
      << session->LastRun().reason;
  EXPECT_EQ(ReadFile(database), bytes);
  EXPECT_TRUE(fs::is_empty(dir / BackupFolderName()));

  // Once the snapshot's name is gone the update goes ahead.
  fs::remove(dir / "snapshot" / "data1.mdb");
  screen.Clear();
  EXPECT_TRUE(session->OnRunUpdate());
  EXPECT_EQ(VersionOf(database), "1.07");
}

// ---- a full disk ----

TEST_F(FileFaults, AFullDiskFailsTheCopyOrThePatchAndLosesNothing) {
  MakeSampleDatabase(dir / "sample.mdb", {.kumiRows = 20000});
  const auto size = static_cast<long long>(fs::file_size(dir / "sample.mdb"));
  const struct {
    const char* name;
    long long room;  // the small disk's size
    bool copyFits;
  } cases[] = {
      {"the copy does not fit", size + 64 * 1024, false},
      {"the copy fits, the patch's journal does not", 2 * size + 64 * 1024, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path small = dir / (c.copyFits ? "small2" : "small1");
    fs::create_directory(small);
    database = small / "data1.mdb";
    const ChildSession child = RunSessionInChild(
        database,
        [&] {
          const std::string options = "size=" + std::to_string(c.room);
          if (!PrivateMounts() || mount("tmpfs", small.c_str(), "tmpfs", 0, options.c_str()) != 0)
            return false;
          fs::copy_file(dir / "sample.mdb", database);
          return true;
        },
        [&](PatchSession&) {
          struct statvfs disk = {};
          statvfs(small.c_str(), &disk);
          std::string notes =
              DatabaseFingerprint(database) == DatabaseFingerprint(dir / "sample.mdb")
                  ? "database unchanged\n"
                  : "database changed\n";
          notes += "backup: " +
                   (PathExists(BackupOf(database).string())
                        ? DatabaseFingerprint(BackupOf(database)) ==
                                  DatabaseFingerprint(dir / "sample.mdb")
                              ? std::string("the database as it was")
                              : std::string("differs")
                        : std::string("none")) +
                   "\n";
          notes += "backup folder entries: " +
                   std::to_string(Listing(small / BackupFolderName()).size()) + "\n";
          return notes;
        });
    if (child.outcome.exited && child.outcome.code == kSkip)
      GTEST_SKIP() << "no private tmpfs here";
    ASSERT_TRUE(child.outcome.Succeeded()) << child.notes;
    EXPECT_FALSE(child.updated);
    EXPECT_NE(child.notes.find("database unchanged"), std::string::npos) << child.notes;
    RecordingScreen shown;
    shown.events = child.messages;
    const auto messages = MessageTexts(shown);
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0], texts::M3BackupNotice);
    if (!c.copyFits) {
      EXPECT_EQ(messages, (std::vector<std::string>{std::string(texts::M3BackupNotice),
                                                    std::string(texts::M5CopyFailed)}));
      EXPECT_NE(child.copyFailure.find("No space left on device"), std::string::npos)
          << child.copyFailure;
      EXPECT_NE(child.notes.find("backup: none\nbackup folder entries: 0"), std::string::npos)
          << child.notes;
    } else {
      ASSERT_EQ(messages.size(), 4u) << EncodeMessages(shown);
      EXPECT_NE(messages[1].find("Description : The disk is full"), std::string::npos)
          << messages[1];
      EXPECT_EQ(messages[2], texts::UpdateFailed);
      EXPECT_NE(child.notes.find("backup: the database as it was"), std::string::npos)
          << child.notes;
    }
  }
}

// The patch's failure report, with the description holding `part`; the
// database as it was and its backup complete.
void ExpectPatchFailureWith(const ChildSession& child, const std::string& part) {
  ASSERT_TRUE(child.outcome.Succeeded()) << child.notes;
  EXPECT_FALSE(child.updated);
  ASSERT_EQ(child.messages.size(), 4u) << child.notes;
  EXPECT_EQ(child.messages[0].text, texts::M3BackupNotice);
  EXPECT_NE(child.messages[1].text.find(part), std::string::npos) << child.messages[1].text;
  EXPECT_EQ(child.messages[2].text, texts::UpdateFailed);
  EXPECT_NE(child.notes.find("database unchanged, backup = the database"), std::string::npos)
      << child.notes;
}

std::string DatabaseAndBackup(const fs::path& database, const fs::path& original) {
  const bool unchanged = DatabaseFingerprint(database) == DatabaseFingerprint(original);
  const bool backup =
      PathExists(BackupOf(database).string()) && ReadFile(BackupOf(database)) == ReadFile(original);
  return std::string(unchanged ? "database unchanged" : "database changed") +
         (backup ? ", backup = the database" : ", no true backup");
}

// SQLite's work files go to the temporary folder, which may be a small disk
// of its own (64 KiB here).
class FullTemporaryFolder : public FileFaults {
 protected:
  void SetUp() override {
    FileFaults::SetUp();
    MakeSampleDatabase(dir / "sample.mdb", {.kumiRows = 20000});
    database = dir / "data1.mdb";
    fs::copy_file(dir / "sample.mdb", database);
    fs::create_directory(temporary);
  }
  bool MountSmallTemporaryFolder() const {
    if (!PrivateMounts() || mount("tmpfs", temporary.c_str(), "tmpfs", 0, "size=64k") != 0)
      return false;
    setenv("SQLITE_TMPDIR", temporary.c_str(), 1);
    setenv("TMPDIR", temporary.c_str(), 1);
    // SQLite reads these once, when it starts; this child of the test
    // process has none of its connections open, so SQLite starts again.
    sqlite3_shutdown();
    return true;
  }
  const fs::path temporary = dir / "tmp";
};

// The patch is one transaction that a failure undoes whole, so no statement
// needs an undo of its own: the rate corrections write no statement journal
// (as large as the table) there.
TEST_F(FullTemporaryFolder, DoesNotStopThePatch) {
  const ChildSession child = RunSessionInChild(
      database, [&] { return MountSmallTemporaryFolder(); },
      [&](PatchSession&) { return DatabaseAndBackup(database, dir / "sample.mdb"); });
  if (child.outcome.exited && child.outcome.code == kSkip) GTEST_SKIP() << "no private tmpfs here";
  ASSERT_TRUE(child.outcome.Succeeded()) << child.notes;
  EXPECT_TRUE(child.updated) << child.notes;
  EXPECT_NE(child.notes.find("database changed, backup = the database"), std::string::npos)
      << child.notes;
}

// A table with a trigger of its own takes an UPDATE with the statement's
// own undo, which does need one, and the full disk named in the report is
// the temporary folder's, not the database's.
TEST_F(FullTemporaryFolder, IsTheDiskNamedWhenAStatementJournalNeedsIt) {
  RawDatabase(database).Each("CREATE TRIGGER audit AFTER UPDATE ON t_kumi_rate BEGIN SELECT 1; END",
                             [](sqlite3_stmt*) {});
  fs::copy_file(database, dir / "sample.mdb", fs::copy_options::overwrite_existing);
  const ChildRun run = RunInChild([&](int report) {
    if (!MountSmallTemporaryFolder()) return kSkip;
    ConnectionPtr db;
    if (CreateConnection(db) != S_Ok) return 3;
    std::string told;
    try {
      db->Open(BuildConnectionString(dir.path().string() + "/", "data1", "", ".mdb"));
      db->BeginTrans();
      for (const auto& statement : AllPatchStatements()) {
        if (statement.rfind("UPDATE", 0) == 0) db->Execute(statement, nullptr);
      }
      told = "no failure";
    } catch (const ComError& error) {
      told = error.Description();
    }
    WriteAll(report, told);
    return 0;
  });
  if (run.outcome.exited && run.outcome.code == kSkip) GTEST_SKIP() << "no private tmpfs here";
  ASSERT_TRUE(run.outcome.Succeeded()) << run.report;
  EXPECT_NE(run.report.find("The disk is full: the folder '" + temporary.string() +
                            "', where the engine keeps its work files"),
            std::string::npos)
      << run.report;
  EXPECT_EQ(DatabaseFingerprint(database), DatabaseFingerprint(dir / "sample.mdb"));
}

// A file-size limit (ulimit -f) once ended the program in the middle of the
// patch with no word; the write now fails, is undone and is reported.
TEST_F(FileFaults, AFileSizeLimitDuringThePatchIsReportedAndUndone) {
  MakeSampleDatabase(dir / "sample.mdb", {.kumiRows = 20000});
  database = dir / "data1.mdb";
  fs::copy_file(dir / "sample.mdb", database);
  const auto size = static_cast<rlim_t>(fs::file_size(database));
  const ChildSession child = RunSessionInChild(
      database,
      [&] {
        // The copy fits exactly; the database cannot grow by a page.
        const struct rlimit limit = {size, size};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
      },
      [&](PatchSession&) {
        const struct rlimit none = {RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &none);
        return DatabaseAndBackup(database, dir / "sample.mdb");
      });
  ExpectPatchFailureWith(child,
                         "The file size limit of this session (ulimit -f) stops the database");
  EXPECT_EQ(child.copyFailure, "");
}

// ---- things planted where the backup goes ----

TEST_F(FileFaults, AnythingPlantedAtTheBackupNameCountsAsABackupAndIsNeverFollowedOrOverwritten) {
  // (A plain file and a link to nowhere:
  // UpdateRun.AnExistingBackupIsNeverTouchedAndTheFolderIsOpened and
  // UpdateRun.PlantedLinksAtTheBackupNameCountAsExistingBackups.)
  StartWithSample();
  const fs::path backup = BackupOf(database);
  fs::create_directories(backup.parent_path());
  fs::create_directory(dir / "elsewhere");
  WriteFile(dir / "elsewhere" / "keep.txt", "keep");
  const std::string before = DatabaseFingerprint(database);
  const std::string bytes = ReadFile(database);

  const struct {
    const char* name;
    std::function<void()> plant;
    std::function<void()> check;
  } cases[] = {
      {"a link to the database itself", [&] { fs::create_symlink(database, backup); },
       [&] { EXPECT_EQ(fs::read_symlink(backup), database); }},
      {"a link to a folder", [&] { fs::create_directory_symlink(dir / "elsewhere", backup); },
       [&] { EXPECT_EQ(Listing(dir / "elsewhere"), std::set<std::string>{"keep.txt"}); }},
      {"a folder with a file in it",
       [&] {
         fs::create_directory(backup);
         WriteFile(backup / "inside.txt", "inside");
       },
       [&] { EXPECT_EQ(ReadFile(backup / "inside.txt"), "inside"); }},
      {"a named pipe", [&] { ASSERT_EQ(mkfifo(backup.c_str(), 0600), 0); },
       [&] { EXPECT_TRUE(fs::is_fifo(backup)); }},
      {"a hard link to the database", [&] { fs::create_hard_link(database, backup); },
       [&] { EXPECT_EQ(fs::hard_link_count(database), 2u); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.plant();
    screen.Clear();
    EXPECT_FALSE(session->OnRunUpdate());
    EXPECT_EQ(MessageTexts(screen), (std::vector<std::string>{std::string(texts::M3BackupNotice),
                                                              std::string(texts::M4BackupExists)}));
    EXPECT_TRUE(OpenedFolder(screen, BackupFolder()));
    c.check();
    EXPECT_EQ(Listing(backup.parent_path()), std::set<std::string>{backup.filename()});
    EXPECT_EQ(DatabaseFingerprint(database), before);
    EXPECT_EQ(ReadFile(database), bytes);
    fs::remove_all(backup);
  }
}

}  // namespace
}  // namespace mivotra::test::faults
