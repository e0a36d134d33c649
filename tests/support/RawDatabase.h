#pragma once
// Databases read straight through SQLite, independent of the engine: whole-database
// pictures that stay cheap on millions of rows, byte comparisons, journals.

#include <sqlcipher/sqlite3.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/CipherFormat.h"

namespace mivotra::test {

namespace fs = std::filesystem;

class RawDatabase {
 public:
  // Read-write, so that a hot journal left by a killed writer is rolled back
  // here as any later reader would; nothing is written otherwise.
  // An encrypted file is read in SQLCipher 4's format, or else in SQLCipher
  // 3's, as the main application's files may be in either.
  explicit RawDatabase(const fs::path& file, const std::string& password = "") {
    Open(file, password, 4);
    if (password.empty()) return;
    if ((sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) &
         0xFF) != SQLITE_NOTADB)
      return;
    sqlite3_close(m_db);
    Open(file, password, 3);
  }
  ~RawDatabase() { sqlite3_close(m_db); }
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  // Every row of a query, values joined by '|'.
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    Each(sql, [&rows](sqlite3_stmt* statement) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        if (i) row += '|';
        const unsigned char* text = sqlite3_column_text(statement, i);
        row += text ? reinterpret_cast<const char*>(text) : "<null>";
      }
      rows.push_back(row);
    });
    return rows;
  }

  std::string Text(const std::string& sql) {
    const auto rows = Rows(sql);
    std::string joined;
    for (const auto& row : rows) joined += (joined.empty() ? "" : "\n") + row;
    return joined;
  }

  void Each(const std::string& sql, const std::function<void(sqlite3_stmt*)>& row) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(m_db));
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) row(statement);
    const std::string message = sqlite3_errmsg(m_db);
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) throw std::runtime_error(sql + ": " + message);
  }

  sqlite3* get() const { return m_db; }

 private:
  void Open(const fs::path& file, const std::string& password, int cipherCompatibility) {
    if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
      sqlite3_close(m_db);
      throw std::runtime_error("cannot open " + file.string() + ": " + message);
    }
    sqlite3_busy_timeout(m_db, 10000);
    if (password.empty()) return;
    // Keyed as the engine keys: the same settings, SQLCipher's log off.
    jet::KeyDatabase(
        m_db, password,
        cipherCompatibility == 3 ? jet::CipherFormat::SqlCipher3 : jet::CipherFormat::SqlCipher4);
  }

  sqlite3* m_db = nullptr;
};

// PRAGMA integrity_check's answer ("ok" for a sound file).
std::string IntegrityCheck(const fs::path& file, const std::string& password = "");

std::string VersionOf(const fs::path& file, const std::string& password = "");

// A picture of the whole database that is cheap on millions of rows: the
// schema in full and, per table, the row count and a 64-bit hash of every
// value in rowid order. With maskPatchTimes the times the patch writes with
// now() are left out, so that two updates of one database compare equal.
std::string Picture(const fs::path& file, const std::string& password = "",
                    bool maskPatchTimes = false);

// True when both files hold the same bytes. A rolled-back transaction puts
// every page back, so a database that is "wholly as before" is this too.
bool SameBytes(const fs::path& a, const fs::path& b);

// No journal that a reader would play back: none at all, or one whose header
// never got its magic number (SQLite writes that only once the journal is
// on disk, before the database file itself is touched).
bool NoHotJournal(const fs::path& database);

}  // namespace mivotra::test
