#include "jet/Engine.h"

#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "jet/ConnectionString.h"
#include "jet/JetErrors.h"
#include "jet/RangedUpdate.h"
#include "jet/SchemaChecks.h"
#include "jet/Session.h"
#include "jet/SqliteOpen.h"
#include "jet/SqliteRecordset.h"
#include "jet/sql/JetSql.h"

namespace mivotra {
namespace {

using jet::Exec;
using jet::FailureContext;
using jet::FirstText;
using jet::Prepare;
using jet::RunToEnd;
using jet::Session;
using jet::SqliteRecordset;
using jet::StatementHandle;
using jet::StatementKind;

constexpr std::string_view kProvider = "Microsoft.Jet.OLEDB.4.0";
constexpr HRESULT ADO_E_FeatureNotAvailable = MakeHResult(0x800A0CB3);

[[noreturn]] void ThrowConnection(HRESULT code, std::string description) {
  jet::Throw(code, jet::kConnectionSource, std::move(description));
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
    m_session =
        jet::OpenSqliteDatabase(property("data source"), property("jet oledb:database password"),
                                ModeIsReadOnly(property("mode")), m_busyTimeout);
  }

  RecordsetPtr Execute(std::string_view commandText, Variant* recordsAffected, long) override {
    RequireOpen();
    m_session->RequireLiveTransaction();
    bool changes = true;
    try {
      jet::Statement statement = jet::Translate(commandText);
      if (const auto* select = statement.As<jet::SelectStatement>()) {
        changes = false;
        const FailureContext context = m_session->Context(statement.Kind(), statement.table);
        auto recordset = std::make_shared<SqliteRecordset>(
            m_session, Prepare(m_session->db, statement.sql, context), *select, context);
        if (recordsAffected) *recordsAffected = Variant::I4(-1);
        return RecordsetPtr(std::move(recordset));
      }
      const std::int64_t changed = RunChange(statement);
      if (recordsAffected) {
        *recordsAffected =
            Variant::I4(static_cast<std::int32_t>(std::min<std::int64_t>(changed, INT32_MAX)));
      }
    } catch (...) {
      if (changes) UndoFailedChange();
      throw;
    }
    return RecordsetPtr(std::make_shared<SqliteRecordset>());
  }

  std::vector<std::int64_t> ExecuteInOnePass(std::span<const std::string> commandTexts,
                                             std::size_t* failing) override {
    RequireOpen();
    m_session->RequireLiveTransaction();
    std::size_t index = 0;
    try {
      {
        const jet::RangedUpdate::CheckedPages checked(m_session->db);
        if (auto together = PlanOnePass(commandTexts)) {
          if (auto changes = jet::RangedUpdate::RunTogether(m_session->db, *together, &index))
            return *changes;
        }
      }
      // Whole, one after another: also after a pass that failed and was
      // undone, so that the failure is exactly the one they meet.
      std::vector<std::int64_t> changes;
      for (; index < commandTexts.size(); ++index) {
        m_session->RequireLiveTransaction();
        jet::Statement statement = jet::Translate(commandTexts[index]);
        if (statement.As<jet::SelectStatement>()) {
          ThrowConnection(ADO_E_FeatureNotAvailable,
                          "Only statements that change the database run in one pass.");
        }
        changes.push_back(RunChange(statement));
      }
      return changes;
    } catch (...) {
      if (failing) *failing = index;
      UndoFailedChange();
      throw;
    }
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
    const FailureContext context = m_session->Context(StatementKind::Select);
    jet::SelectStatement columns;
    columns.hints.assign(9, jet::ColumnHint::None);
    columns.hints[7] = columns.hints[8] = jet::ColumnHint::Date;
    return RecordsetPtr(std::make_shared<SqliteRecordset>(
        m_session, Prepare(m_session->db, kSql, context), columns, context));
  }

