// What the engine promises about a transaction when things go wrong under
// it: SQLite ending it on its own after a failure, a database that another
// program left in WAL mode, and the descriptor a copy must read through.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "EngineTesting.h"
#include "FaultHooks.h"
#include "RawDatabase.h"
#include "jet/JetErrors.h"
#include "jet/SqliteRecordset.h"
#include "update/PatchTransaction.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;

// The error a call raises, if any.
std::optional<ComError> Attempt(const std::function<void()>& call) {
  try {
    call();
  } catch (const ComError& error) {
    return error;
  }
  return std::nullopt;
}

class LostTransaction : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { FailingAllocator::Install(); }
  static void TearDownTestSuite() { FailingAllocator::Uninstall(); }

  // A table spread over enough pages that a scan needs the page cache to grow.
  void MakeDatabase() {
    ConnectionPtr db = Create(file);
    Exec(*db, "CREATE TABLE big (id COUNTER PRIMARY KEY, pad VARCHAR(255))");
    Exec(*db, "INSERT INTO big (pad) VALUES ('" + std::string(200, 'x') + "')");
    for (int i = 0; i < 9; ++i) Exec(*db, "INSERT INTO big (pad) SELECT pad FROM big");
    db->Close();
  }

  TempDir dir;
  fs::path file = dir / "lost.mdb";
};

// Wherever an allocation fails during a read inside a transaction, either
// the transaction goes on whole, or SQLite has rolled all of it back and the
// engine refuses every further statement until it is ended: nothing ever
// runs outside the transaction that the caller believes is open.
TEST_F(LostTransaction, NoStatementRunsOnceSQLiteEndedTheTransactionByItself) {
  MakeDatabase();
  int lost = 0;
  int survived = 0;
  for (int nth = 1; nth <= 400 && lost < 3; ++nth) {
    for (const bool persistent : {false, true}) {
      ConnectionPtr db = Open(file);
      db->BeginTrans();
      Exec(*db, "CREATE TABLE made (a INTEGER)");
      FailingAllocator::Reset();
      FailingAllocator::Arm(nth, persistent);
      bool failed = false;
      try {
        RecordsetPtr rows = db->Execute("SELECT pad FROM big WHERE id > 0", nullptr);
        while (!rows->EndOfFile()) rows->MoveNext();
      } catch (const ComError&) {
        failed = true;
      }
      FailingAllocator::Disarm();
      if (!failed) {
        db->RollbackTrans();
        db->Close();
        continue;
      }
      const auto next = Attempt([&] { Exec(*db, "INSERT INTO made VALUES (1)"); });
      if (!next) {
        ++survived;
        db->RollbackTrans();
      } else {
        ++lost;
        EXPECT_EQ(next->Description(), jet::kTransactionLost) << "allocation " << nth;
        EXPECT_EQ(ErrorOf([&] { db->OpenSchema(adSchemaTables); }).Description(),
                  jet::kTransactionLost);
        const ComError commit = ErrorOf([&] { db->CommitTrans(); });
        EXPECT_EQ(commit.Description(), jet::kTransactionLost);
        // Ended now: the connection works again, outside any transaction.
      }
      EXPECT_EQ(ErrorOf([&] { Exec(*db, "SELECT a FROM made"); }).Error(), DB_E_NoTable)
          << "allocation " << nth << (persistent ? " on" : "");
      db->Close();
    }
  }
  EXPECT_GT(lost, 0) << "no allocation failure ended a transaction; the test proves nothing";
  RecordProperty("lost", lost);
  RecordProperty("survived", survived);
}

// A recordset's next row is refused as well once the transaction is gone.
TEST_F(LostTransaction, AnOpenRecordsetStopsToo) {
  MakeDatabase();
  ConnectionPtr db = Open(file);
  RecordsetPtr other = db->Execute("SELECT id FROM big", nullptr);
  db->BeginTrans();
  Exec(*db, "CREATE TABLE made (a INTEGER)");
  bool lost = false;
  for (int nth = 1; nth <= 400 && !lost; ++nth) {
    FailingAllocator::Arm(nth, true);
    try {
      RecordsetPtr rows = db->Execute("SELECT pad FROM big WHERE id > 1", nullptr);
      while (!rows->EndOfFile()) rows->MoveNext();
    } catch (const ComError&) {
    }
    FailingAllocator::Disarm();
    const auto next = Attempt([&] { Exec(*db, "INSERT INTO made VALUES (1)"); });
    lost = next && next->Description() == jet::kTransactionLost;
  }
  ASSERT_TRUE(lost);
  EXPECT_EQ(ErrorOf([&] { other->MoveNext(); }).Description(), jet::kTransactionLost);
  db->RollbackTrans();
}

// ---- WAL mode

