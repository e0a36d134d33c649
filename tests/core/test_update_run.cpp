// The update run from the press of Run to its last message, on real sample
// databases: every sequence of boxes a user can meet, and what stays on disk.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "DatabaseHelpers.h"
#include "FailingNew.h"
#include "FaultHooks.h"
#include "RawDatabase.h"
#include "SessionFixture.h"
#include "res/Texts.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;

std::string M2(const std::string& version) {
  return std::string(texts::M2Before) + "1.06" + std::string(texts::M2Middle) + version +
         std::string(texts::M2After);
}

void ExpectMessage(const ScreenEvent& event, std::string_view text, std::string_view caption,
                   MessageIcon icon) {
  EXPECT_EQ(event.text, text);
  EXPECT_EQ(event.caption, caption);
  EXPECT_EQ(event.icon, icon);
}

void ExpectControlsRestored(const RecordingScreen& screen) {
  EXPECT_TRUE(screen.runEnabled);
  EXPECT_FALSE(screen.searchEnabled);
  EXPECT_TRUE(screen.closeEnabled);
}

class UpdateRun : public SessionFixture {};

TEST_F(UpdateRun, NormalRunBacksUpThenUpdatesAndReportsTheStatements) {
  StartWithSample();
  const std::string before = DatabaseFingerprint(database);

  EXPECT_TRUE(session->OnRunUpdate());

  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 2u);
  ExpectMessage(messages[0], texts::M3BackupNotice, "2009/11/09", MessageIcon::Information);
  EXPECT_NE(messages[0].text.find(
                "、/データベース更新前データ/[データベース名]ver_1_06backup.mdb となります。"),
            std::string::npos);
  ExpectMessage(messages[1], "更新終了致しました", "2009/11/09更新", MessageIcon::None);
  ExpectControlsRestored(screen);
  EXPECT_FALSE(screen.waitCursor);
  EXPECT_TRUE(screen.ArrowOverTheOutcome());
  EXPECT_EQ(screen.progress, 3);

  // The backup is the database as it was, and still opens.
  ASSERT_TRUE(fs::exists(BackupFile()));
  EXPECT_EQ(DatabaseFingerprint(BackupFile()), before);

  ASSERT_TRUE(screen.clipboard);
  EXPECT_EQ(screen.clipboard->rfind("  1 CREATE TABLE t_expense_nexco_riyou (", 0), 0u);
  EXPECT_NE(screen.clipboard->find("\n 13 INSERT INTO t_db_ver_comment"), std::string::npos);

  auto db = OpenDatabase(database);
  EXPECT_EQ(QueryText(*db, std::string(texts::VersionQuery)), "1.07");
  EXPECT_EQ(
      RawDatabase(database).Rows(
          "SELECT DBVerComment FROM t_db_ver_comment WHERE DBVerID = 7 ORDER BY DBVerCommentID"),
      (std::vector<std::string>{"1.振替用コードテーブル追加",
                                "2.NEXCO大口先調整額登録用テーブル追加"}));
  EXPECT_EQ(RawDatabase(database).Text("SELECT COUNT(*) FROM t_kumi_rate WHERE KodanID = 2 AND "
                                       "(KumiRateTypeID <> 1 OR KumiUpperRateTypeID <> "
                                       "KumiLowerRateTypeID)"),
            "0");
}

TEST_F(UpdateRun, ASecondPressAfterSuccessStopsAtTheVersionGateWithTheNewVersion) {
  StartWithSample();
  ASSERT_TRUE(session->OnRunUpdate());
  screen.Clear();

  EXPECT_FALSE(session->OnRunUpdate());

  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 1u);
  ExpectMessage(messages[0], M2("1.07"), "2009/11/09", MessageIcon::Information);
  ExpectControlsRestored(screen);
}

TEST_F(UpdateRun, VersionsOtherThanExactly106AreRefusedWithoutBackup) {
  for (const std::string version : {"1.07", "1.6", "1.060", "1.06 "}) {
    SCOPED_TRACE(version);
    SetUp();
    fs::remove_all(dir / "data1.mdb");
    StartWithSample({.version = version});
    EXPECT_FALSE(session->OnRunUpdate());
    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), 1u);
    ExpectMessage(messages[0], M2(version), "2009/11/09", MessageIcon::Information);
    EXPECT_FALSE(fs::exists(dir / std::string(texts::BackupFolderName)));
    ExpectControlsRestored(screen);
    session.reset();
  }
}

TEST_F(UpdateRun, AnEmptyVersionTableShowsOnlyTheTwoSpacesBetweenTheBrackets) {
  StartWithSample();
  RawDatabase(database).Each("DELETE FROM t_db_ver", [](sqlite3_stmt*) {});
  EXPECT_FALSE(session->OnRunUpdate());
  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("現在のデータベースバージョンは「  」です。"), std::string::npos);
}