  void Close() override {
    RequireOpen();
    if (m_session->inTransaction && !sqlite3_get_autocommit(m_session->db)) {
      ThrowConnection(ADO_E_NoTransaction,
                      "Connection object cannot be explicitly closed while in a transaction.");
    }
    CloseDatabase();
  }

  using Connection::BeginTrans;
  long BeginTrans(TransactionMode mode) override {
    RequireOpen();
    sqlite3* db = m_session->db;
    if (m_session->inTransaction && !sqlite3_get_autocommit(db)) {
      jet::Throw(
          jet::XACT_E_TransactionExists, jet::kConnectionSource,
          "Only one transaction can be active on this connection; transactions do not nest.");
    }
    const FailureContext context = m_session->Context(StatementKind::Update);
    // SQLite opens a file it may not write (immutable, a read-only mount)
    // read-only and lets the transaction begin; the first write would fail
    // only after the caller has acted on the begin (made a backup, say).
    if (sqlite3_db_readonly(db, "main") == 1)
      throw jet::MapSqliteError(db, SQLITE_READONLY, "attempt to write a readonly database",
                                context);
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
    m_allOrNothing = mode == TransactionMode::AllOrNothing;
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
    Exec(db, "COMMIT", m_session->Context(StatementKind::Update));
    EndTransaction();
  }

  void RollbackTrans() override {
    RequireTransaction("RollbackTrans");
    if (!sqlite3_get_autocommit(m_session->db)) {
      Exec(m_session->db, "ROLLBACK", m_session->Context(StatementKind::Update));
    }
    RemoveLeftJournal();
    EndTransaction();
  }

