// Opening databases: providers, passwords, hostile files, locks, and the
// connection's own state, always against real files.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "EngineTesting.h"
#include "jet/Catalog.h"
#include "jet/JetErrors.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;
using jet::kConnectionSource;
using jet::kEngineSource;

class EngineOpen : public ::testing::Test {
 protected:
  // A database holding one table with one row, so it has real pages.
  fs::path MakeDatabase(const std::string& name, const std::string& password = "") {
    const fs::path file = dir / name;
    ConnectionPtr db = Create(file, password);
    Exec(*db,
         "CREATE TABLE t_db_ver (DBVerID INTEGER PRIMARY KEY, DBVerCode VARCHAR(10), DBPatchDate "
         "DATETIME, "
         "UpdateDateTime DATETIME)");
    Exec(*db, "INSERT INTO t_db_ver VALUES (6, '1.06', #2009/06/01#, Now())");
    db->Close();
    return file;
  }

  static std::string Header(const fs::path& file) { return ReadFile(file).substr(0, 16); }

  ComError OpenError(const fs::path& file, const std::string& password = "") {
    ConnectionPtr db = NewConnection();
    const ComError error = ErrorOf([&] { db->Open(ConnectionStringFor(file, password)); });
    EXPECT_EQ(db->State(), adStateClosed);
    EXPECT_EQ(db->DataSource(), "");
    return error;
  }

  TempDir dir;
};

TEST_F(EngineOpen, OpensThePlainDatabaseTheConnectionStringNames) {
  const fs::path file = MakeDatabase("data1.mdb");
  EXPECT_EQ(Header(file), std::string("SQLite format 3\0", 16));
  ConnectionPtr db = Open(file);
  EXPECT_EQ(db->State(), adStateOpen);
  EXPECT_EQ(db->DataSource(), file.string());
  EXPECT_EQ(Scalar(*db, "SELECT DBVerCode FROM t_db_ver", "DBVerCode").bstrVal, "1.06");
  db->Close();
  EXPECT_EQ(db->State(), adStateClosed);
}

TEST_F(EngineOpen, TheProviderMustBeJet4) {
  const fs::path file = MakeDatabase("data1.mdb");
  ConnectionPtr db = NewConnection();
  // Provider names compare without regard to case.
  db->Open("provider=microsoft.jet.oledb.4.0;data source=" + file.string() + ";");
  db->Close();
  for (const std::string provider :
       {"Microsoft.ACE.OLEDB.12.0", "Microsoft.Jet.OLEDB.3.51", "SQLOLEDB", ""}) {
    const ComError error =
        ErrorOf([&] { db->Open("Provider=" + provider + ";Data Source=" + file.string()); });
    EXPECT_EQ(error.Error(), ADO_E_ProviderNotFound) << provider;
    EXPECT_EQ(error.Source(), kConnectionSource);
    EXPECT_EQ(error.Description(), "Provider cannot be found. It may not be properly installed.");
  }
}

TEST_F(EngineOpen, OpeningAnOpenConnectionIsRefused) {
  const fs::path file = MakeDatabase("data1.mdb");
  ConnectionPtr db = Open(file);
  const ComError error = ErrorOf([&] { db->Open(ConnectionStringFor(file, "")); });
  EXPECT_EQ(error.Error(), ADO_E_ObjectOpen);
  EXPECT_EQ(error.Source(), kConnectionSource);
  EXPECT_EQ(db->State(), adStateOpen);  // the first open stands
}

TEST_F(EngineOpen, AMissingFileIsNeverCreated) {
  const fs::path file = dir / "missing.mdb";
  const ComError error = OpenError(file);
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_EQ(error.Source(), kEngineSource);
  EXPECT_EQ(error.Description(), "Could not find file '" + file.string() + "'.");
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(fs::exists(dir / "missing.mdb-journal"));
}

