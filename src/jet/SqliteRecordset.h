#pragma once
// ADO's forward-only Recordset over one SQLite statement, and the database
// session that a connection and its recordsets share.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Engine.h"
#include "jet/JetErrors.h"
#include "jet/sql/JetSql.h"

struct sqlite3;
struct sqlite3_stmt;

namespace mivotra::jet {

class SqliteRecordset;

// The open database. The connection closes it; recordsets still reading
// are closed first, as ADO closes them with their connection.
struct Session {
  sqlite3* db = nullptr;
  std::string file;
  // SQLite's own descriptor of the file, -1 when it could not be found.
  int fileDescriptor = -1;
  bool encrypted = false;
  // Between BeginTrans and its commit or rollback.
  bool inTransaction = false;
  std::vector<SqliteRecordset*> recordsets;

  // SQLite rolls a whole transaction back by itself after some failures
  // (out of memory, I/O errors, a full disk) in a statement that has no
  // statement journal. Whatever ran next would run outside it, without its
  // lock and without its undo, so every call refuses until the caller ends it.
  void RequireLiveTransaction() const;
};

// What the engine says when SQLite ended a transaction on its own.
inline constexpr std::string_view kTransactionLost =
    "The transaction was rolled back after an earlier failure: none of its changes were kept, "
    "and nothing more runs in it until it is ended.";

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const noexcept;
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Every statement the engine runs goes through these two: a failure becomes
// the mapped ComError, named by `context`.
StatementHandle Prepare(sqlite3* db, std::string_view sql, const FailureContext& context);
void RunToEnd(sqlite3* db, sqlite3_stmt* statement, const FailureContext& context);

// The variant of one result value, by the column's declared Jet type, else by
// the hint the translation gave, else by the value's storage class.
Variant ReadValue(sqlite3_stmt* statement, int column, VARTYPE declared, ColumnHint hint);

class SqliteRecordset final : public Recordset {
 public:
  // A closed recordset: what Execute returns for statements without rows.
  SqliteRecordset() = default;
  // Reads the first row at once, so BOF and EOF are known and a failing
  // query fails in Execute.
  SqliteRecordset(std::shared_ptr<Session> session, StatementHandle statement,
                  const Statement& translation, FailureContext context);
  ~SqliteRecordset() override;
  SqliteRecordset(const SqliteRecordset&) = delete;
  SqliteRecordset& operator=(const SqliteRecordset&) = delete;

  bool BOF() const override;
  bool EndOfFile() const override;
  Variant Collect(std::string_view columnName) const override;
  Variant Collect(long ordinal) const override;
  long FieldCount() const override;
  std::string FieldName(long ordinal) const override;
  void MoveNext() override;
  void Close() override;
  long State() const override { return m_statement ? adStateOpen : adStateClosed; }

  // The connection is closing.
  void Detach() noexcept;

 private:
  struct Column {
    std::string name;
    std::string folded;
    VARTYPE declared = VT_EMPTY;
    ColumnHint hint = ColumnHint::None;
  };

  void Step();
  void RequireOpen() const;
  void RequireCurrentRow() const;
  // An open recordset with a column at that position.
  void RequireOrdinal(long ordinal) const;
  std::vector<std::string> SortKeys() const;

  std::shared_ptr<Session> m_session;
  StatementHandle m_statement;
  FailureContext m_context;
  std::vector<Column> m_columns;  // the visible ones
  bool m_bof = true;
  bool m_eof = true;
  std::int64_t m_rowNumber = 0;
  std::optional<std::int64_t> m_top;
  int m_hiddenColumns = 0;
};

}  // namespace mivotra::jet
