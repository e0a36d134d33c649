// Reading the main application's DATABASE settings from real settings files.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <QVariant>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

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
  void Write(const std::string& bytes) const {
    fs::create_directories(file().parent_path());
    WriteFile(file(), bytes);
  }

 private:
  TempDir m_dir;
  std::optional<std::string> m_old;
};

// What QSettings itself makes of the password in a file, when it is a string.
std::optional<std::string> QtPassword(const fs::path& file) {
  QSettings settings(QString::fromStdString(file.string()), QSettings::IniFormat);
  const QVariant value = settings.value("DATABASE/Password");
  if (value.metaType().id() != QMetaType::QString) return std::nullopt;
  return value.toString().toStdString();
}

TEST(DatabaseSettings, FileIsWhereQSettingsKeepsIt) {
  SettingsHome home;
  EXPECT_EQ(DatabaseSettingsFile(), home.file().string());

  // QSettings fixes its default folder once per process, so ask it in a child.
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    QSettings settings("MIVOTRA", "MIVOTRA");
    _exit(settings.fileName().toStdString() == home.file().string() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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
  }
}

TEST(DatabaseSettings, SomethingOtherThanAFileAtItsNameIsNotFound) {
  {
    SettingsHome home;
    fs::create_directories(home.file());
    EXPECT_FALSE(ReadDatabaseSettings().found);
  }
  {
    SettingsHome home;
    fs::create_directories(home.file().parent_path());
    ASSERT_EQ(mkfifo(home.file().c_str(), 0600), 0);
    EXPECT_FALSE(ReadDatabaseSettings().found) << "and it did not hang";
  }
  {
    SettingsHome home;
    fs::create_directories(home.file().parent_path());
    fs::create_symlink("/dev/zero", home.file());
    EXPECT_FALSE(ReadDatabaseSettings().found);
  }
  {
    SettingsHome home;  // a link to a real file is followed, as QSettings does
    home.Write("");
    WriteFile(home.folder() / "real.conf", "[DATABASE]\nFileName=linked\n");
    fs::remove(home.file());
    fs::create_symlink(home.folder() / "real.conf", home.file());
    EXPECT_EQ(ReadDatabaseSettings().FileName, "linked");
  }
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
      // The forms QSettings also accepts: General keys with '\', CRLF, a BOM,
      // comments, blanks around '=', a later line for the same key.
      {"[General]\nDATABASE\\FileName=data\n", "data", "", ""},
      {"\xEF\xBB\xBF[DATABASE]\r\nFileName=data\r\nPathName=/p/\r\n", "data", "/p/", ""},
      {"; written by hand\n[DATABASE]\n; FileName=old\n  FileName  =  data  \n", "data", "", ""},
      {"[DATABASE]\nFileName=old\n[OTHER]\nFileName=x\n[DATABASE]\nFileName=new\n", "new", "", ""},
      {"[DATABASE]\nFile%4Eame=escaped key\n", "escaped key", "", ""},
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
  }
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
    {
      QSettings writer(QString::fromStdString(home.file().string()), QSettings::IniFormat);
      writer.setValue("DATABASE/FileName", "data");
      writer.setValue("DATABASE/Password", QString::fromStdString(password));
      writer.sync();
      ASSERT_EQ(writer.status(), QSettings::NoError);
    }
    const StoredDatabase stored = ReadDatabaseSettings();
    EXPECT_TRUE(stored.found);
    EXPECT_EQ(stored.FileName, "data");
    EXPECT_EQ(stored.Password, password);
  }
}