  void SetBusyTimeout(std::chrono::milliseconds timeout) override {
    m_busyTimeout = std::max(timeout, std::chrono::milliseconds(0));
    if (!m_session) return;
    m_session->busyTimeout = m_busyTimeout;
    sqlite3_busy_timeout(m_session->db, static_cast<int>(m_busyTimeout.count()));
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

  bool AllOrNothing() const { return m_session->inTransaction && m_allOrNothing; }

  // Runs one translated statement that changes the database; returns the
  // rows it changed. A failure is undone by the caller (UndoFailedChange).
  std::int64_t RunChange(jet::Statement& statement) {
    sqlite3* db = m_session->db;
    const FailureContext context = m_session->Context(statement.Kind(), statement.table);
    const bool wholeTransaction = AllOrNothing();
    const auto* update = statement.As<jet::UpdateStatement>();
    // A failure undoes the whole transaction anyway, so an UPDATE need not
    // keep its own undo (a statement journal holding the original of every
    // page it changes again), where OR ROLLBACK changes nothing else.
    const bool rollbackOnConflict =
        update && wholeTransaction &&
        jet::OuterConflictClauseKeepsMeaning(db, statement.table, context);
    StatementHandle prepared =
        Prepare(db,
                rollbackOnConflict
                    ? jet::UpdateSql(statement.table, *update, {jet::OnConflict::Rollback, {}})
                    : statement.sql,
                context);
    jet::CheckSchemaChange(db, statement, context);
    // Statements that take more than one SQLite step are made whole by a
    // savepoint, unless a failure undoes the whole transaction anyway.
    const bool savepoint = !wholeTransaction && !statement.followUps.empty();
    if (savepoint) Exec(db, "SAVEPOINT jet_statement", context);
    m_openSavepoint = savepoint;
    RunToEnd(db, prepared.get(), context);
    const StatementKind kind = statement.Kind();
    const bool rowChanges = kind == StatementKind::Insert || kind == StatementKind::Update ||
                            kind == StatementKind::Delete;
    const std::int64_t changes = rowChanges ? sqlite3_changes(db) : 0;
    prepared.reset();
    for (const auto& sql : statement.followUps) Exec(db, sql, context);
    // Outside a transaction this commits; if that fails the savepoint is undone.
    if (savepoint) Exec(db, "RELEASE jet_statement", context);
    m_openSavepoint = false;
    return changes;
  }

  // UPDATEs of one table, all to be taken through it together, or nullopt
  // when they run one after another: outside an all-or-nothing transaction
  // (undoing one alone would need the others finished), or when one of them
  // cannot run by ranges or fails before it starts (one after another, the
  // failures come in the order the statements have).
  std::optional<std::vector<jet::RangedUpdate>> PlanOnePass(
      std::span<const std::string> commandTexts) {
    if (!AllOrNothing() || commandTexts.size() < 2) return std::nullopt;
    sqlite3* db = m_session->db;
    std::vector<jet::RangedUpdate> updates;
    std::string table;
    try {
      for (const auto& text : commandTexts) {
        jet::Statement statement = jet::Translate(text);
        if (!statement.As<jet::UpdateStatement>()) return std::nullopt;
        if (updates.empty()) table = statement.table;
        if (!jet::EqualsNoCase(statement.table, table)) return std::nullopt;
        const FailureContext context = m_session->Context(statement.Kind(), statement.table);
        jet::CheckSchemaChange(db, statement, context);
        auto ranged = jet::RangedUpdate::Plan(db, statement, context);
        if (!ranged) return std::nullopt;
        updates.push_back(std::move(*ranged));
      }
    } catch (const ComError&) {
      // A failure that ended the transaction (out of memory) is the pass's own.
      if (sqlite3_get_autocommit(db)) throw;
      return std::nullopt;
    }
    return updates;
  }

  // After a failed change: in an all-or-nothing transaction all of it goes
  // (SQLite may have rolled it back already); in another transaction only
  // the statement's own savepoint; outside one, a commit that failed.
  void UndoFailedChange() noexcept {
    sqlite3* db = m_session->db;
    const bool savepoint = m_openSavepoint;
    m_openSavepoint = false;
    if (m_session->inTransaction) {
      if (m_allOrNothing) {
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      } else if (savepoint) {
        // Only this statement is undone; the caller's transaction goes on.
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
  }

  std::string InUseDescription() const {
    return "The database '" + m_session->file +
           "' is in use by another process, which keeps it in write-ahead log mode; close the "
           "other program and try again.";
  }

  // A transaction that SQLite ended in its error state (a page of an
  // encrypted database that failed its check) leaves its journal beside the
  // database. Any journal that SQLite would play back it plays back when the
  // next transaction begins; one left after that holds nothing to undo, and
  // under the write lock no other connection can be writing it, so it goes.
  void RemoveLeftJournal() noexcept {
    sqlite3* db = m_session->db;
    const char* name = sqlite3_db_filename(db, "main");
    if (!sqlite3_get_autocommit(db) || !name || !*name) return;
    const char* journal = sqlite3_filename_journal(name);
    if (!journal || access(journal, F_OK) != 0) return;
    if (sqlite3_exec(db, "BEGIN IMMEDIATE; SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                     nullptr) == SQLITE_OK &&
        !sqlite3_get_autocommit(db)) {
      const int file = open(journal, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      char first = 0;
      const bool unused = file >= 0 && pread(file, &first, 1, 0) >= 0 && first == 0;
      if (file >= 0) close(file);
      if (unused) unlink(journal);
    }
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  // Once the transaction is over, the log goes back on where it was found:
  // the other programs of the database chose it. A failure changes nothing
  // the database holds, so it is not reported.
  void EndTransaction() noexcept {
    m_session->inTransaction = false;
    m_allOrNothing = false;
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
    if (m_session->folderDescriptor >= 0) close(m_session->folderDescriptor);
    m_session.reset();
    m_restoreLog = false;
  }

  std::shared_ptr<Session> m_session;
  bool m_restoreLog = false;     // the database was in WAL mode before the transaction
  bool m_allOrNothing = false;   // the open transaction's mode is AllOrNothing
  bool m_openSavepoint = false;  // a statement's own savepoint is open
  std::chrono::milliseconds m_busyTimeout{jet::kBusyTimeoutMilliseconds};
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
