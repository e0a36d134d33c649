#pragma once
// The database engine: ADO's Connection and Recordset operations over an
// SQLCipher file, with a Jet SQL front end. Every failure is a ComError with
// the HRESULT that ADO or the Jet provider gives for the same fault.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/ComError.h"
#include "jet/Variant.h"

struct sqlite3;

namespace mivotra {

enum ObjectStateEnum : long { adStateClosed = 0, adStateOpen = 1 };
enum SchemaEnum : long { adSchemaTables = 20 };
inline constexpr long adOptionUnspecified = -1;

// A counted reference like a COM smart pointer: a call through an empty one
// raises E_Pointer instead of crashing.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(std::shared_ptr<T> object) : m_object(std::move(object)) {}

  T* operator->() const { return &Get(); }
  T& operator*() const { return Get(); }
  T& Get() const {
    if (!m_object) throw ComError(E_Pointer);
    return *m_object;
  }
  explicit operator bool() const noexcept { return static_cast<bool>(m_object); }
  void Release() noexcept { m_object.reset(); }

 private:
  std::shared_ptr<T> m_object;
};

// What a failing Execute undoes inside a transaction.
enum class TransactionMode {
  // Only its own statement; the transaction goes on (ADO's behaviour).
  UndoEachStatement,
  // All of the transaction: the failure rolls it back, and every later call
  // refuses until the caller ends it. SQLite then keeps no statement journal,
  // which for an UPDATE of a large table is a copy of every page it changes.
  AllOrNothing,
};

class Recordset;
class Connection;
using RecordsetPtr = Ref<Recordset>;
using ConnectionPtr = Ref<Connection>;

// A forward-only, read-only recordset.
class Recordset {
 public:
  virtual ~Recordset() = default;
  // True before the first row; on an empty recordset both BOF and EOF are true.
  virtual bool BOF() const = 0;
  // ADO's EOF property (EOF itself is a C macro, so the usual #import rename is used).
  virtual bool EndOfFile() const = 0;
  // The current row's value of a column, by name without regard to case.
  virtual Variant Collect(std::string_view columnName) const = 0;
  virtual Variant Collect(long ordinal) const = 0;
  virtual long FieldCount() const = 0;
  virtual std::string FieldName(long ordinal) const = 0;
  virtual void MoveNext() = 0;
  virtual void Close() = 0;
  virtual long State() const = 0;
};

class Connection {
 public:
  virtual ~Connection() = default;
  // Opens the database the connection string names; never creates a file.
  virtual void Open(std::string_view connectionString, std::string_view userId = {},
                    std::string_view password = {}, long options = adOptionUnspecified) = 0;
  // Runs one Jet SQL statement. A row-returning statement yields an open
  // recordset, any other a closed one. recordsAffected may be null.
  virtual RecordsetPtr Execute(std::string_view commandText, Variant* recordsAffected,
                               long options = adOptionUnspecified) = 0;
  // Runs statements that change the database with the results of one Execute
  // after another, and returns the rows each changed. In an all-or-nothing
  // transaction, UPDATEs of one table whose every row changes on its own are
  // taken through the table together, a range of rows at a time, so it is
  // read once. On failure `failing` (may be null) holds the index of the
  // statement that failed; when two of such UPDATEs would both fail, the
  // first of them is named, as one Execute after another would.
  virtual std::vector<std::int64_t> ExecuteInOnePass(std::span<const std::string> commandTexts,
                                                     std::size_t* failing) = 0;
  virtual long State() const = 0;
  // adSchemaTables: a row per table and view, columns TABLE_NAME and TABLE_TYPE.
  virtual RecordsetPtr OpenSchema(SchemaEnum schema) = 0;
  virtual void Close() = 0;
  // Nesting level after the begin (always 1: transactions do not nest). The
  // write lock is taken at once. A database in WAL mode has its log written
  // into the file and uses a rollback journal until the transaction ends;
  // when another process has it open that is refused.
  virtual long BeginTrans(TransactionMode mode) = 0;
  long BeginTrans() { return BeginTrans(TransactionMode::UndoEachStatement); }
  // A failure leaves the transaction open when nothing was committed (the
  // caller rolls back); after a failure of SQLite's last step the commit may
  // have been made all the same, which only reading the database tells.
  virtual void CommitTrans() = 0;
  virtual void RollbackTrans() = 0;
  // While a transaction is open, SQLite may roll it back by itself after a
  // failure (out of memory, I/O error, full disk); every later Execute,
  // OpenSchema and MoveNext then fails until it is committed or rolled back.

  // How long a statement waits for another process's lock before it fails
  // (5 seconds unless set); for this connection, open or not.
  virtual void SetBusyTimeout(std::chrono::milliseconds timeout) = 0;

  // The descriptor through which the engine reads and writes the open
  // database file (-1 when closed or unknown), so that a copy reads exactly
  // the file the engine works on. Never close it: closing any descriptor of
  // the file drops the whole process's locks on it.
  virtual int DatabaseFileDescriptor() const = 0;
  // The file the open connection works on (empty when closed).
  virtual std::string DataSource() const = 0;
};

// Creates an unopened connection. Reports failure by its result, never by
// throwing, as CoCreateInstance does.
HRESULT CreateConnection(ConnectionPtr& connection) noexcept;

}  // namespace mivotra
