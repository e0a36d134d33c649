// The open-file dialog's path split, and the look-up and folder creation the
// update run uses for its backup folder and file.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "target/FileSystem.h"
#include "target/PathSplit.h"

namespace mivotra {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

TEST(SplitChosenPath, FolderEndsWithSlashAndTheExtensionIsDropped) {
  struct Case {
    std::string path;
    std::string pathName;
    std::string fileName;
  } cases[] = {
      {"/db/data1.mdb", "/db/", "data1"},
      {"/db/data1.MDB", "/db/", "data1"},
      {"/db/data1.bak", "/db/", "data1"},
      {"/db/a.b.mdb", "/db/", "a.b"},
      {"/db/data1", "/db/", "data1"},
      {"/db/data1.", "/db/", "data1"},
      {"/db/a..mdb", "/db/", "a."},
      {"/data1.mdb", "/", "data1"},
      {"data1.mdb", "", "data1"},
      {"sub/data1.mdb", "sub/", "data1"},
      {"", "", ""},
      {"/db/", "/db/", ""},
      {"//db//x//data.mdb", "//db//x//", "data"},
      // A dot in the folder never starts the extension.
      {"/db.v2/data", "/db.v2/", "data"},
      {"/db.v2/data.mdb", "/db.v2/", "data"},
      // A leading dot belongs to the name of a hidden file.
      {"/db/.hidden", "/db/", ".hidden"},
      {"/db/.hidden.mdb", "/db/", ".hidden"},
      {"/db/.mdb", "/db/", ".mdb"},
      {"/db/..", "/db/", ".."},
      {"/db/...", "/db/", ".."},
      // On Linux a backslash is part of a name.
      {"/db/a\\b.mdb", "/db/", "a\\b"},
      {"C:\\db\\data.mdb", "", "C:\\db\\data"},
      // UTF-8 and the characters that mean something elsewhere pass through.
      {"/home/山田/表計算 データ/顧客 台帳.mdb", "/home/山田/表計算 データ/", "顧客 台帳"},
      {"/ソフト/表/能.mdb", "/ソフト/表/", "能"},
      {"/db/it's \"x\";#1.mdb", "/db/", "it's \"x\";#1"},
      {"/db/ spaced .mdb", "/db/", " spaced "},
      {"/db/\xff\xfe.mdb", "/db/", "\xff\xfe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const ChosenPath chosen = SplitChosenPath(c.path);
    EXPECT_EQ(chosen.PathName, c.pathName);
    EXPECT_EQ(chosen.FileName, c.fileName);
  }
}

TEST(SplitChosenPath, JoiningBackGivesTheChosenDatabase) {
  for (const std::string path :
       {"/db/data1.mdb", "/表/データ.mdb", "rel/x.y.mdb", "/db/.hidden.mdb"}) {
    const ChosenPath chosen = SplitChosenPath(path);
    EXPECT_EQ(chosen.PathName + chosen.FileName + ".mdb", path);
  }
}

TEST(SplitChosenPath, OnlyAnMdbExtensionKeepsItsOwnSpelling) {
  const struct {
    std::string path;
    std::string extension;
    std::string used;
  } cases[] = {
      {"/db/data1.mdb", ".mdb", ".mdb"},   {"/db/DATA3.MDB", ".MDB", ".MDB"},
      {"/db/a.Mdb", ".Mdb", ".Mdb"},       {"/db/data1.bak", ".bak", ".mdb"},
      {"/db/data1", "", ".mdb"},           {"/db/data1.", ".", ".mdb"},
      {"/db/data1.mdbx", ".mdbx", ".mdb"}, {"/db/.MDB", "", ".mdb"},
      {"/db/x.ＭＤＢ", ".ＭＤＢ", ".mdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const ChosenPath chosen = SplitChosenPath(c.path);
    EXPECT_EQ(chosen.Extension, c.extension);
    EXPECT_EQ(DatabaseExtensionOf(chosen), c.used);
  }
}

TEST(PathExists, CountsAnythingAtTheName) {
  TempDir dir;
  WriteFile(dir / "file.mdb", "x");
  fs::create_directory(dir / "データベース更新前データ");
  fs::create_symlink(dir / "file.mdb", dir / "link");
  fs::create_symlink(dir / "gone", dir / "dangling");
  fs::create_directory_symlink(dir / "データベース更新前データ", dir / "folderlink");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);

  struct Case {
    std::string path;
    bool exists;
  } cases[] = {
      {(dir / "file.mdb").string(), true},
      {(dir / "データベース更新前データ").string(), true},
      {(dir / "データベース更新前データ/").string(), true},
      {(dir / "データベース更新前データ//").string(), true},
      {(dir / "link").string(), true},
      {(dir / "dangling").string(), true},
      {(dir / "dangling/").string(), true},
      {(dir / "folderlink/").string(), true},
      {(dir / "fifo").string(), true},
      {"/", true},
      {(dir / "missing.mdb").string(), false},
      {(dir / "missing/").string(), false},
      {(dir / "file.mdb/inside").string(), false},
      // No wildcards: a pattern is a name like any other.
      {(dir / "*.mdb").string(), false},
      {(dir / "file.md?").string(), false},
      {"", false},
      {(dir / "file.mdb").string() + std::string(1, '\0') + "x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(PathExists(c.path), c.exists);
  }
}

TEST(CreateFolder, CreatesOnceAndReportsOnlyItsOwnResult) {
  TempDir dir;
  const std::string folder = (dir / "データベース更新前データ/").string();
  EXPECT_TRUE(CreateFolder(folder));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_FALSE(CreateFolder(folder)) << "an existing folder is not created again";

  const mode_t oldMask = umask(027);
  EXPECT_TRUE(CreateFolder((dir / "masked").string()));
  umask(oldMask);
  struct stat info = {};
  ASSERT_EQ(stat((dir / "masked").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0750u);

  WriteFile(dir / "plain", "x");
  EXPECT_FALSE(CreateFolder((dir / "plain/sub").string()));
  EXPECT_FALSE(CreateFolder((dir / "missing/sub").string()));
  EXPECT_FALSE(CreateFolder(""));
}

TEST(FileSize, GivesTheSizeOrNothing) {
  TempDir dir;
  WriteFile(dir / "five", "12345");
  EXPECT_EQ(FileSize((dir / "five").string()), 5u);
  EXPECT_EQ(FileSize((dir / "missing").string()), std::nullopt);
  EXPECT_EQ(FileSize(""), std::nullopt);
}

}  // namespace
}  // namespace mivotra
