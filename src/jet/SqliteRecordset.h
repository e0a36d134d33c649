#pragma once
// ADO's forward-only Recordset over one SQLite statement.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Engine.h"
#include "jet/JetErrors.h"
#include "jet/Session.h"
#include "jet/sql/Statement.h"

struct sqlite3_stmt;

namespace mivotra::jet {

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
                  const SelectStatement& translation, FailureContext context);
  ~SqliteRecordset() override;
  SqliteRecordset(const SqliteRecordset&) = delete;
  SqliteRecordset& operator=(const SqliteRecordset&) = delete;

  bool BOF() const override;
  bool EndOfFile() const override;
  Variant Collect(std::string_view columnName) const override;
  void MoveNext() override;
  void Close() override;

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

  std::shared_ptr<Session> m_session;
  StatementHandle m_statement;
  FailureContext m_context;
  std::vector<Column> m_columns;
  bool m_bof = true;
  bool m_eof = true;
};

}  // namespace mivotra::jet
