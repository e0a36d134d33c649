#include "jet/Catalog.h"

#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/Translate.h"
#include "jet/ComError.h"
#include "jet/Sources.h"
#include "jet/SqlitePath.h"

namespace mivotra {
namespace {

[[noreturn]] void Fail(const std::string& description) {
  throw ComError(E_Fail, ErrorInfo{std::string(jet::kEngineSource), description});
}

}  // namespace

void CreateDatabase(const std::string& file, const std::string& password,
                    jet::CipherFormat format) {
  // O_EXCL makes "never overwrite" atomic: a file that appears meanwhile is refused too.
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) Fail(Format(Tr("engine", "Database '%1' already exists."), {file}));
    Fail(Format(Tr("engine", "Cannot create database '%1': %2."), {file, ErrorText(errno)}));
  }
  ::close(fd);

  sqlite3* db = nullptr;
  std::string failure;
  const jet::SqlitePath name(file);
  if (name.Name().empty()) {
    failure =
        Format(Tr("engine", "Cannot create database '%1': %2."), {file, ErrorText(name.Error())});
  } else if (sqlite3_open_v2(name.Name().c_str(), &db, SQLITE_OPEN_READWRITE, name.Vfs()) !=
             SQLITE_OK) {
    failure = Format(Tr("engine", "Cannot create database '%1'."), {file});
  } else if (!password.empty() &&
             jet::KeyDatabase(db, password,
                              format == jet::CipherFormat::Plain ? jet::CipherFormat::SqlCipher4
                                                                 : format) != SQLITE_OK) {
    failure = Format(Tr("engine", "Cannot encrypt database '%1'."), {file});
  } else if (sqlite3_exec(db, "PRAGMA user_version = 0; CREATE TABLE x(a); DROP TABLE x;", nullptr,
                          nullptr, nullptr) != SQLITE_OK) {
    // Creating and dropping a table writes the header, so the file is a database from now on.
    failure = Format(Tr("engine", "Cannot write database '%1': %2."), {file, sqlite3_errmsg(db)});
  }
  sqlite3_close(db);
  if (!failure.empty()) {
    ::unlink(file.c_str());
    Fail(failure);
  }
}

}  // namespace mivotra
