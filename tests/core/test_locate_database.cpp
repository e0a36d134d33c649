// Finding the database from the main application's settings, choosing
// another file, and how each connection outcome shows on the window.

#include <gtest/gtest.h>

#include "DatabaseHelpers.h"
#include "SessionFixture.h"
#include "res/Texts.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;

const std::string kConnected = "データベース更新(2009/11/09) - 対象DB名 ･･･ ";
const std::string kFailed = "データベース接続に失敗しました - 対象DB名 ･･･ ";

class LocateDatabase : public SessionFixture {};

TEST_F(LocateDatabase, ARegisteredDatabaseOpensAtStartUp) {
  MakeSampleDatabase(database);
  WriteSettings(dir / "config", "data1", Folder(), "");
  LocateWithNewSession();
  EXPECT_EQ(screen.caption, kConnected + "data1.mdb");
  EXPECT_TRUE(screen.runEnabled);
  EXPECT_FALSE(screen.searchEnabled);
  EXPECT_TRUE(screen.Messages().empty());
}

TEST_F(LocateDatabase, WhatIsNotFoundOffersTheSearchButton) {
  MakeSampleDatabase(database);
  struct Case {
    const char* name;
    std::string fileName, pathName;
    bool writeSettings;
  };
  const std::vector<Case> cases = {
      {"no settings at all", "", "", false},
      {"name stored with its extension", "data1.mdb", Folder(), true},
      {"folder stored without its final slash", "data1", dir.path().string(), true},
      {"a folder that is gone", "data1", Folder() + "gone/", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir / "config");
    if (c.writeSettings) WriteSettings(dir / "config", c.fileName, c.pathName, "");
    screen = RecordingScreen{};
    LocateWithNewSession();
    EXPECT_EQ(screen.caption, "データベースが選択されてません");
    EXPECT_FALSE(screen.runEnabled);
    EXPECT_TRUE(screen.searchEnabled);
    EXPECT_TRUE(screen.closeEnabled);
    EXPECT_TRUE(screen.Messages().empty());
  }
}

TEST_F(LocateDatabase, AFileThatIsNoDatabaseShowsTheFailureCaption) {
  WriteFile(database, "not a database at all");
  WriteSettings(dir / "config", "data1", Folder(), "");
  LocateWithNewSession();
  EXPECT_EQ(screen.caption, kFailed + "data1.mdb");
  EXPECT_FALSE(screen.runEnabled);
  EXPECT_TRUE(screen.searchEnabled);
  EXPECT_TRUE(screen.Messages().empty());
  EXPECT_EQ(ReadFile(database), "not a database at all");
}

TEST_F(LocateDatabase, TheChosenFileLosesItsExtensionAndKeepsTheStoredPassword) {
  const fs::path folder = dir / "共有 'db' #1";
  fs::create_directories(folder);
  MakeSampleDatabase(folder / "データ.mdb", {.password = "secret"});
  WriteSettings(dir / "config", "elsewhere", Folder(), "secret");
  LocateWithNewSession();
  ASSERT_FALSE(session->Database().IsConnected());

  for (const std::string chosen : {"データ.bak", "データ", "データ.mdb"}) {
    SCOPED_TRACE(chosen);
    screen.fileChoices.push_back((folder / chosen).string());
    session->OnSearchDatabase();
    EXPECT_EQ(session->Database().Target().PathName, folder.string() + "/");
    EXPECT_EQ(session->Database().Target().FileName, "データ");
    EXPECT_EQ(screen.caption, kConnected + "データ.mdb");
    EXPECT_TRUE(screen.runEnabled);
  }
}

