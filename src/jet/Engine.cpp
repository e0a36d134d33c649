#include "jet/Engine.h"

#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/Translate.h"
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

[[noreturn]] void ThrowConnection(HRESULT code, std::string description) {
  jet::Throw(code, jet::kConnectionSource, std::move(description));
}

class EngineConnection final : public Connection {
 public:
  EngineConnection() = default;
  EngineConnection(const EngineConnection&) = delete;
  EngineConnection& operator=(const EngineConnection&) = delete;
  ~EngineConnection() override { CloseDatabase(); }

  void Open(std::string_view connectionString, std::string_view, std::string_view, long) override {
    if (m_session)
      ThrowConnection(ADO_E_ObjectOpen,
                      Tr("engine", "Operation is not allowed when the object is open."));
    const auto properties = ParseConnectionString(connectionString);
    auto property = [&properties](const char* key) {
      const auto found = properties.find(key);
      return found == properties.end() ? std::string() : found->second;
    };
    if (!jet::EqualsNoCase(property("provider"), kProvider)) {
      ThrowConnection(ADO_E_ProviderNotFound,
                      Tr("engine", "Provider cannot be found. It may not be properly installed."));
    }
    m_session =
        jet::OpenSqliteDatabase(property("data source"), property("jet oledb:database password"));
  }

  RecordsetPtr Execute(std::string_view commandText, Variant* recordsAffected, long) override {
    RequireOpen();
    m_session->RequireLiveTransaction();
    bool changes = true;
    try {
      const auto statement = std::make_shared<const jet::Statement>(jet::Translate(commandText));
      if (statement->Kind() == StatementKind::Select) {
        changes = false;
        const FailureContext context = ContextOf(statement);
        auto recordset = std::make_shared<SqliteRecordset>(
            m_session, Prepare(m_session->db, statement->sql, context), context);
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
        changes.push_back(
            RunChange(std::make_shared<const jet::Statement>(jet::Translate(commandTexts[index]))));
      }
      return changes;
    } catch (...) {
      if (failing) *failing = index;
      UndoFailedChange();
      throw;
    }
  }

  long State() const override { return m_session ? adStateOpen : adStateClosed; }

  RecordsetPtr OpenSchema(SchemaEnum) override {
    RequireOpen();
    m_session->RequireLiveTransaction();
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
    return RecordsetPtr(std::make_shared<SqliteRecordset>(
        m_session, Prepare(m_session->db, kSql, context), context));
  }

  // A transaction still open is rolled back with the close.
  void Close() override {
    RequireOpen();
    CloseDatabase();
  }

  long BeginTrans() override {
    RequireOpen();
    // IMMEDIATE takes the write lock now, so no other process can change the
    // file between the begin and the commit.
    Exec(m_session->db, "BEGIN IMMEDIATE", m_session->Context(StatementKind::Update));
    m_session->inTransaction = true;
    return 1;
  }

  void CommitTrans() override {
    RequireOpen();
    sqlite3* db = m_session->db;
    if (sqlite3_get_autocommit(db)) {
      m_session->inTransaction = false;
      jet::ThrowEngine(E_Fail, jet::TransactionLost());
    }
    // A failure leaves the transaction open when SQLite kept it (another
    // process still reading), and the caller rolls back. SQLite may also
    // report a failure of its last step after the journal is gone, when the
    // commit was in fact made: only reading the database tells.
    Exec(db, "COMMIT", m_session->Context(StatementKind::Update));
    m_session->inTransaction = false;
  }

  void RollbackTrans() override {
    RequireOpen();
    if (!sqlite3_get_autocommit(m_session->db)) {
      Exec(m_session->db, "ROLLBACK", m_session->Context(StatementKind::Update));
    }
    RemoveLeftJournal();
    m_session->inTransaction = false;
  }

  bool ReadOnly() const override {
    RequireOpen();
    return sqlite3_db_readonly(m_session->db, "main") == 1;
  }

