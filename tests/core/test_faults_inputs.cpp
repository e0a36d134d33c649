// Hostile inputs, end to end through the session a window runs: files that
// are no Mivotra database, passwords that try to break out of the connection
// string, settings values that are empty, huge or not UTF-8, and paths with
// every awkward character. What the user sees is the caption (or the run's
// boxes); what is on disk stays as it was.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "DatabaseHelpers.h"
#include "PatchProgram.h"
#include "RawDatabase.h"
#include "ScreenHooks.h"
#include "SessionFixture.h"
#include "res/Texts.h"
#include "target/FileSystem.h"

namespace mivotra::test::faults {
namespace {

const std::string kConnected = "データベース更新(2009/11/09) - 対象DB名 ･･･ ";
const std::string kFailed = "データベース接続に失敗しました - 対象DB名 ･･･ ";
const std::string kNotSelected = "データベースが選択されてません";

std::string JetHeader(const char* engine) {
  std::string bytes("\0\1\0\0Standard ", 13);
  bytes += engine;
  bytes += std::string(" DB\0", 4);
  bytes.resize(4096, '\0');
  return bytes;
}

class HostileInputs : public SessionFixture {
 protected:
  // The window's start: settings read, file looked for, connection tried.
  void Start(const std::string& fileName, const std::string& pathName,
             const std::string& password) {
    WriteSettings(dir / "config", fileName, pathName, password);
    screen = RecordingScreen{};
    LocateWithNewSession();
  }

  void ExpectRefusedQuietly(const std::string& caption) {
    EXPECT_EQ(screen.caption, caption);
    EXPECT_FALSE(screen.runEnabled);
    EXPECT_TRUE(screen.searchEnabled);
    EXPECT_TRUE(screen.closeEnabled);
    EXPECT_TRUE(screen.Messages().empty()) << EncodeMessages(screen);
    EXPECT_FALSE(session->Database().IsConnected());
  }