// A version query that fails is told, and the run ends with the controls
// back and the connection open: an engine failure with its report and the
// query, anything else as unexpected.
TEST_F(UpdateRun, AFailingVersionQueryIsToldAndEndsTheRun) {
  StatementWatch::Install();
  const struct {
    const char* how;
    bool outOfMemory;  // else the version table is dropped
    std::vector<std::string> boxes;
  } cases[] = {
      {"no version table",
       false,
       {"Code : 0x80040e37", "更新に失敗しました", std::string(texts::VersionQuery)}},
      {"memory runs out as its value is read",
       true,
       {"*** 処理されない例外 ***", "更新に失敗しました"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    StartWithSample();
    bool armed = false;
    if (c.outOfMemory) {
      StatementWatch::onStatement = [&armed](std::string_view sql) {
        if (armed || sql.find("MaxDBVerCode") == std::string_view::npos) return;
        armed = true;
        FailNthNew();
      };
    } else {
      RawDatabase(database).Each("DROP TABLE t_db_ver", [](sqlite3_stmt*) {});
    }
    EXPECT_FALSE(session->OnRunUpdate());
    StatementWatch::onStatement = nullptr;
    StopFailingNew();
    EXPECT_EQ(NewHasFailed(), c.outOfMemory);

    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), c.boxes.size());
    EXPECT_EQ(messages[0].caption, "MivotraPatch20091109");
    EXPECT_EQ(messages[0].icon, MessageIcon::Exclamation);
    EXPECT_NE(messages[0].text.find(c.boxes[0]), std::string::npos) << messages[0].text;
    for (std::size_t i = 1; i < c.boxes.size(); ++i)
      ExpectMessage(messages[i], c.boxes[i], "MivotraPatch20091109", MessageIcon::None);
    if (!c.outOfMemory) {
      EXPECT_NE(messages[0].text.find("t_db_ver"), std::string::npos);
    }
    ExpectControlsRestored(screen);
    EXPECT_TRUE(session->Database().IsConnected());
    EXPECT_FALSE(fs::exists(dir / std::string(texts::BackupFolderName)));
    session.reset();
    fs::remove(database);
  }
}

TEST_F(UpdateRun, TheRunningMainApplicationRefusesBeforeAnythingIsTouched) {
  StartWithSample();
  const std::string before = DatabaseFingerprint(database);
  probe.running = true;

  EXPECT_FALSE(session->OnRunUpdate());

  ASSERT_EQ(screen.events.size(), 1u);  // no control change, nothing else
  ExpectMessage(screen.events[0], "ミボトラ計算ソフトを終了してから再実行してください。",
                "ＤＢ更新", MessageIcon::Stop);
  EXPECT_EQ(DatabaseFingerprint(database), before);
}

TEST_F(UpdateRun, AnExistingBackupIsNeverTouchedAndTheFolderIsOpened) {
  StartWithSample();
  fs::create_directories(BackupFile().parent_path());
  WriteFile(BackupFile(), "the user's older backup");
  const std::string before = DatabaseFingerprint(database);

  EXPECT_FALSE(session->OnRunUpdate());

  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, texts::M3BackupNotice);
  ExpectMessage(messages[1], texts::M4BackupExists, "2009/11/09", MessageIcon::Information);
  bool opened = false;
  for (const auto& e : screen.events)
    if (e.kind == ScreenEvent::OpenFolder)
      opened = e.text == Folder() + "データベース更新前データ/";
  EXPECT_TRUE(opened);
  EXPECT_EQ(ReadFile(BackupFile()), "the user's older backup");
  EXPECT_EQ(DatabaseFingerprint(database), before);
  ExpectControlsRestored(screen);
}

TEST_F(UpdateRun, PlantedLinksAtTheBackupNameCountAsExistingBackups) {
  StartWithSample();
  fs::create_directories(BackupFile().parent_path());
  fs::create_symlink(dir / "nowhere", BackupFile());  // dangling
  EXPECT_FALSE(session->OnRunUpdate());
  EXPECT_EQ(screen.Messages().back().text, texts::M4BackupExists);
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

TEST_F(UpdateRun, ACopyThatCannotBeMadeShowsTheCopyFailureAndChangesNothing) {
  StartWithSample();
  // A file where the backup folder should be: the folder cannot be created.
  WriteFile(dir / std::string(texts::BackupFolderName), "in the way");
  const std::string before = DatabaseFingerprint(database);

  EXPECT_FALSE(session->OnRunUpdate());

  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, texts::M3BackupNotice);
  ExpectMessage(messages[1], "コピーに失敗しました。", "2009/11/09", MessageIcon::Exclamation);
  EXPECT_EQ(DatabaseFingerprint(database), before);
  ExpectControlsRestored(screen);
}

