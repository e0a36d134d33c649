#include "DatabaseHelpers.h"

#include <sqlite3.h>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "jet/ConnectionString.h"
#include "report/ValueText.h"

namespace mivotra::test {

ConnectionPtr OpenDatabase(const std::filesystem::path& file, const std::string& password) {
  ConnectionPtr db;
  if (CreateConnection(db) != S_Ok) throw std::runtime_error("no connection");
  std::string folder = file.parent_path().string() + "/";
  db->Open(BuildConnectionString(folder, file.stem().string(), password));
  return db;
}

std::vector<std::string> QueryColumn(Connection& db, const std::string& sql) {
  // "SELECT Field FROM ..." or "SELECT MAX(Field) AS Name FROM ...".
  const std::size_t start = sql.find(' ') + 1;
  std::string column = sql.substr(start, sql.find(" FROM ") - start);
  if (const std::size_t as = column.rfind(" AS "); as != std::string::npos) column.erase(0, as + 4);
  std::vector<std::string> values;
  RecordsetPtr rows = db.Execute(sql, nullptr);
  while (!rows->EndOfFile()) {
    values.push_back(VariantToText(rows->Collect(column)));
    rows->MoveNext();
  }
  rows->Close();
  return values;
}

std::string QueryText(Connection& db, const std::string& sql) {
  const auto values = QueryColumn(db, sql);
  if (values.size() != 1) throw std::runtime_error("expected one row from " + sql);
  return values.front();
}

std::string DatabaseFingerprint(const std::filesystem::path& file, const std::string& password) {
  // Straight through SQLite, so the picture does not depend on the engine under test.
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + file.string());
  }
  if (!password.empty()) sqlite3_key(db, password.data(), static_cast<int>(password.size()));
  std::string picture;
  // Rows in sorted order: a table may have no rowid, or a field hiding it.
  auto dump = [&](const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db));
    std::vector<std::string> rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const unsigned char* text = sqlite3_column_text(statement, i);
        row += text ? reinterpret_cast<const char*>(text) : "<null>";
        row += '|';
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(statement);
    std::sort(rows.begin(), rows.end());
    for (const auto& row : rows) picture += row + '\n';
  };
  std::vector<std::string> tables;
  {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", -1,
                       &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW)
      tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
  }
  dump("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name");
  for (const auto& table : tables) {
    picture += "== " + table + "\n";
    dump("SELECT * FROM \"" + table + "\"");
  }
  sqlite3_close(db);
  return picture;
}

}  // namespace mivotra::test
