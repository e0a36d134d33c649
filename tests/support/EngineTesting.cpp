#include "EngineTesting.h"

#include "RawDatabase.h"

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

Variant Scalar(Connection& db, const std::string& sql, std::string_view column) {
  RecordsetPtr rows = db.Execute(sql, nullptr);
  if (rows->EndOfFile()) {
    ADD_FAILURE() << "no row from " << sql;
    return Variant{};
  }
  return rows->Collect(column);
}

std::vector<std::string> Rows(const std::filesystem::path& file, const std::string& password,
                              const std::string& sql) {
  return RawDatabase(file, password).Rows(sql);
}

void RawExec(const std::filesystem::path& file, const std::string& password,
             const std::string& sql) {
  RawDatabase(file, password).Each(sql, [](sqlite3_stmt*) {});
}

}  // namespace mivotra::test