// A value written by hand comes back as the user wrote it, also where
// QSettings would make a list or another type of it.
TEST(DatabaseSettings, HandWrittenValuesComeBackAsWritten) {
  struct Case {
    const char* line;
    std::string expected;
    bool qtAgrees;  // QSettings gives the same string
  } cases[] = {
      {"Password=plain", "plain", true},
      {"Password = with inner spaces  ", "with inner spaces", true},
      {"Password=12345", "12345", true},
      {"Password=pass#1", "pass#1", true},
      {"Password=#start", "#start", true},
      {"Password=日本語パス", "日本語パス", true},
      {"Password=\"  kept spaces  \"", "  kept spaces  ", true},
      {"Password=\"a, b\"", "a, b", true},
      {"Password=\"ab;cd\"", "ab;cd", true},
      {"Password=\\\"q\\\"", "\"q\"", true},
      {"Password=it's", "it's", true},
      {"Password=a\\tb", "a\tb", true},
      {"Password=\\x3042\\x3044", "あい", true},
      {"Password=abc\\\ndef", "abcdef", true},
      {"Password=@@at", "@at", true},
      {"Password=\"@String(a, b)\"", "a, b", true},
      // ';' outside quotes starts a comment, for QSettings and for us.
      {"Password=ab;cd", "ab", true},
      {"Password=ab ; comment", "ab", true},
      // QSettings makes lists or other types of these: the text stays.
      {"Password=a, b", "a, b", false},
      {"Password=a,b", "a,b", false},
      {"Password= x , \"y\" ", "x , \"y\"", false},
      {"Password=,", ",", false},
      {"Password=@Rect(1 2 3 4)", "@Rect(1 2 3 4)", false},
      {"Password=@Size(1 2)", "@Size(1 2)", false},
      {"Password=@Invalid()", "", false},
      {"Password=@ByteArray(raw\\xff\\x01)", "raw\xff\x01", false},
      // Bytes that are not UTF-8 are kept; QSettings would give U+FFFD.
      {"Password=\xff\xfe\x80pass\xe3\x81", "\xff\xfe\x80pass\xe3\x81", false},
      {"Password=\xc0\xaf", "\xc0\xaf", false},
      {"Password=\"\xed\xa0\x80\"", "\xed\xa0\x80", false},
      // Everything after a NUL is dropped.
      {"Password=ab\\0cd", "ab", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    SettingsHome home;
    home.Write(std::string("[DATABASE]\nFileName=data\n") + c.line + "\nPathName=/p/\n");
    const StoredDatabase stored = ReadDatabaseSettings();
    EXPECT_TRUE(stored.found);
    EXPECT_EQ(stored.Password, c.expected);
    EXPECT_EQ(stored.FileName, "data");
    EXPECT_EQ(stored.PathName, "/p/");
    const std::optional<std::string> qt = QtPassword(home.file());
    if (c.qtAgrees) {
      EXPECT_EQ(qt, c.expected) << "QSettings reads the file differently";
    }
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
  // Same size, same moment: a cache keyed on size and time would miss it.
  const auto time = fs::last_write_time(home.file());
  home.Write("[DATABASE]\nPassword=bbbb\n");
  fs::last_write_time(home.file(), time);
  EXPECT_EQ(ReadDatabaseSettings().Password, "bbbb");
  fs::remove(home.file());
  EXPECT_FALSE(ReadDatabaseSettings().found);

  SettingsHome other;  // another XDG_CONFIG_HOME in the same process
  other.Write("[DATABASE]\nPassword=other\n");
  EXPECT_EQ(ReadDatabaseSettings().Password, "other");
}

TEST(DatabaseSettings, ReadingWritesNothing) {
  SettingsHome home;
  EXPECT_FALSE(ReadDatabaseSettings().found);
  EXPECT_TRUE(fs::is_empty(home.folder())) << "reading created something";

  const std::string bytes = "[DATABASE]\nFileName=a, b\nPassword=@Invalid()\n";
  home.Write(bytes);
  const auto time = fs::last_write_time(home.file());
  ReadDatabaseSettings();
  EXPECT_EQ(ReadFile(home.file()), bytes);
  EXPECT_EQ(fs::last_write_time(home.file()), time);
}

}  // namespace
}  // namespace mivotra