TEST_F(EngineOpen, HostileFilesGiveAnErrorAndStayAsTheyWere) {
  std::mt19937 random(20091109);
  auto randomBytes = [&random](std::size_t n) {
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
  };
  std::string jetHeader("\0\1\0\0Standard Jet DB\0", 20);
  jetHeader.resize(4096, '\0');  // a real .mdb is whole 4 KB pages
  std::string aceHeader("\0\1\0\0Standard ACE DB\0", 20);
  aceHeader.resize(8192, '\x55');
  // Databases of several pages, so cutting them loses some.
  auto bigDatabase = [this](const std::string& name, const std::string& password) {
    const fs::path file = MakeDatabase(name, password);
    ConnectionPtr db = Open(file, password);
    Exec(*db, "CREATE TABLE filler (id COUNTER, text VARCHAR(200))");
    Exec(*db, "INSERT INTO filler (text) VALUES ('" + std::string(200, 'x') + "')");
    for (int i = 0; i < 5; ++i) Exec(*db, "INSERT INTO filler (text) SELECT text FROM filler");
    db->Close();
    return ReadFile(file);
  };
  const std::string plain = bigDatabase("source.mdb", "");
  const std::string encrypted = bigDatabase("secret.mdb", "pw");
  ASSERT_GE(plain.size(), 6 * 1024u);
  ASSERT_GE(encrypted.size(), 6 * 1024u);

  struct Case {
    std::string name;
    std::string bytes;
    std::string password;
    HRESULT code;
    std::string description;  // {file} stands for the path
  };
  const std::string unrecognized = "Unrecognized database format '{file}'.";
  const std::vector<Case> cases = {
      {"empty", "", "", E_Fail, unrecognized},
      {"empty with a password", "", "pw", E_Fail, unrecognized},
      {"random bytes", randomBytes(3000), "", E_Fail, unrecognized},
      {"random bytes with a password", randomBytes(3000), "pw", E_Fail, unrecognized},
      // Whole pages without a plain header look like an encrypted file.
      {"random pages", randomBytes(4096), "", DB_SEC_E_AuthFailed, "Not a valid password."},
      {"random pages with a password", randomBytes(4096), "pw", DB_SEC_E_AuthFailed,
       "Not a valid password."},
      {"a Jet database", jetHeader, "", E_Fail, unrecognized},
      {"a Jet database with a password", jetHeader, "pw", E_Fail, unrecognized},
      {"an ACE database", aceHeader, "", E_Fail, unrecognized},
      {"a text file", "SQLite format 3 is what this is not\n", "", E_Fail, unrecognized},
      {"a bare SQLite header", std::string("SQLite format 3\0", 16), "", E_Fail, unrecognized},
      {"a plain database cut short", plain.substr(0, 1500), "", E_Fail, unrecognized},
      {"a plain database cut at a page", plain.substr(0, 4096), "", E_Fail, unrecognized},
      {"an encrypted database cut short", encrypted.substr(0, 4500), "pw", E_Fail, unrecognized},
      {"an encrypted database cut at a page", encrypted.substr(0, 4096), "pw", E_Fail,
       unrecognized},
  };
  int n = 0;
  for (const auto& c : cases) {
    const fs::path file = dir / ("hostile" + std::to_string(n++) + ".mdb");
    WriteFile(file, c.bytes);
    const ComError error = OpenError(file, c.password);
    std::string description = c.description;
    if (const auto at = description.find("{file}"); at != std::string::npos) {
      description.replace(at, 6, file.string());
    }
    EXPECT_EQ(error.Error(), c.code) << c.name;
    EXPECT_EQ(error.Source(), kEngineSource) << c.name;
    EXPECT_EQ(error.Description(), description) << c.name;
    EXPECT_EQ(ReadFile(file), c.bytes) << c.name << ": the file changed";
  }
}

TEST_F(EngineOpen, AFileNamedLikeSQLitesMemoryDatabaseIsThatFile) {
  MakeDatabase(":memory:.mdb");
  const fs::path saved = fs::current_path();
  fs::current_path(dir.path());
  ConnectionPtr db = NewConnection();
  db->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=:memory:.mdb");
  EXPECT_EQ(Scalar(*db, "SELECT DBVerCode FROM t_db_ver", "DBVerCode").bstrVal, "1.06");
  // SQLite's own in-memory database is never what a connection opens.
  const ComError error = ErrorOf(
      [&] { NewConnection()->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=:memory:"); });
  EXPECT_EQ(error.Description(), "Could not find file ':memory:'.");
  fs::current_path(saved);
}

TEST_F(EngineOpen, AFolderNamedLikeADatabaseIsNoDatabase) {
  fs::create_directory(dir / "x.mdb");
  const ComError error = OpenError(dir / "x.mdb");
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), (dir / "x.mdb").string())) << error.Description();
  EXPECT_TRUE(Contains(error.Description(), "folder")) << error.Description();
  EXPECT_TRUE(fs::is_empty(dir / "x.mdb"));
}

