// Reading the main application's DATABASE settings from real settings files.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "TestSupport.h"
#include "target/DatabaseSettings.h"

namespace mivotra {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Points XDG_CONFIG_HOME at a fresh folder for the life of the object.
class SettingsHome {
 public:
  SettingsHome() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) m_old = old;
    setenv("XDG_CONFIG_HOME", m_dir.path().c_str(), 1);
  }
  ~SettingsHome() {
    if (m_old)
      setenv("XDG_CONFIG_HOME", m_old->c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
  }
  fs::path folder() const { return m_dir.path(); }
  fs::path file() const { return m_dir.path() / "MIVOTRA" / "MIVOTRA.conf"; }
  void Write(const std::string& bytes) const { test::WriteSettingsFile(folder(), bytes); }

 private:
  TempDir m_dir;
  std::optional<std::string> m_old;
};

// Runs `body` in a child process and tells whether it returned true. QSettings
// fixes its default folder once per process, and the process that writes a
// file keeps what it wrote instead of reading the file again.
bool InChild(const std::function<bool()>& body) {
  const pid_t child = fork();
  if (child == 0) _exit(body() ? 0 : 1);
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST(DatabaseSettings, FileIsWhereQSettingsKeepsIt) {
  SettingsHome home;
  EXPECT_EQ(DatabaseSettingsFile(), home.file().string());
  EXPECT_TRUE(InChild([&] {
    return QSettings("MIVOTRA", "MIVOTRA").fileName().toStdString() == home.file().string();
  }));
}

TEST(DatabaseSettings, WithoutXdgConfigHomeTheHomeConfigFolderIsUsed) {
  SettingsHome home;
  unsetenv("XDG_CONFIG_HOME");
  const char* userHome = std::getenv("HOME");
  ASSERT_NE(userHome, nullptr);
  EXPECT_EQ(DatabaseSettingsFile(), std::string(userHome) + "/.config/MIVOTRA/MIVOTRA.conf");
}

TEST(DatabaseSettings, MissingFileOrGroupIsNotFound) {
  struct Case {
    const char* name;
    std::optional<std::string> file;
  } cases[] = {
      {"no file", std::nullopt},
      {"empty file", ""},
      {"other group only", "[OTHER]\nFileName=data\n"},
      {"group header without keys", "[DATABASE]\n"},
      {"group name in another case", "[database]\nFileName=data\n"},
      {"key outside the group", "[General]\nFileName=data\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SettingsHome home;
    if (c.file) home.Write(*c.file);
    const StoredDatabase stored = ReadDatabaseSettings();
    EXPECT_FALSE(stored.found);
    EXPECT_EQ(stored.FileName, "");
    EXPECT_EQ(stored.PathName, "");
    EXPECT_EQ(stored.Password, "");
    EXPECT_EQ(stored.unusable, "");
  }
}

TEST(DatabaseSettings, SomethingOtherThanAFileAtItsNameIsNotFound) {
  const struct {
    const char* name;
    std::function<void(const fs::path& file)> make;
  } cases[] = {
      {"a folder", [](const fs::path& f) { fs::create_directories(f); }},
      {"a FIFO, which would block",
       [](const fs::path& f) { ASSERT_EQ(mkfifo(f.c_str(), 0600), 0); }},
      {"a link to /dev/zero", [](const fs::path& f) { fs::create_symlink("/dev/zero", f); }},
  };
  for (const auto& c : cases) {
    for (const bool beside : {false, true}) {  // the file, or the fallback beside its folder
      SCOPED_TRACE(std::string(c.name) + (beside ? " beside the folder" : ""));
      SettingsHome home;
      home.Write("[DATABASE]\nFileName=data\n");
      const fs::path at = beside ? home.folder() / "MIVOTRA.conf" : home.file();
      fs::remove(at);
      c.make(at);
      // In a child that a hang cannot stop.
      EXPECT_TRUE(InChild([&] {
        alarm(10);
        const StoredDatabase stored = ReadDatabaseSettings();
        return !stored.found && stored.FileName.empty() &&
               stored.unusable == at.string() + " is not a regular file";
      }));
    }
  }
  SettingsHome home;  // a link to a real file is followed, as QSettings does
  WriteFile(home.folder() / "real.conf", "[DATABASE]\nFileName=linked\n");
  fs::create_directories(home.file().parent_path());
  fs::create_symlink(home.folder() / "real.conf", home.file());
  EXPECT_EQ(ReadDatabaseSettings().FileName, "linked");
}

TEST(DatabaseSettings, ReadsTheThreeValuesAndLeavesAbsentOnesEmpty) {
  struct Case {
    const char* file;
    const char* fileName;
    const char* pathName;
    const char* password;
  } cases[] = {
      {"[DATABASE]\nFileName=data\nPathName=/srv/db/\nPassword=secret\n", "data", "/srv/db/",
       "secret"},
      {"[DATABASE]\nPathName=/srv/db\n", "", "/srv/db", ""},
      {"[DATABASE]\nPassword=\nFileName=data\n", "data", "", ""},
      // A stored extension or a folder without its '/' is taken as it stands.
      {"[DATABASE]\nFileName=data1.mdb\nPathName=/srv/db\n", "data1.mdb", "/srv/db", ""},
      // As an editor may leave it: CRLF, a BOM, comments, blanks around '=',
      // a later line for the same key.
      {"\xEF\xBB\xBF[DATABASE]\r\nFileName=data\r\nPathName=/p/\r\n", "data", "/p/", ""},
      {"; written by hand\n[DATABASE]\n; FileName=old\n  FileName  =  data  \n", "data", "", ""},
      {"[DATABASE]\nFileName=old\n[OTHER]\nFileName=x\n[DATABASE]\nFileName=new\n", "new", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    SettingsHome home;
    home.Write(c.file);
    const StoredDatabase stored = ReadDatabaseSettings();
    EXPECT_TRUE(stored.found);
    EXPECT_EQ(stored.FileName, c.fileName);
    EXPECT_EQ(stored.PathName, c.pathName);
    EXPECT_EQ(stored.Password, c.password);
    EXPECT_EQ(stored.unusable, "");
  }
}

// The main application's QSettings also reads MIVOTRA.conf beside the MIVOTRA
// folder for what its own file lacks; so does the tool.
TEST(DatabaseSettings, ValuesTheFileLacksComeFromTheFileBesideItsFolder) {
  SettingsHome home;
  home.Write("[DATABASE]\nFileName=own\n");
  WriteFile(home.folder() / "MIVOTRA.conf", "[DATABASE]\nFileName=beside\nPassword=shared\n");
  const StoredDatabase stored = ReadDatabaseSettings();
  EXPECT_TRUE(stored.found);
  EXPECT_EQ(stored.FileName, "own");
  EXPECT_EQ(stored.Password, "shared");
}

// Whatever the main application stored through QSettings comes back unchanged.
TEST(DatabaseSettings, ValuesWrittenByQSettingsComeBackExactly) {
  const std::string passwords[] = {
      "plain",
      "a, b",
      "a,b,c",
      "\"quoted\"",
      "it's",
      "semi;colon",
      ";starts with a semicolon",
      "#hash # inside",
      "  leading and trailing  ",
      "\ttab\t",
      "日本語のパスワード",
      "表示/ソ\\能",
      "back\\slash\\",
      "equals=sign",
      "@at sign",
      "@@two",
      "@Invalid()",
      "@ByteArray(not bytes)",
      "line\nbreak\r\n",
      "\x01\x7f control",
      "",
      std::string(4000, 'x') + "end",
  };
  for (const std::string& password : passwords) {
    SCOPED_TRACE(password);
    SettingsHome home;
    ASSERT_TRUE(InChild([&] {
      QSettings writer(QString::fromStdString(home.file().string()), QSettings::IniFormat);
      writer.setValue("DATABASE/FileName", "data");
      writer.setValue("DATABASE/Password", QString::fromStdString(password));
      writer.sync();
      return writer.status() == QSettings::NoError;
    }));
    const StoredDatabase stored = ReadDatabaseSettings();
    EXPECT_TRUE(stored.found);
    EXPECT_EQ(stored.FileName, "data");
    EXPECT_EQ(stored.Password, password);
  }
}

// A value written by hand is taken as QSettings gives it; one QSettings does
// not give as text names no database, and says why.
TEST(DatabaseSettings, HandWrittenValuesAreTakenAsQSettingsGivesThem) {
  struct Case {
    const char* line;
    std::string password;  // or, when `unusable` is set, no database at all
    const char* unusable = "";
  } cases[] = {
      {"Password=plain", "plain"},
      {"Password = with inner spaces  ", "with inner spaces"},
      {"Password=12345", "12345"},
      {"Password=pass#1", "pass#1"},
      {"Password=#start", "#start"},
      {"Password=日本語パス", "日本語パス"},
      {"Password=\"  kept spaces  \"", "  kept spaces  "},
      {"Password=\"a, b\"", "a, b"},
      {"Password=\"ab;cd\"", "ab;cd"},
      {"Password=\\\"q\\\"", "\"q\""},
      {"Password=it's", "it's"},
      {"Password=a\\tb", "a\tb"},
      {"Password=@@at", "@at"},
      // ';' outside quotes starts a comment.
      {"Password=ab;cd", "ab"},
      {"Password=ab ; comment", "ab"},
      // Bytes that are not UTF-8 come as U+FFFD, as QSettings gives them.
      {"Password=a\xff\xfe\x80pass", "a\uFFFD\uFFFD\uFFFDpass"},
      {"Password=\xc0\xafz", "\uFFFD\uFFFDz"},
      // Everything after a NUL is dropped.
      {"Password=ab\\0cd", "ab"},
      // What QSettings gives as something other than a text.
      {"Password=a, b", "",
       "DATABASE/Password is a list of 2 texts, not one text; a ',' outside double quotes "
       "makes a list"},
      {"FileName=x , \"y\" ,", "",
       "DATABASE/FileName is a list of 3 texts, not one text; a ',' outside double quotes "
       "makes a list"},
      {"PathName=@Invalid()", "",
       "DATABASE/PathName holds no value QSettings can read, such as @Invalid()"},
      {"Password=@Rect(1 2 3 4)", "", "DATABASE/Password is stored as QRect, not as a text"},
      {"Password=@ByteArray(raw\\xff\\x01)", "",
       "DATABASE/Password is stored as QByteArray, not as a text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    SettingsHome home;
    home.Write(std::string("[DATABASE]\nFileName=data\nPathName=/p/\n") + c.line + "\n");
    const StoredDatabase stored = ReadDatabaseSettings();
    EXPECT_EQ(stored.unusable, c.unusable);
    const bool usable = *c.unusable == '\0';
    EXPECT_EQ(stored.found, usable);
    EXPECT_EQ(stored.Password, c.password);
    EXPECT_EQ(stored.FileName, usable ? "data" : "");
    EXPECT_EQ(stored.PathName, usable ? "/p/" : "");
  }
}

TEST(DatabaseSettings, LongValuesAreTakenWhole) {
  SettingsHome home;
  const std::string folder = "/" + std::string(3000, 'f') + "/日本語/";
  const std::string password(1 << 20, 'p');
  home.Write("[DATABASE]\nPathName=" + folder + "\nPassword=" + password + "\n");
  const StoredDatabase stored = ReadDatabaseSettings();
  EXPECT_EQ(stored.PathName, folder);
  EXPECT_EQ(stored.Password.size(), password.size());
  EXPECT_EQ(stored.Password, password);
}

TEST(DatabaseSettings, EveryReadSeesTheCurrentFile) {
  SettingsHome home;
  home.Write("[DATABASE]\nPassword=aaaa\n");
  EXPECT_EQ(ReadDatabaseSettings().Password, "aaaa");
  home.Write("[DATABASE]\nPassword=bbbb\n");
  EXPECT_EQ(ReadDatabaseSettings().Password, "bbbb");
  fs::remove(home.file());
  EXPECT_FALSE(ReadDatabaseSettings().found);

  SettingsHome other;  // another XDG_CONFIG_HOME in the same process
  other.Write("[DATABASE]\nPassword=other\n");
  EXPECT_EQ(ReadDatabaseSettings().Password, "other");
}

// Reading leaves the folder as it was: no file, folder, lock or temporary
// made, the file's bytes and time unchanged, also for values QSettings does
// not give as text.
TEST(DatabaseSettings, ReadingWritesNothing) {
  SettingsHome home;
  EXPECT_FALSE(ReadDatabaseSettings().found);
  EXPECT_TRUE(fs::is_empty(home.folder())) << "reading created something";

  const std::string bytes = "[DATABASE]\nFileName=a, b\nPassword=@Invalid()\n";
  home.Write(bytes);
  struct stat before = {};
  ASSERT_EQ(stat(home.file().c_str(), &before), 0);
  EXPECT_FALSE(ReadDatabaseSettings().found);
  EXPECT_EQ(ReadFile(home.file()), bytes);
  struct stat after = {};
  ASSERT_EQ(stat(home.file().c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(home.folder()))
    names.push_back(entry.path().lexically_relative(home.folder()).string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"MIVOTRA", "MIVOTRA/MIVOTRA.conf"}));
}

}  // namespace
}  // namespace mivotra
