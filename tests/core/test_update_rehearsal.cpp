// The dry run: it tells what the update would do by doing all of it but the
// backup and the commit, and leaves every byte and every name as they were.
// Each case is run twice on twin databases, rehearsed and for real, and the
// rehearsal must show what the real run showed, up to where it stopped.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <set>

#include "DatabaseHelpers.h"
#include "PatchProgram.h"
#include "RawDatabase.h"
#include "ScreenHooks.h"
#include "SessionFixture.h"
#include "res/Texts.h"
#include "update/PatchSession.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;
using End = RunRecord::End;

// What a user could find changed on disk.
struct Disk {
  std::string bytes;
  std::set<std::string> folder;
  bool backupFolderExists = false;
  std::set<std::string> backupFolder;

  bool operator==(const Disk&) const = default;
};

Disk Look(const fs::path& database) {
  const fs::path backupFolder = database.parent_path() / BackupFolderName();
  return {ReadFile(database), Listing(database.parent_path()),
          fs::exists(fs::symlink_status(backupFolder)), Listing(backupFolder)};
}

void Execute(const fs::path& database, const std::string& sql) {
  RawDatabase(database).Each(sql, [](sqlite3_stmt*) {});
}

struct Seen {
  bool result = false;
  RunRecord run;
  std::vector<ScreenEvent> messages;
  std::optional<std::string> clipboard;
  std::string reason;
};

struct Case {
  const char* name;
  SampleOptions options;
  std::function<void(const fs::path& database)> prepare;
  bool mainApplicationRuns = false;
  End end;
  std::size_t messages;
};

class Rehearsal : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1); }

  fs::path Make(const std::string& name, const Case& c) {
    const fs::path folder = dir / name;
    fs::create_directories(folder);
    const fs::path database = folder / "data1.mdb";
    MakeSampleDatabase(database, c.options);
    if (c.prepare) c.prepare(database);
    return database;
  }

  Seen Run(const fs::path& database, bool rehearse, bool mainApplicationRuns,
           const std::function<void()>& before = {}) {
    RecordingScreen screen;
    FakeProbe probe;
    probe.running = mainApplicationRuns;
    PatchSession session(screen, probe);
    session.ConnectChosenFile(database.string());
    EXPECT_TRUE(session.Database().IsConnected()) << screen.caption;
    screen.Clear();
    if (before) before();
    Seen seen;
    seen.result = rehearse ? session.RehearseUpdate() : session.OnRunUpdate();
    seen.run = session.LastRun();
    seen.messages = screen.Messages();
    seen.clipboard = screen.clipboard;
    seen.reason = session.LastRun().reason;
    EXPECT_FALSE(screen.waitCursor);
    EXPECT_TRUE(screen.closeEnabled);
    session.Database().Disconnect();
    return seen;
  }

  TempDir dir;
};

// The boxes of one run in the words of the other's folder.
std::string Shown(const std::vector<ScreenEvent>& messages, std::size_t count,
                  const std::string& folder, const std::string& replacement) {
  std::string text;
  for (std::size_t i = 0; i < count && i < messages.size(); ++i) {
    std::string body = messages[i].text;
    for (std::size_t at; (at = body.find(folder)) != std::string::npos;)
      body.replace(at, folder.size(), replacement);
    text += "[" + messages[i].caption + "|" + std::to_string(static_cast<int>(messages[i].icon)) +
            "] " + body + "\n";
  }
  return text;
}

