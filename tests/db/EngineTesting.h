#pragma once
// Helpers shared by the engine's tests: new database files, connections,
// capturing the ComError of a call, reading single values.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "jet/Catalog.h"
#include "jet/ComError.h"
#include "jet/ConnectionString.h"
#include "jet/Engine.h"

namespace mivotra::test {

inline std::string ConnectionStringFor(const std::filesystem::path& file,
                                       const std::string& password) {
  std::string folder = file.parent_path().string() + "/";
  return BuildConnectionString(folder, file.stem().string(), password);
}

inline ConnectionPtr NewConnection() {
  ConnectionPtr connection;
  EXPECT_EQ(CreateConnection(connection), S_Ok);
  return connection;
}

inline ConnectionPtr Open(const std::filesystem::path& file, const std::string& password = "") {
  ConnectionPtr connection = NewConnection();
  connection->Open(ConnectionStringFor(file, password));
  return connection;
}

// A new database file, opened.
inline ConnectionPtr Create(const std::filesystem::path& file, const std::string& password = "") {
  CreateDatabase(file.string(), password);
  return Open(file, password);
}

// The ComError a call raises; a failed expectation when it raises none.
inline ComError ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const ComError& error) {
    return error;
  } catch (const std::exception& other) {
    ADD_FAILURE() << "expected a ComError, got " << other.what();
    return ComError(S_Ok);
  }
  ADD_FAILURE() << "expected a ComError, none was raised";
  return ComError(S_Ok);
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline void Exec(Connection& db, const std::string& sql) {
  db.Execute(sql, nullptr);
}

// The first column of the first row.
inline Variant Scalar(Connection& db, const std::string& sql) {
  RecordsetPtr rows = db.Execute(sql, nullptr);
  if (rows->EndOfFile()) {
    ADD_FAILURE() << "no row from " << sql;
    return Variant{};
  }
  return rows->Collect(0L);
}

// Every row, each value in the form the test compares ("NULL", numbers, text).
inline std::vector<std::string> Rows(Connection& db, const std::string& sql) {
  std::vector<std::string> rows;
  RecordsetPtr recordset = db.Execute(sql, nullptr);
  while (!recordset->EndOfFile()) {
    std::string row;
    for (long i = 0; i < recordset->FieldCount(); ++i) {
      const Variant value = recordset->Collect(i);
      if (i > 0) row += "|";
      switch (value.vt) {
        case VT_NULL:
          row += "NULL";
          break;
        case VT_I2:
          row += std::to_string(value.iVal);
          break;
        case VT_I4:
          row += std::to_string(value.lVal);
          break;
        case VT_UI1:
          row += std::to_string(value.bVal);
          break;
        case VT_BOOL:
          row += value.boolVal ? "True" : "False";
          break;
        case VT_R8:
          row += std::to_string(value.dblVal);
          break;
        case VT_BSTR:
          row += value.bstrVal;
          break;
        default:
          row += "vt" + std::to_string(value.vt);
          break;
      }
    }
    rows.push_back(row);
    recordset->MoveNext();
  }
  return rows;
}

}  // namespace mivotra::test
