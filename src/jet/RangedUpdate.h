#pragma once
// An UPDATE of a large table applied one range of rowids at a time.
//
// SQLite 3.15 runs an UPDATE whose condition uses no index in two passes: the
// first collects the rowid of every row to change (about 24 bytes a row), the
// second changes them, reading each page again long after the cache dropped
// it. Over tens of millions of rows that is hundreds of MB of memory and twice
// the reading. A range at a time, the memory stays fixed and the second pass
// finds the range's pages still cached. The caller makes the statement all or
// nothing: a savepoint over all ranges, or a transaction that a failure ends.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/JetErrors.h"
#include "jet/Session.h"
#include "jet/sql/JetSql.h"
#include "jet/sql/Statement.h"

struct sqlite3;

namespace mivotra::jet {

class RangedUpdate {
 public:
  // The most rows one range can hold (its rowids are consecutive).
  static constexpr std::int64_t kRangeRows = 4096;

  // A plan when the table spans more than one range, SQLite would scan all of
  // it anyway, and splitting cannot change the statement's result: every
  // expression reads only its own row, no key column is assigned, no other
  // row depends on an assigned column (relationships, triggers). Otherwise
  // nullopt, and the statement runs whole.
  static std::optional<RangedUpdate> Plan(sqlite3* db, const Statement& statement,
                                          OnConflict conflict, const FailureContext& context);

  // Applies every range in rowid order, the order SQLite's second pass takes;
  // returns the rows changed.
  std::int64_t Run();

  // Updates of one table in one pass: each range goes through every update,
  // in their order, before the next range is read. As each row's change
  // depends on that row alone, every row ends as if the updates had run one
  // after another, and the table is read once. Returns the rows each changed.
  // The error thrown is the one the first update to fail (in their order)
  // meets first, as one after another: planned OR FAIL, an update that fails
  // leaves the transaction to the caller's rollback, and the ones before it
  // go on through the rest of the table. When SQLite ended the transaction
  // itself, the error is the running update's. `failing` names the update.
  static std::vector<std::int64_t> RunTogether(std::span<RangedUpdate> updates,
                                               std::size_t* failing);

 private:
  RangedUpdate(sqlite3* db, FailureContext context, StatementHandle firstRow,
               StatementHandle update);
  // The smallest rowid at or above `low`.
  std::optional<std::int64_t> FirstRowAtOrAbove(std::int64_t low);
  // The rows changed among those with rowids from low to high.
  std::int64_t ApplyRange(std::int64_t low, std::int64_t high);

  sqlite3* m_db;
  FailureContext m_context;
  StatementHandle m_firstRow;
  StatementHandle m_update;
};

}  // namespace mivotra::jet
