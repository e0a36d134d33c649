#include "RawDatabase.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "TestSupport.h"

namespace mivotra::test {

std::string IntegrityCheck(const fs::path& file, const std::string& password) {
  RawDatabase db(file, password);
  return db.Text("PRAGMA integrity_check");
}

std::string VersionOf(const fs::path& file, const std::string& password) {
  RawDatabase db(file, password);
  return db.Text("SELECT MAX(DBVerCode) FROM t_db_ver");
}

std::string Picture(const fs::path& file, const std::string& password, bool maskPatchTimes) {
  RawDatabase db(file, password);
  std::string picture;
  for (const auto& row :
       db.Rows("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name"))
    picture += row + "\n";
  for (const auto& table :
       db.Rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    const bool masked = maskPatchTimes && (table == "t_db_ver" || table == "t_db_ver_comment" ||
                                           table == "t_expense_nexco_riyou");
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](std::uint64_t word) {
      hash = (hash ^ word) * 1099511628211ull + (hash >> 29);
    };
    sqlite3_stmt* statement = nullptr;
    const std::string sql = "SELECT * FROM \"" + table + "\" ORDER BY rowid";
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(db.get()));
    const int columns = sqlite3_column_count(statement);
    std::vector<bool> hidden;
    for (int i = 0; i < columns; ++i) {
      const std::string name = sqlite3_column_name(statement, i);
      hidden.push_back(masked && name.size() >= 8 &&
                       name.compare(name.size() - 8, 8, "DateTime") == 0);
    }
    long long rows = 0;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      ++rows;
      for (int i = 0; i < columns; ++i) {
        const int type = sqlite3_column_type(statement, i);
        if (type == SQLITE_NULL) {
          mix(0);
        } else if (hidden[static_cast<std::size_t>(i)]) {
          mix(1);
        } else if (type == SQLITE_INTEGER) {
          mix(2);
          mix(static_cast<std::uint64_t>(sqlite3_column_int64(statement, i)));
        } else if (type == SQLITE_FLOAT) {
          const double value = sqlite3_column_double(statement, i);
          std::uint64_t bits;
          std::memcpy(&bits, &value, sizeof bits);
          mix(3);
          mix(bits);
        } else {
          const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(statement, i));
          const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, i));
          mix(4 + static_cast<std::uint64_t>(type) + (static_cast<std::uint64_t>(size) << 8));
          for (std::size_t at = 0; at < size; at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + at, std::min<std::size_t>(8, size - at));
            mix(word);
          }
        }
      }
    }
    const std::string message = sqlite3_errmsg(db.get());
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) throw std::runtime_error(sql + ": " + message);
    char line[96];
    std::snprintf(line, sizeof line, " %lld rows %016llx\n", rows,
                  static_cast<unsigned long long>(hash));
    picture += "== " + table + line;
  }
  return picture;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::FILE* x = std::fopen(a.c_str(), "rb");
  std::FILE* y = std::fopen(b.c_str(), "rb");
  bool same = x && y;
  std::vector<char> bufferX(1 << 20), bufferY(1 << 20);
  while (same) {
    const std::size_t n = std::fread(bufferX.data(), 1, bufferX.size(), x);
    const std::size_t m = std::fread(bufferY.data(), 1, bufferY.size(), y);
    same = n == m && std::memcmp(bufferX.data(), bufferY.data(), n) == 0;
    if (n == 0) break;
  }
  if (x) std::fclose(x);
  if (y) std::fclose(y);
  return same;
}

bool NoHotJournal(const fs::path& database) {
  const std::string journal = ReadFile(database.string() + "-journal");
  return journal.size() < 8 || journal.compare(0, 8, std::string(8, '\0')) == 0;
}

}  // namespace mivotra::test