TEST_F(Rehearsal, EndsWhereTheRealRunEndsWithItsBoxesAndChangesNothingOnDisk) {
  const Case cases[] = {
      {"would update", {}, {}, false, End::WouldUpdate, 2},
      {"would update, the comment table there",
       {.withCommentTable = true},
       {},
       false,
       End::WouldUpdate,
       2},
      {"the main application runs", {}, {}, true, End::Refused, 1},
      {"version 1.07", {.version = "1.07"}, {}, false, End::Refused, 1},
      {"the backup is there",
       {},
       [](const fs::path& database) {
         fs::create_directory(database.parent_path() / BackupFolderName());
         WriteFile(BackupOf(database), "an earlier backup");
       },
       false,
       End::Refused,
       2},
      {"a version row 7 is there already",
       {},
       [](const fs::path& database) {
         Execute(database, "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.05');");
       },
       false,
       End::Failed,
       4},
      {"a table named in other letter case",
       {},
       [](const fs::path& database) {
         Execute(database, "CREATE TABLE T_SOFU_SYUKIN_CODE (X INTEGER);");
       },
       false,
       End::Failed,
       4},
      {"no t_sofu for the new table to refer to",
       {},
       [](const fs::path& database) { Execute(database, "DROP TABLE t_sofu;"); },
       false,
       End::Failed,
       4},
      {"no version table",
       {},
       [](const fs::path& database) { Execute(database, "DROP TABLE t_db_ver;"); },
       false,
       End::Failed,
       3},
      {"a file at the backup folder's name",
       {},
       [](const fs::path& database) {
         WriteFile(database.parent_path() / BackupFolderName(), "not a folder");
       },
       false,
       End::Failed,
       2},
      {"a journal planted beside the backup's name",
       {},
       [](const fs::path& database) {
         fs::create_directory(database.parent_path() / BackupFolderName());
         WriteFile(BackupOf(database).string() + "-journal", "someone's journal");
       },
       false,
       End::Failed,
       2},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string n = std::to_string(index++);
    const fs::path rehearsed = Make("rehearsed" + n, c);
    const fs::path real = Make("real" + n, c);
    const Disk before = Look(rehearsed);

    const Seen rehearsal = Run(rehearsed, true, c.mainApplicationRuns);
    EXPECT_TRUE(Look(rehearsed) == before) << "the rehearsal changed something on disk";
    const Seen update = Run(real, false, c.mainApplicationRuns);

    EXPECT_EQ(rehearsal.run.end, c.end);
    EXPECT_EQ(rehearsal.result, c.end == End::WouldUpdate);
    EXPECT_EQ(update.result, c.end == End::WouldUpdate) << "the real run did otherwise";
    ASSERT_EQ(rehearsal.messages.size(), c.messages) << Shown(rehearsal.messages, 9, "", "");
    ASSERT_EQ(update.messages.size(), c.messages) << Shown(update.messages, 9, "", "");
    const std::string from = rehearsed.parent_path().string();
    const std::string to = real.parent_path().string();
    if (c.end == End::WouldUpdate) {
      EXPECT_EQ(Shown(rehearsal.messages, c.messages - 1, from, to),
                Shown(update.messages, c.messages - 1, from, to));
      EXPECT_EQ(rehearsal.messages.back().text, texts::RehearsalFinished);
      EXPECT_EQ(rehearsal.messages.back().caption, update.messages.back().caption);
      ASSERT_TRUE(rehearsal.clipboard && update.clipboard);
      EXPECT_EQ(*rehearsal.clipboard, *update.clipboard);
      EXPECT_EQ(rehearsal.run.versionAfter, "1.07");
      EXPECT_TRUE(rehearsal.run.backup.empty());
      EXPECT_EQ(update.run.backup, BackupOf(real).string());
    } else {
      EXPECT_EQ(Shown(rehearsal.messages, c.messages, from, to),
                Shown(update.messages, c.messages, from, to));
      EXPECT_FALSE(rehearsal.clipboard);
      EXPECT_EQ(rehearsal.run.versionAfter, rehearsal.run.versionBefore);
    }
    EXPECT_EQ(rehearsal.run.statements.size(), update.run.statements.size());
    EXPECT_EQ(rehearsal.run.error.has_value(), update.run.error.has_value());
    std::string reason = rehearsal.reason;
    if (const auto at = reason.find(from); at != std::string::npos)
      reason.replace(at, from.size(), to);
    EXPECT_EQ(reason, update.reason);
  }
}

TEST_F(Rehearsal, LeavesTheConnectionReadyForTheUpdateItself) {
  const Case c{"plain", {}, {}, false, End::WouldUpdate, 2};
  const fs::path database = Make("db", c);
  RecordingScreen screen;
  FakeProbe probe;
  PatchSession session(screen, probe);
  session.ConnectChosenFile(database.string());
  ASSERT_TRUE(session.RehearseUpdate());
  EXPECT_EQ(VersionOf(database), "1.06");
  EXPECT_TRUE(session.OnRunUpdate()) << EncodeMessages(screen);
  EXPECT_EQ(session.LastRun().end, End::Updated);
  EXPECT_EQ(session.LastRun().versionBefore, "1.06");
  EXPECT_EQ(session.LastRun().versionAfter, "1.07");
  session.Database().Disconnect();
  EXPECT_EQ(VersionOf(database), "1.07");
}

TEST_F(Rehearsal, FindsNoRoomForTheBackupUnderAFileSizeLimit) {
  const Case c{"plain", {}, {}, false, End::Failed, 2};
  const fs::path rehearsed = Make("rehearsed", c);
  const fs::path real = Make("real", c);
  const Disk before = Look(rehearsed);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto limit = [&] {
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  };
  const Seen rehearsal = Run(rehearsed, true, false, limit);
  setrlimit(RLIMIT_FSIZE, &saved);
  const Seen update = Run(real, false, false, limit);
  setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_TRUE(Look(rehearsed) == before);
  ASSERT_EQ(rehearsal.messages.size(), 2u);
  EXPECT_EQ(rehearsal.messages[1].text, texts::M5CopyFailed);
  ASSERT_EQ(update.messages.size(), 2u);
  EXPECT_EQ(update.messages[1].text, texts::M5CopyFailed);
  EXPECT_NE(rehearsal.reason.find("file size limit"), std::string::npos) << rehearsal.reason;
}

}  // namespace
}  // namespace mivotra::test
