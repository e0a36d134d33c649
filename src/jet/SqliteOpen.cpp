#include "jet/SqliteOpen.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "base/Translate.h"
#include "jet/CipherFormat.h"
#include "jet/SqlitePath.h"

namespace mivotra::jet {
namespace {

// SQLite's unix file object begins with its methods, its VFS and its inode
// record, then the descriptor. SQLite offers no call for the descriptor, and
// a copy that must see exactly the file SQLite works on (and that must not
// open and close another descriptor of it, which would drop the process's
// locks) needs it. The layout is checked against what it must find: the
// unix VFS, and a descriptor of the very file whose header was read.
int SqliteDescriptor(sqlite3* db, const struct stat& opened) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
      !file->pMethods) {
    return -1;
  }
  struct UnixFileHead {
    const sqlite3_io_methods* methods;
    sqlite3_vfs* vfs;
    void* inode;
    int descriptor;
  } head{};
  std::memcpy(&head, file, sizeof head);
  if (head.vfs != sqlite3_vfs_find("unix") || head.descriptor < 0) return -1;
  struct stat info = {};
  if (fstat(head.descriptor, &info) != 0 || info.st_dev != opened.st_dev ||
      info.st_ino != opened.st_ino) {
    return -1;
  }
  return head.descriptor;
}

}  // namespace

