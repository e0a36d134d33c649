#include "EngineTesting.h"

namespace mivotra::test {

std::string ConnectionStringFor(const std::filesystem::path& file, const std::string& password) {
  std::string folder = file.parent_path().string() + "/";
  return BuildConnectionString(folder, file.stem().string(), password);
}

ConnectionPtr NewConnection() {
  ConnectionPtr connection;
  EXPECT_EQ(CreateConnection(connection), S_Ok);
  return connection;
}

ConnectionPtr Open(const std::filesystem::path& file, const std::string& password) {
  ConnectionPtr connection = NewConnection();
  connection->Open(ConnectionStringFor(file, password));
  return connection;
}

ConnectionPtr Create(const std::filesystem::path& file, const std::string& password) {
  CreateDatabase(file.string(), password);
  return Open(file, password);
}

ComError ErrorOf(const std::function<void()>& call) {
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

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

void Exec(Connection& db, const std::string& sql) {
  db.Execute(sql, nullptr);
}

Variant Scalar(Connection& db, const std::string& sql) {
  RecordsetPtr rows = db.Execute(sql, nullptr);
  if (rows->EndOfFile()) {
    ADD_FAILURE() << "no row from " << sql;
    return Variant{};
  }
  return rows->Collect(0L);
}

std::vector<std::string> Rows(Connection& db, const std::string& sql) {
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
