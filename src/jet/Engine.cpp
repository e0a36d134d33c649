#include "jet/Engine.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <utility>

#include "jet/ConnectionString.h"
#include "jet/JetErrors.h"
#include "jet/RangedUpdate.h"
#include "jet/SqlitePath.h"
#include "jet/SqliteRecordset.h"
#include "jet/SqliteSchema.h"
#include "jet/sql/JetSql.h"

namespace mivotra {
namespace {

using jet::FailureContext;
using jet::Prepare;
using jet::RunToEnd;
using jet::Session;
using jet::SqliteRecordset;
using jet::StatementHandle;
using jet::StatementKind;

constexpr std::string_view kProvider = "Microsoft.Jet.OLEDB.4.0";
constexpr HRESULT ADO_E_FeatureNotAvailable = MakeHResult(0x800A0CB3);
// SQLCipher writes pages of this size; an encrypted file is a whole number of them.
constexpr std::uintmax_t kPageSize = 1024;

[[noreturn]] void ThrowConnection(HRESULT code, std::string description) {
  jet::Throw(code, jet::kConnectionSource, std::move(description));
}

void Exec(sqlite3* db, std::string_view sql, const FailureContext& context) {
  StatementHandle statement = Prepare(db, sql, context);
  RunToEnd(db, statement.get(), context);
}

// The first column of the first row as text ("" when none), as a PRAGMA
// answers ("delete", "wal", "ok", ...).
std::string FirstText(sqlite3* db, std::string_view sql, const FailureContext& context) {
  StatementHandle statement = Prepare(db, sql, context);
  std::string mode;
  const int rc = sqlite3_step(statement.get());
  if (rc == SQLITE_ROW) {
    if (const auto* text = sqlite3_column_text(statement.get(), 0))
      mode = reinterpret_cast<const char*>(text);
  } else if (rc != SQLITE_DONE) {
    throw jet::MapSqliteError(db, rc, sqlite3_errmsg(db), context);
  }
  return mode;
}

// SQLite's unix file object begins with its methods, its VFS and its inode
// record, then the descriptor. SQLite offers no call for the descriptor, and
// a copy that must see exactly the file SQLite works on (and that must not
// open and close another descriptor of it, which would drop the process's
// locks) needs it. The layout is checked against what it must find: the
// default VFS, and a descriptor of the very file whose header was read.
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
  if (head.vfs != sqlite3_vfs_find(nullptr) || head.descriptor < 0) return -1;
  struct stat info {};
  if (fstat(head.descriptor, &info) != 0 || info.st_dev != opened.st_dev ||
      info.st_ino != opened.st_ino) {
    return -1;
  }
  return head.descriptor;
}

// Jet's & : Null only when both sides are Null, else the texts joined with Null as "".
void JetConcat(sqlite3_context* context, int, sqlite3_value** args) {
  if (sqlite3_value_type(args[0]) == SQLITE_NULL && sqlite3_value_type(args[1]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  std::string joined;
  for (int i = 0; i < 2; ++i) {
    if (sqlite3_value_type(args[i]) == SQLITE_NULL) continue;
    const auto* text = sqlite3_value_text(args[i]);
    if (text)
      joined.append(reinterpret_cast<const char*>(text),
                    static_cast<std::size_t>(sqlite3_value_bytes(args[i])));
  }
  sqlite3_result_text(context, joined.data(), static_cast<int>(joined.size()), SQLITE_TRANSIENT);
}

bool ModeIsReadOnly(std::string_view mode) {
  // ADO's Mode: "Read", "ReadWrite", "Share Deny None", ... joined by '|'.
  bool read = false;
  bool write = false;
  std::size_t start = 0;
  while (start <= mode.size()) {
    const std::size_t bar = mode.find('|', start);
    std::string part = jet::FoldCase(
        mode.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    part.erase(0, part.find_first_not_of(' '));
    part.erase(part.find_last_not_of(' ') + 1);
    if (part == "read") read = true;
    if (part == "write" || part == "readwrite") write = true;
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return read && !write;
}

class EngineConnection final : public Connection {
 public:
  EngineConnection() = default;
  EngineConnection(const EngineConnection&) = delete;
  EngineConnection& operator=(const EngineConnection&) = delete;
  ~EngineConnection() override { CloseDatabase(); }

  void Open(std::string_view connectionString, std::string_view, std::string_view, long) override {
    if (m_session)
      ThrowConnection(ADO_E_ObjectOpen, "Operation is not allowed when the object is open.");
    const auto properties = ParseConnectionString(connectionString);
    auto property = [&properties](const char* key) {
      const auto found = properties.find(key);
      return found == properties.end() ? std::string() : found->second;
    };
    if (!jet::EqualsNoCase(property("provider"), kProvider)) {
      ThrowConnection(ADO_E_ProviderNotFound,
                      "Provider cannot be found. It may not be properly installed.");
    }
    m_session = OpenDatabase(property("data source"), property("jet oledb:database password"),
                             ModeIsReadOnly(property("mode")), &m_sqliteFolder);
  }

  RecordsetPtr Execute(std::string_view commandText, Variant* recordsAffected, long) override {
    RequireOpen();
    m_session->RequireLiveTransaction();
    jet::Statement statement = jet::Translate(commandText);
    sqlite3* db = m_session->db;
    const FailureContext context{statement.kind, statement.table, m_session->file};
    StatementHandle prepared = Prepare(db, statement.sql, context);
    switch (statement.kind) {
      case StatementKind::Select: {
        auto recordset =
            std::make_shared<SqliteRecordset>(m_session, std::move(prepared), statement, context);
        if (recordsAffected) *recordsAffected = Variant::I4(-1);
        return RecordsetPtr(std::move(recordset));
      }
      case StatementKind::CreateTable:
        CheckCreateTable(statement, context);
        break;
      case StatementKind::CreateIndex:
        PlanCreateIndex(statement, context);
        break;
      case StatementKind::DropTable:
        CheckDropTable(statement, context);
        break;
      case StatementKind::DropIndex:
        CheckDropIndex(statement, context);
        break;
      default:
        break;
    }
    auto ranged = jet::RangedUpdate::Plan(db, statement, context);
    // Statements that take more than one SQLite step are made whole by a savepoint.
    const bool savepoint = !statement.followUps.empty() || ranged;
    if (savepoint) Exec(db, "SAVEPOINT jet_statement", context);
    std::int64_t changes = 0;
    try {
      if (ranged) {
        changes = ranged->Run();
      } else {
        RunToEnd(db, prepared.get(), context);
        const bool rowChanges = statement.kind == StatementKind::Insert ||
                                statement.kind == StatementKind::Update ||
                                statement.kind == StatementKind::Delete;
        if (rowChanges) changes = sqlite3_changes(db);
      }
      prepared.reset();
      ranged.reset();
      for (const auto& sql : statement.followUps) Exec(db, sql, context);
      // Outside a transaction this commits; if that fails the savepoint is undone below.
      if (savepoint) Exec(db, "RELEASE jet_statement", context);
    } catch (...) {
      prepared.reset();
      ranged.reset();
      if (m_session->inTransaction) {
        // Only this statement is undone; the caller's transaction goes on.
        if (savepoint) {
          sqlite3_exec(db, "ROLLBACK TO jet_statement; RELEASE jet_statement", nullptr, nullptr,
                       nullptr);
        }
      } else if (!sqlite3_get_autocommit(db)) {
        // A commit that failed (another process still reading) leaves the
        // transaction open; undoing all of it needs no lock and cannot fail
        // for the same reason, so the connection never stays in a transaction
        // nobody began.
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      }
      throw;
    }
    if (recordsAffected) {
      *recordsAffected =
          Variant::I4(static_cast<std::int32_t>(std::min<std::int64_t>(changes, INT32_MAX)));
    }
    return RecordsetPtr(std::make_shared<SqliteRecordset>());
  }

  long State() const override { return m_session ? adStateOpen : adStateClosed; }

  RecordsetPtr OpenSchema(SchemaEnum schema) override {
    RequireOpen();
    m_session->RequireLiveTransaction();
    if (schema != adSchemaTables) {
      ThrowConnection(
          ADO_E_FeatureNotAvailable,
          "Object or provider is not capable of performing requested operation: only the "
          "tables schema (20) is available.");
    }
    // The engine's own tables are listed as system tables, as Jet lists its MSys tables.
    static constexpr std::string_view kSql =
        "SELECT NULL AS TABLE_CATALOG, NULL AS TABLE_SCHEMA, name AS TABLE_NAME, "
        "CASE WHEN type = 'view' THEN 'VIEW' WHEN substr(name, 1, 7) = 'sqlite_' THEN 'SYSTEM "
        "TABLE' "
        "ELSE 'TABLE' END AS TABLE_TYPE, NULL AS TABLE_GUID, NULL AS DESCRIPTION, NULL AS "
        "TABLE_PROPID, "
        "NULL AS DATE_CREATED, NULL AS DATE_MODIFIED "
        "FROM (SELECT name, type FROM sqlite_master WHERE type IN ('table', 'view') "
        "UNION ALL SELECT 'sqlite_master', 'table') ORDER BY TABLE_TYPE, TABLE_NAME";
    const FailureContext context{StatementKind::Select, {}, m_session->file};
    jet::Statement statement;
    statement.hints.assign(9, jet::ColumnHint::None);
    statement.hints[7] = statement.hints[8] = jet::ColumnHint::Date;
    return RecordsetPtr(std::make_shared<SqliteRecordset>(
        m_session, Prepare(m_session->db, kSql, context), statement, context));
  }

  void Close() override {
    RequireOpen();
    if (m_session->inTransaction && !sqlite3_get_autocommit(m_session->db)) {
      ThrowConnection(ADO_E_NoTransaction,
                      "Connection object cannot be explicitly closed while in a transaction.");
    }
    CloseDatabase();
  }

  long BeginTrans() override {
    RequireOpen();
    sqlite3* db = m_session->db;
    if (m_session->inTransaction && !sqlite3_get_autocommit(db)) {
      jet::Throw(
          jet::XACT_E_TransactionExists, jet::kConnectionSource,
          "Only one transaction can be active on this connection; transactions do not nest.");
    }
    const FailureContext context{StatementKind::Update, {}, m_session->file};
    // In WAL mode committed changes may still sit in the log, where a copy of
    // the file misses them, and the write lock does not cover the file. For
    // the transaction the database goes back to a rollback journal, which
    // first writes the whole log into the file; SQLite allows that only while
    // no other connection has the database open. The log comes back after.
    m_session->inTransaction = false;
    m_restoreLog = false;
    if (FirstText(db, "PRAGMA journal_mode", context) == "wal") {
      // SQLite answers at once, without waiting for the other connections.
      const int rc = sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
      if ((rc & 0xFF) == SQLITE_BUSY ||
          (rc == SQLITE_OK && FirstText(db, "PRAGMA journal_mode", context) == "wal"))
        jet::ThrowEngine(E_Fail, InUseDescription());
      if (rc != SQLITE_OK) throw jet::MapSqliteError(db, rc, sqlite3_errmsg(db), context);
      m_restoreLog = true;
    }
    // IMMEDIATE takes the write lock now, so no other process can change the
    // file between the begin and the commit.
    Exec(db, "BEGIN IMMEDIATE", context);
    m_session->inTransaction = true;
    // Another process may have turned the log on again in between.
    if (FirstText(db, "PRAGMA journal_mode", context) == "wal") {
      RollbackTrans();
      jet::ThrowEngine(E_Fail, InUseDescription());
    }
    return 1;
  }

  void CommitTrans() override {
    RequireTransaction("CommitTrans");
    sqlite3* db = m_session->db;
    if (sqlite3_get_autocommit(db)) {
      EndTransaction();
      jet::ThrowEngine(E_Fail, std::string(jet::kTransactionLost));
    }
    // A failure leaves the transaction open when SQLite kept it (another
    // process still reading), and the caller rolls back. SQLite may also
    // report a failure of its last step after the journal is gone, when the
    // commit was in fact made: only reading the database tells.
    Exec(db, "COMMIT", {StatementKind::Update, {}, m_session->file});
    EndTransaction();
  }

  void RollbackTrans() override {
    RequireTransaction("RollbackTrans");
    if (!sqlite3_get_autocommit(m_session->db)) {
      Exec(m_session->db, "ROLLBACK", {StatementKind::Update, {}, m_session->file});
    }
    EndTransaction();
  }

  void CheckEncryptedPages() override {
    RequireOpen();
    if (!m_session->encrypted) return;
    sqlite3* db = m_session->db;
    const FailureContext context{StatementKind::Select, {}, m_session->file};
    // Attached without a key, the file takes the main database's; its pager
    // reads from the disk, not from the main one's cache.
    StatementHandle attach = Prepare(db, "ATTACH DATABASE ?1 AS jet_check", context);
    // The name SQLite has for the file, which a long path needs.
    sqlite3_bind_text(attach.get(), 1, sqlite3_db_filename(db, "main"), -1, SQLITE_TRANSIENT);
    RunToEnd(db, attach.get(), context);
    std::string verdict;
    try {
      verdict = FirstText(db, "PRAGMA jet_check.quick_check(1)", context);
    } catch (...) {
      sqlite3_exec(db, "DETACH DATABASE jet_check", nullptr, nullptr, nullptr);
      throw;
    }
    sqlite3_exec(db, "DETACH DATABASE jet_check", nullptr, nullptr, nullptr);
    if (verdict != "ok") {
      jet::ThrowEngine(E_Fail, "The database '" + m_session->file +
                                   "' is damaged and cannot be read (" + verdict + ").");
    }
  }

  int DatabaseFileDescriptor() const override { return m_session ? m_session->fileDescriptor : -1; }

  std::string DataSource() const override { return m_session ? m_session->file : std::string(); }

 private:
  void RequireOpen() const {
    if (!m_session)
      ThrowConnection(ADO_E_ObjectClosed, "Operation is not allowed when the object is closed.");
  }

  void RequireTransaction(std::string_view operation) const {
    RequireOpen();
    if (!m_session->inTransaction) {
      ThrowConnection(ADO_E_NoTransaction, "No transaction is active: " + std::string(operation) +
                                               " needs a BeginTrans first.");
    }
  }

  std::string InUseDescription() const {
    return "The database '" + m_session->file +
           "' is in use by another process, which keeps it in write-ahead log mode; close the "
           "other program and try again.";
  }

  // Once the transaction is over, the log goes back on where it was found:
  // the other programs of the database chose it. A failure changes nothing
  // the database holds, so it is not reported.
  void EndTransaction() noexcept {
    m_session->inTransaction = false;
    if (!m_restoreLog) return;
    m_restoreLog = false;
    sqlite3_exec(m_session->db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
  }

  void CloseDatabase() noexcept {
    if (!m_session) return;
    // Recordsets close with their connection, as in ADO.
    while (!m_session->recordsets.empty()) m_session->recordsets.back()->Detach();
    sqlite3_close_v2(m_session->db);
    m_session->db = nullptr;
    m_session.reset();
    m_restoreLog = false;
    if (m_sqliteFolder >= 0) close(m_sqliteFolder);
    m_sqliteFolder = -1;
  }

  // `folder` receives the descriptor a long path is opened through, kept
  // until the database is closed.
  static std::shared_ptr<Session> OpenDatabase(const std::string& file, const std::string& password,
                                               bool readOnly, int* folder) {
    namespace fs = std::filesystem;
    if (file.empty()) {
      jet::ThrowEngine(E_Fail,
                       "Could not find file ''. The connection string names no Data Source.");
    }
    // SQLite would make an empty database of a missing, empty or odd file:
    // look at the file first and never let SQLite create one.
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (status.type() == fs::file_type::not_found)
      jet::ThrowEngine(E_Fail, jet::CouldNotFindFile(file));
    if (error)
      jet::ThrowEngine(E_Fail, "Cannot open the file '" + file + "': " + error.message() + ".");
    if (status.type() == fs::file_type::directory) {
      jet::ThrowEngine(E_Fail, "'" + file + "' is a folder, not a database file.");
    }
    if (status.type() != fs::file_type::regular)
      jet::ThrowEngine(E_Fail, jet::UnrecognizedFormat(file));
    char header[16] = {};
    std::size_t headerBytes = 0;
    // The file whose header is read is the file SQLite must open (checked below).
    struct stat sniffed {};
    if (std::FILE* stream = std::fopen(file.c_str(), "rb")) {
      headerBytes = std::fread(header, 1, sizeof header, stream);
      const bool known = fstat(fileno(stream), &sniffed) == 0;
      std::fclose(stream);
      if (!known) jet::ThrowEngine(E_Fail, "Cannot look at the file '" + file + "'.");
    } else {
      jet::ThrowEngine(E_Fail, "Cannot open the file '" + file + "': " + std::strerror(errno) +
                                   ". You need permission to read it.");
    }
    const std::uintmax_t size = fs::file_size(file, error);
    if (error || size == 0) jet::ThrowEngine(E_Fail, jet::UnrecognizedFormat(file));
    const bool plain =
        headerBytes == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
    // A real Jet or ACE file is a whole number of pages too, but no password opens it here.
    const bool accessFile =
        headerBytes == sizeof header && (std::memcmp(header, "\0\1\0\0Standard Jet", 16) == 0 ||
                                         std::memcmp(header, "\0\1\0\0Standard ACE", 16) == 0);
    if (accessFile) jet::ThrowEngine(E_Fail, jet::UnrecognizedFormat(file));
    // Without a plain header the file is encrypted or no database at all;
    // SQLCipher cannot tell which, its page structure can.
    const bool wholePages = size % kPageSize == 0;
    auto refusal = [&]() {
      return wholePages
                 ? ComError(DB_SEC_E_AuthFailed, ErrorInfo{std::string(jet::kEngineSource),
                                                           std::string(jet::kNotValidPassword)})
                 : ComError(E_Fail, ErrorInfo{std::string(jet::kEngineSource),
                                              jet::UnrecognizedFormat(file)});
    };
    if (!plain && password.empty()) throw refusal();

    sqlite3* raw = nullptr;
    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    jet::SqlitePath sqliteName(file);
    if (sqliteName.Name().empty()) {
      jet::ThrowEngine(E_Fail, "Cannot open the folder of the file '" + file +
                                   "': " + std::strerror(sqliteName.Error()) + ".");
    }
    const int opened = sqlite3_open_v2(sqliteName.Name().c_str(), &raw, flags, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close_v2);
    const FailureContext context{StatementKind::Select, {}, file};
    if (opened != SQLITE_OK) {
      throw jet::MapSqliteError(raw, opened, raw ? sqlite3_errmsg(raw) : "out of memory", context);
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, jet::kBusyTimeoutMilliseconds);
    // Jet ignores a password given for an unprotected database.
    if (!plain &&
        sqlite3_key(raw, password.data(), static_cast<int>(password.size())) != SQLITE_OK) {
      jet::ThrowEngine(E_Fail, "Cannot set the database password for '" + file + "'.");
    }
    // A wrong key shows only on the first read of a page: read one now.
    {
      sqlite3_stmt* check = nullptr;
      int rc = sqlite3_prepare_v2(raw, "SELECT count(*) FROM sqlite_master", -1, &check, nullptr);
      StatementHandle handle(check);
      if (rc == SQLITE_OK) rc = sqlite3_step(check);
      if (rc != SQLITE_ROW) {
        const int primary = rc & 0xFF;
        if (primary == SQLITE_NOTADB) {
          if (plain) jet::ThrowEngine(E_Fail, jet::UnrecognizedFormat(file));
          throw refusal();
        }
        if (primary == SQLITE_CORRUPT) jet::ThrowEngine(E_Fail, jet::UnrecognizedFormat(file));
        throw jet::MapSqliteError(raw, rc, sqlite3_errmsg(raw), context);
      }
    }
    Exec(raw, "PRAGMA foreign_keys = ON", context);
    // A commit counts only once it survives a power cut: EXTRA also writes
    // the folder to disk after the journal is deleted, without which the
    // journal can come back and undo the commit.
    Exec(raw, "PRAGMA synchronous = EXTRA", context);
    // SQLCipher keeps temporary data in memory by default, so an UPDATE of many
    // rows inside a transaction would hold the original of every changed page
    // in memory (hundreds of MB for a large database). In files instead, the
    // statement journal spills to disk; its pages are encrypted like the
    // database's own.
    Exec(raw, "PRAGMA temp_store = FILE", context);
    // Inside a long transaction most of the cache holds changed pages waiting
    // to be written, and only the rest can keep pages just read; 8 MiB leaves
    // room for the pages of a whole range of a ranged UPDATE, which it reads
    // twice.
    Exec(raw, "PRAGMA cache_size = -8192", context);
    if (sqlite3_create_function_v2(raw, "jet_concat", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, JetConcat, nullptr, nullptr, nullptr) != SQLITE_OK) {
      jet::ThrowEngine(E_OutOfMemory, "Not enough memory to open the database.");
    }
    auto session = std::make_shared<Session>();
    session->fileDescriptor = SqliteDescriptor(raw, sniffed);
    session->encrypted = !plain;
    session->db = db.release();
    session->file = file;
    *folder = sqliteName.ReleaseFolder();
    return session;
  }

  // ----- checks Jet makes before it changes the schema

  void CheckCreateTable(const jet::Statement& statement, const FailureContext& context) {
    sqlite3* db = m_session->db;
    for (const auto& key : statement.foreignKeys) {
      const std::string name = key.constraint.empty() ? std::string() : " '" + key.constraint + "'";
      const bool self = jet::EqualsNoCase(key.refTable, statement.table);
      std::vector<std::string> columns = statement.columns;
      std::vector<std::string> primaryKey = statement.primaryKey;
      std::vector<std::vector<std::string>> uniqueKeys = statement.uniqueKeys;
      std::string related = statement.table;
      if (!self) {
        const auto found = jet::schema::TableName(db, key.refTable, &context);
        if (!found) {
          jet::ThrowEngine(DB_E_NoTable, "Cannot find the table '" + key.refTable +
                                             "' that the relationship" + name + " of table '" +
                                             statement.table + "' refers to.");
        }
        related = *found;
        columns.clear();
        const auto info = jet::schema::Columns(db, related, &context);
        for (const auto& column : info) columns.push_back(column.name);
        uniqueKeys = jet::schema::UniqueKeys(db, related, &context);
        primaryKey = jet::schema::PrimaryKey(info);
      } else if (!primaryKey.empty()) {
        uniqueKeys.push_back(primaryKey);
      }
      const std::vector<std::string> refColumns =
          key.refColumns.empty() ? primaryKey : key.refColumns;
      for (const auto& column : refColumns) {
        bool known = false;
        for (const auto& existing : columns) known = known || jet::EqualsNoCase(existing, column);
        if (!known) {
          jet::ThrowEngine(E_Fail, "The field '" + column + "' that the relationship" + name +
                                       " refers to does not exist in table '" + related + "'.");
        }
      }
      if (!refColumns.empty() && refColumns.size() != key.columns.size()) {
        jet::ThrowEngine(DB_E_Syntax, "The relationship" + name + " joins " +
                                          std::to_string(key.columns.size()) + " field(s) of '" +
                                          statement.table + "' to " +
                                          std::to_string(refColumns.size()) + " field(s) of '" +
                                          related + "'.");
      }
      bool unique = false;
      for (const auto& candidate : uniqueKeys)
        unique = unique || jet::schema::SameColumns(candidate, refColumns);
      if (refColumns.empty() || !unique) {
        jet::ThrowEngine(E_Fail,
                         "No unique index found for the referenced field of the primary table '" +
                             related + "' (relationship" + name + " of table '" + statement.table +
                             "').");
      }
    }
  }

  void PlanCreateIndex(jet::Statement& statement, const FailureContext& context) {
    using jet::IndexOption;
    if (statement.indexOption != IndexOption::Primary &&
        statement.indexOption != IndexOption::DisallowNull)
      return;
    sqlite3* db = m_session->db;
    const auto columns = jet::schema::Columns(db, statement.table, &context);
    if (statement.indexOption == IndexOption::Primary) {
      const auto primaryKey = jet::schema::PrimaryKey(columns);
      if (!primaryKey.empty() && !jet::schema::SameColumns(primaryKey, statement.indexColumns)) {
        jet::ThrowEngine(E_Fail,
                         "Primary key already exists: table '" + statement.table + "' has one.");
      }
    }
    // Only columns that may hold Null need a guard.
    std::vector<std::string> nullable;
    for (const auto& name : statement.indexColumns) {
      for (const auto& column : columns) {
        if (jet::EqualsNoCase(column.name, name) && !column.notNull && column.keyPosition == 0) {
          nullable.push_back(column.name);
        }
      }
    }
    if (nullable.empty()) return;
    if (jet::schema::HasNull(db, statement.table, nullable, &context)) {
      jet::ThrowEngine(E_Fail, "Index or primary key cannot contain a Null value: table '" +
                                   statement.table + "' holds Null in a field of index '" +
                                   statement.index + "'.");
    }
    statement.followUps = jet::RequiredTriggers(statement.index, statement.table, nullable);
  }

  void CheckDropTable(const jet::Statement& statement, const FailureContext& context) {
    for (const auto& key : jet::schema::ForeignKeysTo(m_session->db, statement.table, &context)) {
      if (jet::EqualsNoCase(key.table, statement.table)) continue;
      jet::ThrowEngine(E_Fail, "Cannot delete the table '" + statement.table +
                                   "'. It is used in a relationship with table '" + key.table +
                                   "'.");
    }
  }

  void CheckDropIndex(const jet::Statement& statement, const FailureContext& context) {
    sqlite3* db = m_session->db;
    const auto index = jet::schema::Index(db, statement.index, &context);
    if (!index || !jet::EqualsNoCase(index->table, statement.table)) {
      jet::ThrowEngine(DB_E_NoTable, "Cannot find the index '" + statement.index + "' on table '" +
                                         statement.table + "'.");
    }
    if (!index->unique) return;
    // A relationship needs a unique index on the fields it refers to; another one may stand in.
    int covering = 0;
    for (const auto& key : jet::schema::UniqueKeys(db, index->table, &context)) {
      covering += jet::schema::SameColumns(key, index->columns) ? 1 : 0;
    }
    if (covering > 1) return;
    const auto primaryKey =
        jet::schema::PrimaryKey(jet::schema::Columns(db, index->table, &context));
    for (const auto& key : jet::schema::ForeignKeysTo(db, index->table, &context)) {
      const auto& referred = key.refColumns.empty() ? primaryKey : key.refColumns;
      if (jet::schema::SameColumns(referred, index->columns)) {
        jet::ThrowEngine(E_Fail, "Cannot delete the index '" + index->name +
                                     "'. It is used in a relationship with table '" + key.table +
                                     "'.");
      }
    }
  }

  std::shared_ptr<Session> m_session;
  bool m_restoreLog = false;  // the database was in WAL mode before the transaction
  int m_sqliteFolder = -1;    // the folder a long path is opened through
};

}  // namespace

HRESULT CreateConnection(ConnectionPtr& connection) noexcept {
  try {
    connection = ConnectionPtr(std::make_shared<EngineConnection>());
    return S_Ok;
  } catch (const std::bad_alloc&) {
    connection.Release();
    return E_OutOfMemory;
  } catch (...) {
    connection.Release();
    return E_Fail;
  }
}

}  // namespace mivotra