// The file system tells letter cases apart, so a file chosen as DATA3.MDB is
// opened, tested and backed up from under that very name; the backup keeps
// the name the update gives it, DATA3ver_1_06backup.mdb.
TEST_F(LocateDatabase, AChosenMdbExtensionInAnyCaseKeepsItsSpellingForEveryUse) {
  for (const std::string extension : {".MDB", ".Mdb", ".mdB"}) {
    SCOPED_TRACE(extension);
    const fs::path folder = dir / ("db" + extension);
    fs::create_directories(folder);
    const fs::path file = folder / ("DATA3" + extension);
    MakeSampleDatabase(folder / "made.mdb");  // the sample maker writes only .mdb
    fs::rename(folder / "made.mdb", file);
    const std::string before = DatabaseFingerprint(file);
    LocateWithNewSession();
    screen.fileChoices.push_back(file.string());
    session->OnSearchDatabase();
    EXPECT_EQ(session->Database().Target().FileName, "DATA3");
    EXPECT_EQ(session->Database().Target().DatabaseFile(), file.string());
    EXPECT_EQ(screen.caption, kConnected + "DATA3" + extension);
    ASSERT_TRUE(screen.runEnabled);

    EXPECT_TRUE(session->OnRunUpdate());
    const fs::path backup = folder / "データベース更新前データ" / "DATA3ver_1_06backup.mdb";
    ASSERT_TRUE(fs::exists(backup));
    EXPECT_EQ(DatabaseFingerprint(backup), before);
    EXPECT_NE(DatabaseFingerprint(file), before);
    // Nothing was made under the lower-case name.
    EXPECT_FALSE(fs::exists(folder / "DATA3.mdb"));
    // A new start from the settings spells the extension ".mdb" again.
    WriteSettings(dir / "config", "DATA3", folder.string() + "/", "");
    LocateWithNewSession();
    EXPECT_EQ(session->Database().Target().DatabaseFile(), folder.string() + "/DATA3.mdb");
    EXPECT_EQ(screen.caption, "データベースが選択されてません");
  }
}

TEST_F(LocateDatabase, OtherExtensionsAndAnUpperCaseNameThatIsNotThereOpenNothingElse) {
  MakeSampleDatabase(dir / "data3.mdb");
  LocateWithNewSession();
  // Another extension still means the .mdb file of that name.
  screen.fileChoices.push_back((dir / "data3.BAK").string());
  session->OnSearchDatabase();
  EXPECT_EQ(screen.caption, kConnected + "data3.mdb");
  // DATA3.MDB is not data3.mdb here: the choice fails, as a missing file does.
  screen.fileChoices.push_back((dir / "data3.MDB").string());
  session->OnSearchDatabase();
  EXPECT_EQ(screen.caption, kFailed + "data3.MDB");
  EXPECT_FALSE(session->Database().IsConnected());
  EXPECT_FALSE(fs::exists(dir / "data3.MDB"));
}

TEST_F(LocateDatabase, ACancelledDialogChangesNothing) {
  WriteSettings(dir / "config", "data1", Folder(), "");
  LocateWithNewSession();
  screen.Clear();
  session->OnSearchDatabase();
  ASSERT_EQ(screen.events.size(), 1u);
  EXPECT_EQ(screen.events[0].kind, ScreenEvent::ChooseFile);
}

TEST_F(LocateDatabase, AFailedSecondChoiceDoesNotLookConnected) {
  MakeSampleDatabase(database);
  WriteFile(dir / "broken.mdb", "garbage");
  WriteSettings(dir / "config", "data1", Folder(), "");
  LocateWithNewSession();
  ASSERT_TRUE(session->Database().IsConnected());

  screen.fileChoices.push_back((dir / "broken.mdb").string());
  session->OnSearchDatabase();

  EXPECT_FALSE(session->Database().IsConnected());
  EXPECT_EQ(screen.caption, kFailed + "broken.mdb");
  EXPECT_FALSE(screen.runEnabled);
  EXPECT_TRUE(screen.searchEnabled);
}

TEST_F(LocateDatabase, AWrongStoredPasswordFailsQuietly) {
  MakeSampleDatabase(database, {.password = "right"});
  WriteSettings(dir / "config", "data1", Folder(), "wrong");
  LocateWithNewSession();
  EXPECT_EQ(screen.caption, kFailed + "data1.mdb");
  EXPECT_TRUE(screen.Messages().empty());
}

TEST_F(LocateDatabase, DisconnectClosesOnlyWhatIsOpen) {
  NewSession().Database().Disconnect();
  EXPECT_TRUE(screen.events.empty());

  MakeSampleDatabase(database);
  WriteSettings(dir / "config", "data1", Folder(), "");
  session->ReadSettings();
  session->OpenLocatedDatabase();
  screen.Clear();
  session->Database().Disconnect();
  EXPECT_FALSE(session->Database().IsConnected());
  EXPECT_TRUE(screen.Messages().empty());
  EXPECT_EQ(session->Database().Engine().State(), adStateClosed);
}

TEST_F(LocateDatabase, ExecuteStatementRecordsBeforeItFails) {
  auto& db = NewSession().Database();
  try {
    db.ExecuteStatement(1, "SELECT 1;");
    FAIL() << "no connection object, yet no error";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), E_Pointer);
  }
  ASSERT_EQ(db.ExecutedStatements().size(), 1u);
  EXPECT_EQ(db.ExecutedStatements()[0].statement, "SELECT 1;");
}

}  // namespace
}  // namespace mivotra::test
