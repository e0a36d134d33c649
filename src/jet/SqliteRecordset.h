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

struct sqlite3_stmt;

namespace mivotra::jet {

class SqliteRecordset final : public Recordset {
 public:
  // A closed recordset: what Execute returns for statements without rows.
  SqliteRecordset() = default;
  // Reads the first row at once, so BOF and EOF are known and a failing
  // query fails in Execute.
  SqliteRecordset(std::shared_ptr<Session> session, StatementHandle statement,
                  FailureContext context);
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
  void Step();
  void RequireOpen() const;
  void RequireCurrentRow() const;

  std::shared_ptr<Session> m_session;
  StatementHandle m_statement;
  FailureContext m_context;
  std::vector<std::string> m_columns;  // the names, case folded
  bool m_bof = true;
  bool m_eof = true;
};

}  // namespace mivotra::jet