TEST_F(UpdateRun, ACancelledCopyLeavesNoFileAndDoesNotPatch) {
  StartWithSample({.kumiRows = 20000});
  screen.cancelCopyAfterBytes = 1;
  const std::string before = DatabaseFingerprint(database);

  EXPECT_FALSE(session->OnRunUpdate());

  EXPECT_EQ(screen.Messages().back().text, "コピーに失敗しました。");
  EXPECT_TRUE(fs::is_empty(BackupFile().parent_path()));
  EXPECT_EQ(DatabaseFingerprint(database), before);
}

TEST_F(UpdateRun, AMissingBackupFolderIsCreatedBesideTheDatabase) {
  StartWithSample();
  ASSERT_FALSE(fs::exists(BackupFile().parent_path()));
  EXPECT_TRUE(session->OnRunUpdate());
  EXPECT_TRUE(fs::is_directory(BackupFile().parent_path()));
  EXPECT_TRUE(fs::is_regular_file(BackupFile()));
}

TEST_F(UpdateRun, AnEncryptedDatabaseIsBackedUpAndUpdatedWithItsPassword) {
  StartWithSample({.password = "p'a;s\"s 秘密"});
  EXPECT_TRUE(session->OnRunUpdate()) << screen.Messages().back().text;
  // The backup is as encrypted as the database.
  EXPECT_NE(ReadFile(BackupFile()).rfind("SQLite format 3", 0), 0u);
  auto backup = OpenDatabase(BackupFile(), "p'a;s\"s 秘密");
  EXPECT_EQ(QueryText(*backup, std::string(texts::VersionQuery)), "1.06");
  auto db = OpenDatabase(database, "p'a;s\"s 秘密");
  EXPECT_EQ(QueryText(*db, std::string(texts::VersionQuery)), "1.07");
}

// Files kept in tests/golden/, each written once by the sample maker of its
// day on the SQLCipher it names: the update reads each in its own format and
// leaves it in that format, so the main application that made it reads it as
// before. Read back outside the engine with that generation's own settings.
struct KeptFile {
  const char* name;
  const char* password;
  int cipherCompatibility;
  int pageSize;
};

class KeptFileUpdate : public SessionFixture, public testing::WithParamInterface<KeptFile> {};

TEST_P(KeptFileUpdate, IsUpdatedInItsOwnFormat) {
  const KeptFile& file = GetParam();
  const fs::path kept = fs::path(MIVOTRA_SOURCE_DIR) / "tests/golden" / file.name;
  fs::copy_file(kept, database);
  WriteSettings(dir / "config", "data1", Folder(), file.password);
  LocateWithNewSession();
  ASSERT_TRUE(session->Database().IsConnected()) << screen.caption;
  EXPECT_TRUE(session->OnRunUpdate()) << screen.Messages().back().text;
  EXPECT_EQ(ReadFile(BackupFile()), ReadFile(kept));
  EXPECT_EQ(fs::file_size(database) % file.pageSize, 0u);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> closer(db, sqlite3_close);
  sqlite3_key(db, file.password, static_cast<int>(std::strlen(file.password)));
  const std::string compatibility =
      "PRAGMA cipher_compatibility = " + std::to_string(file.cipherCompatibility);
  ASSERT_EQ(sqlite3_exec(db, compatibility.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  auto text = [db](const char* sql) {
    std::string rows;
    sqlite3_exec(
        db, sql,
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) += std::string(values[0] ? values[0] : "NULL") + "\n";
          return 0;
        },
        &rows, nullptr);
    return rows;
  };
  EXPECT_EQ(text("SELECT DBVerCode FROM t_db_ver WHERE DBVerID >= 6 ORDER BY DBVerID"),
            "1.06\n1.07\n");
  EXPECT_EQ(text("PRAGMA cipher_page_size"), std::to_string(file.pageSize) + "\n");
  EXPECT_EQ(text("PRAGMA cipher_integrity_check"), "");
  EXPECT_EQ(text("PRAGMA integrity_check"), "ok\n");
}

INSTANTIATE_TEST_SUITE_P(Golden, KeptFileUpdate,
                         testing::Values(KeptFile{"sqlcipher3-106.mdb", "s3'暗号", 3, 1024},
                                         KeptFile{"sqlcipher4-106.mdb", "s4'鍵", 4, 4096}),
                         [](const testing::TestParamInfo<KeptFile>& info) {
                           return "SqlCipher" + std::to_string(info.param.cipherCompatibility);
                         });

TEST_F(UpdateRun, AfterAFailedPatchTheNextPressFindsTheFirstBackup) {
  StartWithSample();
  // Version id 7 taken already: the version row fails.
  session->Database().Engine().Execute(
      "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.05');", nullptr);
  EXPECT_FALSE(session->OnRunUpdate());
  screen.Clear();

  EXPECT_FALSE(session->OnRunUpdate());

  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, texts::M3BackupNotice);
  EXPECT_EQ(messages[1].text, texts::M4BackupExists);
}

}  // namespace
}  // namespace mivotra::test