  std::string JournalMode() override {
    RequireOpen();
    return FirstText(m_session->db, "PRAGMA journal_mode",
                     m_session->Context(StatementKind::Update));
  }

  bool SetJournalMode(std::string_view mode) override {
    RequireOpen();
    sqlite3* db = m_session->db;
    const std::string sql = "PRAGMA journal_mode = " + std::string(mode);
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if ((rc & 0xFF) == SQLITE_BUSY) return false;
    const jet::FailureContext context = m_session->Context(StatementKind::Update);
    if (rc != SQLITE_OK) throw jet::MapSqliteError(db, rc, sqlite3_errmsg(db), context);
    return jet::EqualsNoCase(FirstText(db, "PRAGMA journal_mode", context), mode);
  }

  int DatabaseFileDescriptor() const override { return m_session ? m_session->fileDescriptor : -1; }

  std::string DataSource() const override { return m_session ? m_session->file : std::string(); }

 private:
  void RequireOpen() const {
    if (!m_session)
      ThrowConnection(ADO_E_ObjectClosed,
                      Tr("engine", "Operation is not allowed when the object is closed."));
  }

  // Runs one translated statement that changes the database; returns the
  // rows it changed. A failure is undone by the caller (UndoFailedChange).
  FailureContext ContextOf(const std::shared_ptr<const jet::Statement>& statement) const {
    FailureContext context = m_session->Context(statement->Kind(), statement->table);
    context.statement = statement;
    return context;
  }

  std::int64_t RunChange(const std::shared_ptr<const jet::Statement>& translated) {
    const jet::Statement& statement = *translated;
    sqlite3* db = m_session->db;
    const FailureContext context = ContextOf(translated);
    const auto* update = statement.As<jet::UpdateStatement>();
    // A failure undoes the whole transaction anyway, so an UPDATE need not
    // keep its own undo (a statement journal holding the original of every
    // page it changes again), where OR ROLLBACK changes nothing else.
    const bool rollbackOnConflict =
        update && m_session->inTransaction &&
        jet::OuterConflictClauseKeepsMeaning(db, statement.table, context);
    StatementHandle prepared =
        Prepare(db,
                rollbackOnConflict
                    ? jet::UpdateSql(statement.table, *update, {jet::OnConflict::Rollback, {}})
                    : statement.sql,
                context);
    jet::CheckSchemaChange(db, statement, context);
    RunToEnd(db, prepared.get(), context);
    const StatementKind kind = statement.Kind();
    return kind == StatementKind::Insert || kind == StatementKind::Update ? sqlite3_changes(db) : 0;
  }

  // UPDATEs of one table, all to be taken through it together, or nullopt
  // when they run one after another: outside the transaction (undoing one
  // alone would need the others finished), or when one of them
  // cannot run by ranges or fails before it starts (one after another, the
  // failures come in the order the statements have).
  std::optional<std::vector<jet::RangedUpdate>> PlanOnePass(
      std::span<const std::string> commandTexts) {
    if (!m_session->inTransaction || commandTexts.size() < 2) return std::nullopt;
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

  // After a failed change all of the transaction goes (SQLite may have
  // rolled it back already). Outside one, a commit that failed (another
  // process still reading) leaves the transaction open; undoing all of it
  // needs no lock and cannot fail for the same reason, so the connection
  // never stays in a transaction nobody began.
  void UndoFailedChange() noexcept {
    if (!sqlite3_get_autocommit(m_session->db))
      sqlite3_exec(m_session->db, "ROLLBACK", nullptr, nullptr, nullptr);
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

  void CloseDatabase() noexcept {
    if (!m_session) return;
    // Recordsets close with their connection, as in ADO.
    while (!m_session->recordsets.empty()) m_session->recordsets.back()->Detach();
    sqlite3_close_v2(m_session->db);
    m_session->db = nullptr;
    if (m_session->folderDescriptor >= 0) close(m_session->folderDescriptor);
    m_session.reset();
  }

  std::shared_ptr<Session> m_session;
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