TEST_F(EngineOpen, PasswordsRightWrongAndEmpty) {
  const std::string password = "pa'ss;wo\"rd 日本";
  const fs::path file = MakeDatabase("secret.mdb", password);
  // Really encrypted: no plain header, and not readable as plain SQLite.
  EXPECT_NE(Header(file), std::string("SQLite format 3\0", 16));
  EXPECT_EQ(Scalar(*Open(file, password), "SELECT DBVerCode FROM t_db_ver", "DBVerCode").bstrVal,
            "1.06");

  for (const std::string wrong : {"", "pa'ss;wo\"rd", "PA'SS;WO\"RD 日本", "x"}) {
    const ComError error = OpenError(file, wrong);
    EXPECT_EQ(error.Error(), DB_SEC_E_AuthFailed) << wrong;
    EXPECT_EQ(error.Source(), kEngineSource);
    EXPECT_EQ(error.Description(), "Not a valid password.");
    EXPECT_FALSE(Contains(error.Description(), "pa'ss")) << "the password leaked";
  }
}

TEST_F(EngineOpen, APasswordForAnUnprotectedDatabaseIsIgnored) {
  const fs::path file = MakeDatabase("plain.mdb");
  ConnectionPtr db = Open(file, "anything");
  EXPECT_EQ(Scalar(*db, "SELECT DBVerCode FROM t_db_ver", "DBVerCode").bstrVal, "1.06");
  Exec(*db, "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.07')");
  db->Close();
  EXPECT_EQ(Header(file), std::string("SQLite format 3\0", 16)) << "the file must stay unencrypted";
}

// The sqlcipher shell, fed `script` on its standard input; its output, less
// the "ok" that SQLCipher 4 answers a key with.
std::string Shell(const fs::path& file, const std::string& script) {
  const fs::path input = file.parent_path() / "script.sql";
  WriteFile(input, script);
  const std::string command = "sqlcipher '" + file.string() + "' < '" + input.string() + "' 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
      if (std::string(buffer) != "ok\n") output += buffer;
    }
    pclose(pipe);
  }
  return output;
}

// Both SQLCipher formats the main application may have written: the engine
// reads each, refuses a wrong password in each, and writes each back in its
// own format, as the shell with that format's settings reads it.
TEST_F(EngineOpen, EachCipherFormatOpensAndStaysItsOwn) {
  const struct {
    jet::CipherFormat format;
    std::string pragma;
    std::size_t pageSize;
  } formats[] = {{jet::CipherFormat::SqlCipher4, "PRAGMA cipher_compatibility = 4;\n", 4096},
                 {jet::CipherFormat::SqlCipher3, "PRAGMA cipher_compatibility = 3;\n", 1024}};
  for (const auto& [format, pragma, pageSize] : formats) {
    SCOPED_TRACE(pageSize);
    const fs::path file = dir / ("shared" + std::to_string(pageSize) + ".mdb");
    CreateDatabase(file.string(), "s3'cret", format);
    {
      ConnectionPtr db = Open(file, "s3'cret");
      Exec(*db, "CREATE TABLE t_db_ver (DBVerID INTEGER PRIMARY KEY, DBVerCode VARCHAR(10))");
      Exec(*db, "INSERT INTO t_db_ver VALUES (6, '1.06')");
      // Grown to a size that 4,096 divides, so that SQLCipher 4's settings
      // are tried first, and for a SQLCipher 3 file refused.
      Exec(*db, "CREATE TABLE t_pad (id INTEGER PRIMARY KEY, pad VARCHAR(255))");
      for (int id = 1; fs::file_size(file) % 4096 != 0; ++id) {
        Exec(*db, "INSERT INTO t_pad VALUES (" + std::to_string(id) + ", '" +
                      std::string(250, 'x') + "')");
      }
      db->Close();
    }
    EXPECT_EQ(fs::file_size(file) % pageSize, 0u);
    EXPECT_EQ(OpenError(file, "s3'creT").Error(), DB_SEC_E_AuthFailed);
    const std::string key = "PRAGMA key = 's3''cret';\n";
    EXPECT_EQ(Shell(file, key + pragma + "SELECT DBVerCode FROM t_db_ver;\n"), "1.06\n");
    EXPECT_TRUE(Contains(Shell(file, "SELECT count(*) FROM sqlite_master;\n"), "not a database"));

    // And the other way round: what the shell wrote in that format opens.
    const fs::path other = dir / ("fromshell" + std::to_string(pageSize) + ".mdb");
    EXPECT_EQ(Shell(other, "PRAGMA key = 'k2';\n" + pragma +
                               "CREATE TABLE t (a INTEGER);\nINSERT INTO t VALUES (42);\n"),
              "");
    EXPECT_EQ(Scalar(*Open(other, "k2"), "SELECT a FROM t", "a").lVal, 42);
  }
}