std::shared_ptr<Session> OpenSqliteDatabase(const std::string& file, const std::string& password) {
  namespace fs = std::filesystem;
  if (file.empty()) {
    ThrowEngine(E_Fail, Tr("engine",
                           "Could not find file ''. The connection string names no Data Source."));
  }
  // SQLite would make an empty database of a missing, empty or odd file:
  // look at the file first and never let SQLite create one.
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (status.type() == fs::file_type::not_found) ThrowEngine(E_Fail, CouldNotFindFile(file));
  if (error) {
    ThrowEngine(E_Fail, Format(Tr("engine", "Cannot open the file '%1': %2."),
                               {file, ErrorText(error.value())}));
  }
  if (status.type() == fs::file_type::directory)
    ThrowEngine(E_Fail, Format(Tr("engine", "'%1' is a folder, not a database file."), {file}));
  if (status.type() != fs::file_type::regular) ThrowEngine(E_Fail, UnrecognizedFormat(file));
  char header[16] = {};
  std::size_t headerBytes = 0;
  // The file whose header is read is the file SQLite must open (checked below).
  struct stat sniffed = {};
  if (std::FILE* stream = std::fopen(file.c_str(), "rb")) {
    headerBytes = std::fread(header, 1, sizeof header, stream);
    const bool known = fstat(fileno(stream), &sniffed) == 0;
    std::fclose(stream);
    if (!known) ThrowEngine(E_Fail, Format(Tr("engine", "Cannot look at the file '%1'."), {file}));
  } else {
    const int failure = errno;  // before Tr, which may change it
    ThrowEngine(E_Fail, Format(Tr("engine",
                                  "Cannot open the file '%1': %2. You need permission to read it."),
                               {file, ErrorText(failure)}));
  }
  const std::uintmax_t size = fs::file_size(file, error);
  if (error || size == 0) ThrowEngine(E_Fail, UnrecognizedFormat(file));
  const bool plain =
      headerBytes == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
  // A real Jet or ACE file is a whole number of pages too, but no password opens it here.
  const bool accessFile =
      headerBytes == sizeof header && (std::memcmp(header, "\0\1\0\0Standard Jet", 16) == 0 ||
                                       std::memcmp(header, "\0\1\0\0Standard ACE", 16) == 0);
  if (accessFile) ThrowEngine(E_Fail, UnrecognizedFormat(file));
  // Without a plain header the file is encrypted or no database at all;
  // SQLCipher cannot tell which, its page structure can.
  const std::vector<CipherFormat> formats =
      plain ? std::vector<CipherFormat>{CipherFormat::Plain} : PossibleCipherFormats(size);
  auto refusal = [&]() {
    return !formats.empty()
               ? ComError(DB_SEC_E_AuthFailed,
                          ErrorInfo{std::string(kEngineSource), NotValidPassword()})
               : ComError(E_Fail, ErrorInfo{std::string(kEngineSource), UnrecognizedFormat(file)});
  };
  if (formats.empty() || (!plain && password.empty())) throw refusal();

  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  SqlitePath sqliteName(file);
  if (sqliteName.Name().empty()) {
    ThrowEngine(E_Fail, Format(Tr("engine", "Cannot open the folder of the file '%1': %2."),
                               {file, ErrorText(sqliteName.Error())}));
  }
  const FailureContext context{StatementKind::Select, {}, file, nullptr};
  // Each format is tried on a connection of its own: a key that failed
  // leaves SQLCipher's state for the file behind. A wrong password is told
  // only after every format refused it.
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(nullptr, sqlite3_close_v2);
  CipherFormat format = formats.front();
  for (std::size_t i = 0; i < formats.size(); ++i) {
    format = formats[i];
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(sqliteName.Name().c_str(), &raw, flags, sqliteName.Vfs());
    db.reset(raw);
    if (opened != SQLITE_OK) {
      throw MapSqliteError(raw, opened, raw ? sqlite3_errmsg(raw) : "out of memory", context);
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMilliseconds);
    // Jet ignores a password given for an unprotected database.
    if (KeyDatabase(raw, password, format) != SQLITE_OK) {
      ThrowEngine(E_Fail,
                  Format(Tr("engine", "Cannot set the database password for '%1'."), {file}));
    }
    // A wrong key shows only on the first read of a page: read one now.
    sqlite3_stmt* check = nullptr;
    int rc = sqlite3_prepare_v2(raw, "SELECT count(*) FROM sqlite_master", -1, &check, nullptr);
    StatementHandle handle(check);
    if (rc == SQLITE_OK) rc = sqlite3_step(check);
    if (rc == SQLITE_ROW) break;
    const int primary = rc & 0xFF;
    if (primary == SQLITE_NOTADB) {
      if (plain) ThrowEngine(E_Fail, UnrecognizedFormat(file));
      if (i + 1 < formats.size()) continue;
      throw refusal();
    }
    if (primary == SQLITE_CORRUPT) ThrowEngine(E_Fail, UnrecognizedFormat(file));
    throw MapSqliteError(raw, rc, sqlite3_errmsg(raw), context);
  }
  sqlite3* raw = db.get();
  Exec(raw, "PRAGMA foreign_keys = ON", context);
  // A commit counts only once it survives a power cut: EXTRA also writes
  // the folder to disk after the journal is deleted, without which the
  // journal can come back and undo the commit.
  Exec(raw, "PRAGMA synchronous = EXTRA", context);
  // SQLCipher keeps temporary data in memory by default, so an UPDATE of many
  // rows undone on its own would hold the original of every changed page in
  // memory (hundreds of MB for a large database). For a plain database the
  // work files go to disk instead. SQLCipher encrypts only the journals: its
  // sorts and temporary tables would reach the disk as plaintext, so an
  // encrypted database keeps them in memory (the update's all-or-nothing
  // transaction keeps no statement journal for its UPDATEs).
  Exec(raw, plain ? "PRAGMA temp_store = FILE" : "PRAGMA temp_store = MEMORY", context);
  // Inside a long transaction the cache fills with changed pages, and each
  // time it is full SQLite writes some to the file, after syncing the
  // journal twice. 24 MiB makes that a third as often as 8 MiB did (a
  // quarter less time for the update of a large table) and keeps the
  // program well under 50 MiB.
  Exec(raw, "PRAGMA cache_size = -24576", context);
  auto session = std::make_shared<Session>();
  session->fileDescriptor = SqliteDescriptor(raw, sniffed);
  session->encrypted = !plain;
  session->format = format;
  session->db = db.release();
  session->file = file;
  session->folderDescriptor = sqliteName.ReleaseFolder();
  return session;
}

}  // namespace mivotra::jet
