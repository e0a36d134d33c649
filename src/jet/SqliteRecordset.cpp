#include "jet/SqliteRecordset.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "base/Translate.h"
#include "jet/SqliteSchema.h"
#include "jet/sql/SqlText.h"

namespace mivotra::jet {
namespace {

using schema::ColumnText;

[[noreturn]] void ThrowRecordset(HRESULT code, std::string description) {
  Throw(code, kRecordsetSource, std::move(description));
}

Variant ReadValue(sqlite3_stmt* statement, int column) {
  // By the value's storage class, as the version and the table names are
  // read: a version stored as a number reads as one (and shows as "1.1").
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER: {
      const sqlite3_int64 value = sqlite3_column_int64(statement, column);
      if (value >= std::numeric_limits<std::int32_t>::min() &&
          value <= std::numeric_limits<std::int32_t>::max()) {
        return Variant::I4(static_cast<std::int32_t>(value));
      }
      return Variant::R8(static_cast<double>(value));
    }
    case SQLITE_FLOAT:
      return Variant::R8(sqlite3_column_double(statement, column));
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
      return Variant::Bstr(std::string(
          bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column))));
    }
    case SQLITE_NULL:
      return Variant::Null();
    default:
      return Variant::Bstr(ColumnText(statement, column));
  }
}

}  // namespace

SqliteRecordset::SqliteRecordset(std::shared_ptr<Session> session, StatementHandle statement,
                                 FailureContext context)
    : m_session(std::move(session)),
      m_statement(std::move(statement)),
      m_context(std::move(context)) {
  sqlite3_stmt* s = m_statement.get();
  const int count = sqlite3_column_count(s);
  m_columns.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(s, i);
    m_columns.push_back(FoldCase(name ? name : ""));
  }
  Step();
  m_bof = m_eof;
  m_session->recordsets.push_back(this);
}

SqliteRecordset::~SqliteRecordset() {
  Detach();
}

void SqliteRecordset::Detach() noexcept {
  if (m_session) {
    auto& list = m_session->recordsets;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  m_statement.reset();
  m_session.reset();
}

void SqliteRecordset::Step() {
  sqlite3_stmt* s = m_statement.get();
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    m_eof = false;
    return;
  }
  m_eof = true;
  // Resetting at the end releases the read lock while the recordset stays open.
  sqlite3_reset(s);
  if (rc != SQLITE_DONE) {
    throw MapSqliteError(m_session->db, rc, sqlite3_errmsg(m_session->db), m_context);
  }
}

void SqliteRecordset::RequireOpen() const {
  if (!m_statement)
    ThrowRecordset(ADO_E_ObjectClosed,
                   Tr("engine", "Operation is not allowed when the object is closed."));
}

void SqliteRecordset::RequireCurrentRow() const {
  RequireOpen();
  if (m_eof) {
    ThrowRecordset(ADO_E_NoCurrentRecord,
                   Tr("engine",
                      "Either BOF or EOF is True, or the current record has been deleted. "
                      "Requested operation requires a current record."));
  }
}

bool SqliteRecordset::BOF() const {
  RequireOpen();
  return m_bof;
}

bool SqliteRecordset::EndOfFile() const {
  RequireOpen();
  return m_eof;
}

Variant SqliteRecordset::Collect(std::string_view columnName) const {
  RequireOpen();
  const std::string folded = FoldCase(columnName);
  for (std::size_t i = 0; i < m_columns.size(); ++i) {
    if (m_columns[i] != folded) continue;
    RequireCurrentRow();
    return ReadValue(m_statement.get(), static_cast<int>(i));
  }
  ThrowRecordset(ADO_E_ItemNotFound, Format(Tr("engine",
                                               "Item '%1' cannot be found in the collection "
                                               "corresponding to the requested name or ordinal."),
                                            {columnName}));
}

void SqliteRecordset::MoveNext() {
  RequireCurrentRow();
  m_session->RequireLiveTransaction();
  Step();
}

void SqliteRecordset::Close() {
  RequireOpen();
  Detach();
}

}  // namespace mivotra::jet
