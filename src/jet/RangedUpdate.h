#pragma once
// UPDATEs of one table taken through it together, one range of rowids at a
// time: each range goes through every update, in their order, before the
// next range is read, so the table is read and written once instead of once
// for each update. On an encrypted database that is every page decrypted and
// encrypted again once less.
//
// The result must be that of the updates run whole, one after another. A
// plan is made only where no row's change can depend on another row, and a
// pass that meets any failure is undone, so that the caller runs the updates
// whole and the failure is exactly theirs.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/JetErrors.h"
#include "jet/Session.h"
#include "jet/sql/Statement.h"

struct sqlite3;

namespace mivotra::jet {

class RangedUpdate {
 public:
  // The most rows one range can hold (its rowids are consecutive).
  static constexpr std::int64_t kRangeRows = 4096;

  // A plan when the table spans more than one range, SQLite would scan all
  // of it anyway, and splitting cannot change the result: every expression
  // reads only its own row; no assigned column is a key, in a unique or
  // partial unique index, or on either side of a relationship; the table
  // has no trigger and no conflict handling of its own. Otherwise nullopt,
  // and the statement runs whole.
  static std::optional<RangedUpdate> Plan(sqlite3* db, const Statement& statement,
                                          const FailureContext& context);

  // Applies the updates, each range in rowid order through all of them.
  // Returns the rows each changed; nullopt when a failure stopped the pass
  // and all of it was undone (the caller then runs the updates whole). When
  // SQLite ended the transaction itself, the failure is thrown, and
  // `failing` names the update that was running.
  static std::optional<std::vector<std::int64_t>> RunTogether(sqlite3* db,
                                                              std::span<RangedUpdate> updates,
                                                              std::size_t* failing);

  // Held while a pass is planned and run: SQLite checks that every cell of a
  // page lies inside it when it reads the page. A damaged leaf then fails
  // the pass, and the updates run whole, where a range's seek could have
  // passed over its cells. Off again for the whole updates, which read
  // pages exactly as SQLite always does.
  class CheckedPages {
   public:
    explicit CheckedPages(sqlite3* db);
    ~CheckedPages();
    CheckedPages(const CheckedPages&) = delete;
    CheckedPages& operator=(const CheckedPages&) = delete;

   private:
    sqlite3* m_db;
  };

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