// A child writes in WAL mode and ends without closing, as a program that
// crashed or still runs would: its committed rows are only in the log.
void WriteInWalModeAndVanish(const fs::path& file, int rows) {
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    int rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0", nullptr,
                          nullptr, nullptr);
    for (int i = 0; i < rows && rc == SQLITE_OK; ++i) {
      rc = sqlite3_exec(db, "INSERT INTO t (name) VALUES ('only in the log')", nullptr, nullptr,
                        nullptr);
    }
    _exit(rc == SQLITE_OK ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::string JournalModeOf(const fs::path& file) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr);
  std::string mode;
  if (sqlite3_step(statement) == SQLITE_ROW)
    mode = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return mode;
}

// The rows a plain copy of the file's bytes holds (no log beside it).
long long RowsInACopyOfTheFile(int descriptor, const fs::path& copy) {
  struct stat info = {};
  fstat(descriptor, &info);
  std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
  EXPECT_EQ(pread(descriptor, bytes.data(), bytes.size(), 0), info.st_size);
  WriteFile(copy, bytes);
  return std::stoll(RawDatabase(copy).Text("SELECT COUNT(*) FROM t"));
}

class WalDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    ConnectionPtr db = Create(file);
    Exec(*db, "CREATE TABLE t (id COUNTER PRIMARY KEY, name VARCHAR(20))");
    Exec(*db, "INSERT INTO t (name) VALUES ('in the file')");
    db->Close();
  }
  TempDir dir;
  fs::path file = dir / "wal.mdb";
};

TEST_F(WalDatabase, ATransactionBringsTheLogIntoTheFileFirstAndPutsTheLogBackAfter) {
  WriteInWalModeAndVanish(file, 3);
  ASSERT_GT(fs::file_size(file.string() + "-wal"), 0u);
  ConnectionPtr db = Open(file);
  PatchTransaction transaction;
  transaction.Begin(*db);
  // Under the write lock the file alone holds every committed row.
  EXPECT_EQ(RowsInACopyOfTheFile(db->DatabaseFileDescriptor(), dir / "copy.mdb"), 4);
  Exec(*db, "INSERT INTO t (name) VALUES ('new')");
  transaction.Commit();
  EXPECT_EQ(db->JournalMode(), "wal");
  db->Close();
  EXPECT_EQ(Rows(file, "", "SELECT COUNT(*) FROM t"), std::vector<std::string>{"5"});
  EXPECT_EQ(JournalModeOf(file), "wal");

  WriteInWalModeAndVanish(file, 1);
  db = Open(file);
  transaction.Begin(*db);
  Exec(*db, "INSERT INTO t (name) VALUES ('undone')");
  transaction.Rollback();
  db->Close();
  EXPECT_EQ(Rows(file, "", "SELECT COUNT(*) FROM t"), std::vector<std::string>{"6"});
  EXPECT_EQ(JournalModeOf(file), "wal");
}

TEST_F(WalDatabase, AnotherProcessReadingTheLogRefusesTheTransactionAndNothingChanges) {
  WriteInWalModeAndVanish(file, 2);
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  std::fflush(nullptr);
  const pid_t reader = fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "SELECT COUNT(*) FROM t", nullptr, nullptr, nullptr);
    char byte = 1;
    (void)!write(ready[1], &byte, 1);
    (void)!read(release[0], &byte, 1);
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  const std::string before = ReadFile(file);
  ConnectionPtr db = Open(file);
  PatchTransaction transaction;
  const ComError error = ErrorOf([&] { transaction.Begin(*db); });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), "in use by another process")) << error.Description();
  EXPECT_FALSE(transaction.IsOpen());
  db->Close();
  (void)!write(release[1], &byte, 1);
  int status = 0;
  waitpid(reader, &status, 0);
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_EQ(JournalModeOf(file), "wal");
}

// ---- the descriptor

TEST(DatabaseFileDescriptor, IsTheVeryFileTheEngineOpenedEvenThroughALinkLaterRepointed) {
  TempDir dir;
  const fs::path real = dir / "real.mdb";
  const fs::path other = dir / "other.mdb";
  Create(real)->Close();
  Create(other)->Close();
  fs::create_symlink(real, dir / "link.mdb");
  ConnectionPtr db = Open(dir / "link.mdb");
  const int descriptor = db->DatabaseFileDescriptor();
  ASSERT_GE(descriptor, 0);
  fs::remove(dir / "link.mdb");
  fs::create_symlink(other, dir / "link.mdb");
  struct stat held = {};
  struct stat opened = {};
  ASSERT_EQ(fstat(descriptor, &held), 0);
  ASSERT_EQ(stat(real.c_str(), &opened), 0);
  EXPECT_EQ(held.st_ino, opened.st_ino);
  EXPECT_EQ(held.st_dev, opened.st_dev);
  char header[16] = {};
  EXPECT_EQ(pread(descriptor, header, sizeof header, 0), 16);
  EXPECT_EQ(std::string(header, 15), "SQLite format 3");
  db->Close();
  EXPECT_EQ(db->DatabaseFileDescriptor(), -1);
  EXPECT_EQ(NewConnection()->DatabaseFileDescriptor(), -1);
}

}  // namespace
}  // namespace mivotra::test