  // Everything in the test's folder but the settings, with its bytes.
  std::map<std::string, std::string> FolderContents() const {
    std::map<std::string, std::string> contents;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(dir.path(), error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (it->path().string().find("/config") != std::string::npos) continue;
      const std::string name = it->path().lexically_relative(dir.path()).string();
      const bool file = it->is_regular_file(error) && !it->is_symlink(error);
      contents[name] = file ? ReadFile(it->path()) : "<not a file>";
    }
    return contents;
  }
};

// ---- files that are no Mivotra database ----

TEST_F(HostileInputs, FilesThatAreNoDatabaseAreRefusedByTheCaptionAndLeftAlone) {
  // (Some text: LocateDatabase.AFileThatIsNoDatabaseShowsTheFailureCaption.)
  MakeSampleDatabase(dir / "sample.mdb", {.kumiRows = 2000});
  MakeSampleDatabase(dir / "secret.mdb", {.password = "secret"});
  const std::string sample = ReadFile(dir / "sample.mdb");
  const struct {
    const char* name;
    std::function<void(const fs::path&)> make;
  } cases[] = {
      {"an empty file", [](const fs::path& f) { WriteFile(f, ""); }},
      {"random bytes, whole pages (8 KiB)",
       [](const fs::path& f) { WriteFile(f, RandomBytes(8192, 1)); }},
      {"random bytes, 5000", [](const fs::path& f) { WriteFile(f, RandomBytes(5000, 2)); }},
      {"a Jet 4 header and zeros", [](const fs::path& f) { WriteFile(f, JetHeader("Jet")); }},
      {"an ACE header and zeros", [](const fs::path& f) { WriteFile(f, JetHeader("ACE")); }},
      {"a database cut to half at a page boundary",
       [&](const fs::path& f) { WriteFile(f, sample.substr(0, sample.size() / 2 / 4096 * 4096)); }},
      {"a database whose first page is zeros",
       [&](const fs::path& f) { WriteFile(f, std::string(4096, '\0') + sample.substr(4096)); }},
      {"an encrypted database and no password",
       [&](const fs::path& f) { fs::copy_file(dir / "secret.mdb", f); }},
      {"a folder with the database's name", [](const fs::path& f) { fs::create_directory(f); }},
      {"a named pipe", [](const fs::path& f) { ASSERT_EQ(mkfifo(f.c_str(), 0600), 0); }},
      {"a link to nowhere", [&](const fs::path& f) { fs::create_symlink(dir / "nowhere.mdb", f); }},
      {"a link to itself", [](const fs::path& f) { fs::create_symlink(f.filename(), f); }},
      {"a link to /dev/zero", [](const fs::path& f) { fs::create_symlink("/dev/zero", f); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(database);
    c.make(database);
    const auto before = FolderContents();
    Start("data1", Folder(), "");
    ExpectRefusedQuietly(kFailed + "data1.mdb");
    EXPECT_EQ(FolderContents(), before);
  }
}

TEST_F(HostileInputs, AnotherProgramsSqliteFileOpensButTheVersionQueryFailsWithItsReport) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
  sqlite3_exec(
      db,
      "CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT); INSERT INTO notes VALUES (1, 'x');",
      nullptr, nullptr, nullptr);
  sqlite3_close(db);
  const std::string before = ReadFile(database);
  Start("data1", Folder(), "");
  ASSERT_EQ(screen.caption, kConnected + "data1.mdb");
  screen.Clear();

  EXPECT_FALSE(session->OnRunUpdate());
  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].text,
            "Message : IDispatch error #3127\nCode : 0x80040e37\nSource : Mivotra Jet engine\n"
            "Description : The Mivotra Jet engine cannot find the input table or query 't_db_ver'. "
            "Make sure it exists and that its name is spelled correctly.\n");
  EXPECT_EQ(messages[0].caption, texts::DisplayName);
  EXPECT_EQ(messages[1].text, texts::UpdateFailed);
  EXPECT_EQ(messages[2].text, texts::VersionQuery);
  EXPECT_EQ(ReadFile(database), before);
  EXPECT_FALSE(fs::exists(dir / BackupFolderName()));
}

TEST_F(HostileInputs, ADatabaseWithItsLastPageCutShortIsNeverMadeWorse) {
  // SQLite reads the missing bytes as zeros; the damage is the input's own.
  MakeSampleDatabase(dir / "sample.mdb", {.kumiRows = 2000});
  const std::string sample = ReadFile(dir / "sample.mdb");
  WriteFile(database, sample.substr(0, sample.size() - 1000));
  const std::string input = ReadFile(database);
  Start("data1", Folder(), "");
  ASSERT_TRUE(session->Database().IsConnected()) << screen.caption;
  const bool updated = session->OnRunUpdate();
  session->Database().Disconnect();
  // The backup is the file exactly as the user had it.
  EXPECT_EQ(ReadFile(BackupOf(database)), input);
  if (updated) {
    EXPECT_EQ(VersionOf(database), "1.07");
  } else {
    EXPECT_EQ(ReadFile(database), input);
  }
}

// ---- passwords ----

TEST_F(HostileInputs, PasswordsAreTakenWholeAndNeverReachAnotherFile) {
  // (Quotes, ';' and Japanese that open:
  // UpdateRun.AnEncryptedDatabaseIsBackedUpAndUpdatedWithItsPassword; a plain wrong one:
  // LocateDatabase.AWrongStoredPasswordFailsQuietly.)
  const fs::path decoy = dir / "decoy.mdb";  // unencrypted: any password would open it
  MakeSampleDatabase(decoy);
  const std::string decoyBytes = ReadFile(decoy);
  const std::string long100k(100 * 1024, 'k');
  const struct {
    const char* name;
    std::string databasePassword;  // empty: not encrypted
    std::string storedPassword;
    bool opens;
  } cases[] = {
      {"a stored password that adds a Data Source", "secret",
       "secret;Data Source=" + decoy.string(), false},
      {"a stored password that closes its quote and adds a Data Source", "secret",
       "secret';Data Source='" + decoy.string() + "';x='", false},
      {"the same texts as the real password", "x';Data Source='" + decoy.string() + "';y=\"",
       "x';Data Source='" + decoy.string() + "';y=\"", true},
      {"blanks around the password are part of it", "  spaced  ", "  spaced  ", true},
      {"blanks trimmed are another password", "  spaced  ", "spaced", false},
      {"Japanese, backslash, '#', '=' and '}'", "パス\\ワード#={}", "パス\\ワード#={}", true},
      {"100 kB given for an unencrypted database (ignored, as Jet does)", "", long100k, true},
      {"100 kB given for an encrypted one", "short", long100k, false},
      {"nothing given for an encrypted one", "secret", "", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "db" + std::to_string(++n);
    MakeSampleDatabase(dir / (name + ".mdb"), {.password = c.databasePassword});
    Start(name, Folder(), c.storedPassword);
    if (!c.opens) {
      ExpectRefusedQuietly(kFailed + name + ".mdb");
      continue;
    }
    ASSERT_EQ(screen.caption, kConnected + name + ".mdb");
    EXPECT_EQ(session->Database().Engine().DataSource(), Folder() + name + ".mdb");
    screen.Clear();
    EXPECT_TRUE(session->OnRunUpdate()) << EncodeMessages(screen);
    session->Database().Disconnect();
    EXPECT_EQ(VersionOf(dir / (name + ".mdb"), c.databasePassword), "1.07");
  }
  EXPECT_EQ(ReadFile(decoy), decoyBytes);
  EXPECT_FALSE(fs::exists(dir / BackupFolderName() / "decoyver_1_06backup.mdb"));
}

// ---- settings values ----

TEST_F(HostileInputs, OddSettingsValuesFindNothingOrExactlyTheFileTheyName) {
  // (A name stored with ".mdb" and a folder without its final '/':
  // LocateDatabase.WhatIsNotFoundOffersTheSearchButton; how values are read:
  // DatabaseSettings.HandWrittenValuesAreTakenAsQSettingsGivesThem, LongValuesAreTakenWhole.)
  MakeSampleDatabase(database);
  // QSettings reads the file as UTF-8: these bytes come as U+FFFD, and so the
  // name no longer names the file that has them.
  const std::string shiftJis = "\x83\x5c\x83\x74\x83\x67";
  MakeSampleDatabase(dir / (shiftJis + ".mdb"));
  const std::string big(100 * 1024, 'n');
  const struct {
    const char* name;
    std::string fileName, pathName;
  } cases[] = {
      {"an empty file name", "", Folder()},
      {"an empty folder", "data1", ""},
      {"everything empty", "", ""},
      {"a 100 kB file name", big, Folder()},
      {"a 100 kB folder", "data1", "/" + big + "/"},
      {"a file name that is not UTF-8", "\x83\x5c\xff", Folder()},
      {"a folder that is not UTF-8", "data1", Folder() + "\xe3\x81/"},
      {"a file name in Shift-JIS bytes, one of them 0x5C, naming a real file", shiftJis, Folder()},
      {"a file name with a NUL-free control character", "data1\n", Folder()},
      {"a relative folder", "data1", "./"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.fileName, c.pathName, "");
    ExpectRefusedQuietly(kNotSelected);
  }

  // Settings files that are not settings at all, and ones naming the sample
  // (whose password does not matter) with a value QSettings gives as no text.
  const std::string sample = "[DATABASE]\nFileName=data1\nPathName=" + Folder() + "\n";
  const struct {
    const char* name;
    std::string file;
  } files[] = {
      {"random bytes", RandomBytes(4096, 7)},
      {"a group of random bytes", "[DATABASE]\n" + RandomBytes(4096, 8)},
      {"a password QSettings gives as a list", sample + "Password=a, b\n"},
      {"a file name QSettings gives as bytes", sample + "FileName=@ByteArray(data1)\n"},
  };
  for (const auto& c : files) {
    SCOPED_TRACE(c.name);
    WriteSettingsFile(dir / "config", c.file);
    screen = RecordingScreen{};
    LocateWithNewSession();
    ExpectRefusedQuietly(kNotSelected);
  }
}

TEST_F(HostileInputs, SettingsNamesAreTakenLiterallyEvenWithSlashes) {
  const struct {
    const char* name;
    std::string fileName;  // relative to the test folder
    bool updates;          // false: refused at the copy
    std::string backup;    // where the backup lands, relative to the test folder
  } cases[] = {
      {"a name with a sub-folder: the backup's sub-folder does not exist", "sub/data1", false, ""},
      {"a name that climbs out of its folder: so does the backup", "../data1", true,
       "data1ver_1_06backup.mdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path home = dir / ("case" + std::to_string(&c - cases));
    const fs::path file = home / "base" / (c.fileName + ".mdb");
    fs::create_directories(file.parent_path());
    MakeSampleDatabase(file);
    const std::string before = DatabaseFingerprint(file);
    Start(c.fileName, (home / "base").string() + "/", "");
    ASSERT_TRUE(session->Database().IsConnected()) << screen.caption;
    EXPECT_EQ(session->Database().Engine().DataSource(), file.string());
    screen.Clear();
    EXPECT_EQ(session->OnRunUpdate(), c.updates) << EncodeMessages(screen);
    session->Database().Disconnect();
    if (c.updates) {
      EXPECT_EQ(VersionOf(file), "1.07");
      EXPECT_EQ(DatabaseFingerprint(home / "base" / c.backup), before);
    } else {
      EXPECT_EQ(MessageTexts(screen), (std::vector<std::string>{std::string(texts::M3BackupNotice),
                                                                std::string(texts::M5CopyFailed)}));
      EXPECT_EQ(DatabaseFingerprint(file), before);
    }
  }
}

// ---- paths with awkward characters ----

TEST_F(HostileInputs, AwkwardCharactersInFolderAndFileNamesUpdateTheRightFile) {
  // (A folder with Japanese, blanks, quotes, ';' and '#' through the settings:
  // e2e test_console.sh; the same chosen in the dialog:
  // LocateDatabase.TheChosenFileLosesItsExtensionAndKeepsTheStoredPassword.)
  const struct {
    const char* name;
    std::string folder, file;
    bool chosen;  // through the file dialog rather than the settings
  } cases[] = {
      {"a file name with Japanese, blanks, quotes, ';' and '#'", "plain", "デー タ 'a' \"b\"; #1",
       false},
      {"the same chosen in the dialog", "plain2", "デー タ 'a' \"b\"; #1", true},
      {"blanks around folder and file name", "  blanks  ", " data ", false},
      {"a name that looks like a connection string", "cs", "x;Data Source=y;Provider=z", false},
      {"backslashes and '=' in folder and name, chosen", "back\\slash=1", "da\\ta=2", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = dir / c.folder;
    fs::create_directories(folder);
    const fs::path file = folder / (c.file + ".mdb");
    MakeSampleDatabase(file);
    if (c.chosen) {
      Start("nothing", Folder(), "");
      screen.fileChoices.push_back(file.string());
      session->OnSearchDatabase();
    } else {
      Start(c.file, folder.string() + "/", "");
    }
    ASSERT_EQ(screen.caption, kConnected + c.file + ".mdb");
    screen.Clear();
    EXPECT_TRUE(session->OnRunUpdate()) << EncodeMessages(screen);
    session->Database().Disconnect();
    EXPECT_EQ(VersionOf(file), "1.07");
    EXPECT_TRUE(fs::is_regular_file(BackupOf(file)));
    // Nothing else appeared: no file from a name cut short at a ';' or a blank.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{c.file + ".mdb", BackupFolderName()}));
  }
}

}  // namespace
}  // namespace mivotra::test::faults