TEST_F(EngineOpen, AReadOnlyFileRefusesChanges) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files anyway";
  const fs::path file = MakeDatabase("data1.mdb");
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  ConnectionPtr db = Open(file);
  const ComError error = ErrorOf([&] { Exec(*db, "UPDATE t_db_ver SET DBVerCode = '1.06'"); });
  EXPECT_TRUE(Contains(error.Description(), "read-only")) << error.Description();
}

// Another process's lock, held through SQLite directly.
class ForeignLock {
 public:
  ForeignLock(const fs::path& file, const char* begin) {
    sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    EXPECT_EQ(sqlite3_exec(m_db, begin, nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(m_db);
  }
  ~ForeignLock() {
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
  }

 private:
  sqlite3* m_db = nullptr;
};

TEST(EngineLockWait, TheTextSaysWhatWasWaited) {
  const jet::FailureContext context{jet::StatementKind::Update, {}, "/data/a.mdb", nullptr};
  const ComError error = jet::MapSqliteError(nullptr, SQLITE_BUSY, "database is locked", context);
  EXPECT_EQ(error.Description(),
            "The database '/data/a.mdb' is locked by another process; the operation waited 5 "
            "seconds and gave up. Close the other program and try again.");
}

TEST_F(EngineOpen, ALockedDatabaseFailsAfterWaitingAWhile) {
  const fs::path file = MakeDatabase("busy.mdb");
  ConnectionPtr db = Open(file);
  {
    ForeignLock lock(file, "BEGIN IMMEDIATE");
    // Reading goes on beside another writer; writing waits for it and gives up.
    EXPECT_EQ(Scalar(*db, "SELECT DBVerCode FROM t_db_ver", "DBVerCode").bstrVal, "1.06");
    const auto start = std::chrono::steady_clock::now();
    const ComError error = ErrorOf([&] { Exec(*db, "UPDATE t_db_ver SET DBVerCode = '1.06'"); });
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500));
    EXPECT_EQ(error.Error(), E_Fail);
    EXPECT_TRUE(Contains(error.Description(), "locked by another process")) << error.Description();
    EXPECT_TRUE(Contains(error.Description(), file.string()));
  }
  db->BeginTrans();
  db->CommitTrans();
  Exec(*db, "UPDATE t_db_ver SET DBVerCode = '1.06'");  // the lock is gone
}

TEST_F(EngineOpen, EveryOperationOnAClosedConnectionIsRefused) {
  const fs::path file = MakeDatabase("data1.mdb");
  ConnectionPtr never = NewConnection();
  ConnectionPtr closed = Open(file);
  closed->Close();
  for (Connection* db : {&*never, &*closed}) {
    const std::vector<std::function<void()>> calls = {
        [db] { db->Execute("SELECT 1", nullptr); },
        [db] { db->OpenSchema(adSchemaTables); },
        [db] { db->Close(); },
        [db] { db->BeginTrans(); },
        [db] { db->CommitTrans(); },
        [db] { db->RollbackTrans(); },
    };
    for (const auto& call : calls) {
      const ComError error = ErrorOf(call);
      EXPECT_EQ(error.Error(), ADO_E_ObjectClosed);
      EXPECT_EQ(error.Source(), kConnectionSource);
      EXPECT_EQ(error.Description(), "Operation is not allowed when the object is closed.");
    }
    EXPECT_EQ(db->State(), adStateClosed);
  }
  // A closed connection opens again.
  closed->Open(ConnectionStringFor(file, ""));
  EXPECT_EQ(closed->State(), adStateOpen);
}

TEST_F(EngineOpen, AnEmptyReferenceRaisesEPointer) {
  ConnectionPtr empty;
  EXPECT_EQ(ErrorOf([&] { empty->State(); }).Error(), E_Pointer);
}

TEST_F(EngineOpen, AConnectionStringWithoutDataSourceNamesNoFile) {
  ConnectionPtr db = NewConnection();
  const ComError error = ErrorOf([&] { db->Open("Provider=Microsoft.Jet.OLEDB.4.0;"); });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), "Data Source"));
}

}  // namespace
}  // namespace mivotra::test
