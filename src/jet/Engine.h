#pragma once
// The database engine: ADO's Connection and Recordset operations over an
// SQLCipher file, with a Jet SQL front end. Every failure is a ComError with
// the HRESULT that ADO or the Jet provider gives for the same fault.

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
  virtual void MoveNext() = 0;
  virtual void Close() = 0;
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
  // after another, and returns the rows each changed. In a transaction,
  // UPDATEs of one table whose every row changes on its own are taken
  // through the table together, a range of rows at a time, so it is read
  // once. On failure `failing` (may be null) holds the index of the
  // statement that failed; when two of such UPDATEs would both fail, the
  // first of them is named, as one Execute after another would.
  virtual std::vector<std::int64_t> ExecuteInOnePass(std::span<const std::string> commandTexts,
                                                     std::size_t* failing) = 0;
  virtual long State() const = 0;
  // adSchemaTables: a row per table and view, columns TABLE_NAME and TABLE_TYPE.
  virtual RecordsetPtr OpenSchema(SchemaEnum schema) = 0;
  virtual void Close() = 0;
  // Begins the one transaction, taking the write lock at once: no other
  // process can change the file until it ends. A statement that fails in it
  // undoes all of it, so SQLite keeps no statement journal (for an UPDATE of
  // a large table, a copy of every page it changes); every later call then
  // refuses until the caller ends it. Returns the nesting level, 1.
  virtual long BeginTrans() = 0;
  // A failure leaves the transaction open when nothing was committed (the
  // caller rolls back); after a failure of SQLite's last step the commit may
  // have been made all the same, which only reading the database tells.
  virtual void CommitTrans() = 0;
  virtual void RollbackTrans() = 0;
  // SQLite may also roll the transaction back by itself after a failure
  // (out of memory, I/O error, full disk); every later Execute, OpenSchema
  // and MoveNext then fails until it is committed or rolled back.

  // True when the open database cannot be written (an immutable file, a
  // read-only mount): SQLite opens it all the same, and only the first write fails.
  virtual bool ReadOnly() const = 0;
  // SQLite's journal mode of the open database ("delete", "wal", ...).
  virtual std::string JournalMode() = 0;
  // Sets the journal mode; false when SQLite kept the old one because
  // another connection has the database open (it answers at once, without
  // waiting). Other failures raise ComError.
  virtual bool SetJournalMode(std::string_view mode) = 0;

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
