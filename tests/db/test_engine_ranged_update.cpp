// An UPDATE over many rows is applied a range of rows at a time. These tests
// hold that to SQLite running the same statement whole on a copy of the same
// file, to all or nothing when a late row fails, and to its fixed memory.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "DatabaseHelpers.h"
#include "EngineTesting.h"
#include "jet/RangedUpdate.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kRange = jet::RangedUpdate::kRangeRows;

// A connection straight to SQLite, for setting up what Jet SQL cannot write
// and for the reference result.
class RawDatabase {
 public:
  explicit RawDatabase(const fs::path& file) {
    if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      throw std::runtime_error("cannot open " + file.string());
    }
    Exec("PRAGMA foreign_keys = ON");
  }
  ~RawDatabase() { sqlite3_close(m_db); }
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  // Runs the statements; returns the rows the last one changed.
  long long Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error ? error : "unknown";
      sqlite3_free(error);
      throw std::runtime_error(message + " in " + sql);
    }
    return sqlite3_changes(m_db);
  }

 private:
  sqlite3* m_db = nullptr;
};

// `count` rows numbered from 1, each `step` apart, starting at `first`.
std::string Fill(const std::string& table, long long count, long long first = 1,
                 long long step = 1) {
  return "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
         std::to_string(count - 1) + ") INSERT INTO " + table +
         " (id, kodan, rate, upper, lower, name) SELECT " + std::to_string(first) + " + i * " +
         std::to_string(step) +
         ", i % 3 + 1, i / 3 % 2 + 1, i % 4 + 1, i / 4 % 4 + 1, 'row ' || i FROM n";
}

class RangedUpdates : public ::testing::Test {
 protected:
  void SetUp() override {
    file = dir / "data.mdb";
    db = Create(file);
    Exec(*db,
         "CREATE TABLE t (id COUNTER PRIMARY KEY, kodan INTEGER NOT NULL, rate INTEGER NOT NULL, "
         "upper INTEGER NOT NULL, lower INTEGER NOT NULL, name VARCHAR(12))");
  }

  // The Jet statement through the engine here, the SQLite statement straight
  // through SQLite on a copy: the same rows after, the same count.
  void ExpectSameAsWhole(const std::string& jetSql, const std::string& sqliteSql) {
    const fs::path copy = dir / "copy.mdb";
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    long long expected = 0;
    {
      RawDatabase raw(copy);
      expected = raw.Exec(sqliteSql);
    }
    Variant affected;
    db->Execute(jetSql, &affected);
    EXPECT_EQ(affected.vt, VT_I4);
    EXPECT_EQ(affected.lVal, expected) << jetSql;
    EXPECT_EQ(DatabaseFingerprint(file), DatabaseFingerprint(copy)) << jetSql;
  }

  TempDir dir;
  fs::path file;
  ConnectionPtr db;
};

TEST_F(RangedUpdates, GiveTheRowsAndCountOfTheWholeStatement) {
  {
    RawDatabase raw(file);
    // Dense ids over many ranges, then ids far apart and below zero, so
    // ranges start at rows that exist and skip what lies between.
    raw.Exec(Fill("t", 10 * kRange + 17));
    raw.Exec(Fill("t", 40, 1'000'000'000, 3 * kRange + 1));
    raw.Exec(Fill("t", 5, -9'000'000'000'000'000'000LL, 1));
    raw.Exec(Fill("t", 3, 9'223'372'036'854'775'805LL, 1));
  }
  ExpectSameAsWhole("UPDATE t SET rate = 1 WHERE kodan = 2 AND rate <> 1",
                    "UPDATE t SET rate = 1 WHERE kodan = 2 AND rate <> 1");
  ExpectSameAsWhole(
      "UPDATE t SET upper = lower, name = name & '+' WHERE kodan = 2 AND upper <> lower",
      "UPDATE t SET upper = lower, name = name || '+' WHERE kodan = 2 AND upper <> lower");
  ExpectSameAsWhole("UPDATE t SET lower = lower + 1", "UPDATE t SET lower = lower + 1");
  ExpectSameAsWhole("UPDATE t SET lower = 0 WHERE kodan = 7",
                    "UPDATE t SET lower = 0 WHERE kodan = 7");
}

TEST_F(RangedUpdates, FindTheRowidUnderAnyOfItsNames) {
  // A field named rowid hides SQLite's rowid of that name; one without rowids has none.
  Exec(*db,
       "CREATE TABLE s (id COUNTER PRIMARY KEY, [rowid] INTEGER, [oid] INTEGER, kodan INTEGER, "
       "rate INTEGER, upper INTEGER, lower INTEGER, name VARCHAR(12))");
  {
    RawDatabase raw(file);
    raw.Exec(Fill("s", 3 * kRange));
    // Ranges over the field would miss its Nulls.
    raw.Exec("UPDATE s SET rowid = CASE WHEN id % 2 = 1 THEN id END, oid = rowid");
    raw.Exec(
        "CREATE TABLE w (id INTEGER PRIMARY KEY, kodan INTEGER, rate INTEGER, upper INTEGER, "
        "lower INTEGER, name TEXT) WITHOUT ROWID");
    raw.Exec(Fill("w", 3 * kRange));
  }
  ExpectSameAsWhole("UPDATE s SET rate = rate + 1 WHERE kodan <> 2",
                    "UPDATE s SET rate = rate + 1 WHERE kodan <> 2");
  ExpectSameAsWhole("UPDATE w SET rate = rate + 1 WHERE kodan <> 2",
                    "UPDATE w SET rate = rate + 1 WHERE kodan <> 2");
}

TEST_F(RangedUpdates, WhatASplitWouldChangeRunsWhole) {
  {
    RawDatabase raw(file);
    raw.Exec(Fill("t", 4 * kRange));
  }
  // Each row must move once, not again when a later range meets it.
  ExpectSameAsWhole("UPDATE t SET id = id + 100000", "UPDATE t SET id = id + 100000");
  // The condition reads other rows: later ranges would see earlier changes.
  ExpectSameAsWhole("UPDATE t SET rate = rate + 1000 WHERE rate < (SELECT avg(rate) FROM t)",
                    "UPDATE t SET rate = rate + 1000 WHERE rate < (SELECT avg(rate) FROM t)");
  // A trigger of someone else's may change a row a later range would match.
  {
    RawDatabase raw(file);
    raw.Exec(
        "CREATE TRIGGER t_move AFTER UPDATE ON t BEGIN UPDATE t SET kodan = 9 WHERE id = NEW.id + " +
        std::to_string(3 * kRange) + "; END");
  }
  ExpectSameAsWhole("UPDATE t SET lower = lower + 10 WHERE kodan = 1",
                    "UPDATE t SET lower = lower + 10 WHERE kodan = 1");
}

TEST_F(RangedUpdates, ARelationshipToAnAssignedColumnKeepsItsStatementWhole) {
  // Codes fall as ids rise; shifting every code up by one passes through a
  // moment, between two rows, where some detail row has no master row. Only
  // the end of the statement may be checked, as for the statement run whole.
  Exec(
      *db,
      "CREATE TABLE master (id COUNTER PRIMARY KEY, code INTEGER NOT NULL CONSTRAINT uq_code UNIQUE)");
  Exec(*db,
       "CREATE TABLE detail (id COUNTER PRIMARY KEY, code INTEGER NOT NULL CONSTRAINT fk_code "
       "REFERENCES master (code))");
  const long long rows = 3 * kRange;
  {
    RawDatabase raw(file);
    raw.Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
             std::to_string(rows) + ") INSERT INTO master (id, code) SELECT i, " +
             std::to_string(rows + 1) + " - i FROM n");
    raw.Exec("INSERT INTO detail (code) SELECT code FROM master WHERE code > 1");
    raw.Exec("CREATE INDEX detail_code ON detail (code)");
  }
  ExpectSameAsWhole("UPDATE master SET code = code + 1", "UPDATE master SET code = code + 1");
}

TEST_F(RangedUpdates, AFailureInALateRangeUndoesTheEarlierOnes) {
  {
    RawDatabase raw(file);
    raw.Exec(Fill("t", 6 * kRange));
    // Twelve characters already: one more breaks the text limit, in the last range.
    raw.Exec("UPDATE t SET name = 'twelve chars' WHERE id = " + std::to_string(6 * kRange - 3));
  }
  const std::string before = DatabaseFingerprint(file);
  const std::string statement = "UPDATE t SET name = name & 'x', lower = lower + 1";

  const ComError alone = ErrorOf([&] { Exec(*db, statement); });
  EXPECT_NE(alone.Error(), S_Ok);
  EXPECT_TRUE(Contains(alone.Description(), "name")) << alone.Description();
  EXPECT_EQ(DatabaseFingerprint(file), before);

  // Inside a transaction only the statement is undone; the transaction goes on.
  db->BeginTrans();
  Exec(*db, "UPDATE t SET rate = 9 WHERE id = 1");
  EXPECT_NE(ErrorOf([&] { Exec(*db, statement); }).Error(), S_Ok);
  Exec(*db, "UPDATE t SET rate = 8 WHERE id = 2");
  db->CommitTrans();
  EXPECT_EQ(Rows(*db, "SELECT rate FROM t WHERE id <= 3 ORDER BY id"),
            (std::vector<std::string>{"9", "8", "1"}));
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM t WHERE name LIKE '*x'").lVal, 0);
}

TEST_F(RangedUpdates, NeedNoMoreMemoryForMoreRows) {
  // 300,000 matching rows: collecting their rowids (as SQLite before 3.18
  // did for a whole statement) would take over 7 MB; a range at a time
  // needs a fixed few.
  {
    RawDatabase raw(file);
    raw.Exec(Fill("t", 300'000));
  }
  const std::string statement = "UPDATE t SET rate = rate + 1, upper = lower WHERE kodan > 0";
  // The cache fills first, so what grows is the statement's own.
  EXPECT_EQ(Scalar(*db, "SELECT count(name) FROM t").lVal, 300'000);
  const sqlite3_int64 before = sqlite3_memory_used();
  sqlite3_memory_highwater(1);
  Exec(*db, statement);
  const sqlite3_int64 ranged = sqlite3_memory_highwater(0) - before;
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM t WHERE rate >= 2 AND upper = lower").lVal, 300'000);
  EXPECT_LT(ranged, 2'000'000);
}

// UPDATEs of one table handed over together: in an all-or-nothing
// transaction the engine takes them through the table in one pass.
class OnePass : public RangedUpdates {
 protected:
  void SetUp() override {
    RangedUpdates::SetUp();
    RawDatabase raw(file);
    raw.Exec(Fill("t", 5 * kRange + 17));
    raw.Exec(Fill("t", 40, 1'000'000'000, 3 * kRange + 1));
    // Twelve characters already: one more breaks the text limit, in the last range.
    raw.Exec("UPDATE t SET name = 'twelve chars' WHERE id = " + std::to_string(lateRow));
  }

  const long long lateRow = 5 * kRange;
  // "+ 0": found by a scan, as only a scan runs by ranges.
  const std::string breaksLateRow =
      "UPDATE t SET name = name & 'x' WHERE id + 0 >= " + std::to_string(lateRow) +
      " AND id + 0 < 1000000000";
};

TEST_F(OnePass, LeavesEveryRowAsOneStatementAfterAnotherWould) {
  // Each reads what the one before it wrote.
  const std::vector<std::string> statements = {
      "UPDATE t SET rate = rate + 1 WHERE kodan = 2",
      "UPDATE t SET upper = rate * 10 + lower WHERE rate > 1",
      "UPDATE t SET kodan = 3, lower = upper WHERE upper > 20"};
  const fs::path copy = dir / "copy.mdb";
  fs::copy_file(file, copy);
  std::vector<std::int64_t> expected;
  {
    RawDatabase raw(copy);
    for (const auto& statement : statements) expected.push_back(raw.Exec(statement));
  }
  ASSERT_GT(expected[2], kRange) << "the statements must reach many ranges";

  db->BeginTrans(TransactionMode::AllOrNothing);
  std::size_t failing = 99;
  EXPECT_EQ(db->ExecuteInOnePass(statements, &failing), expected);
  db->CommitTrans();
  EXPECT_EQ(DatabaseFingerprint(file), DatabaseFingerprint(copy));
}

TEST_F(OnePass, AFailureNamesItsStatementAndUndoesTheWholeTransaction) {
  const std::string before = DatabaseFingerprint(file);
  struct Case {
    std::vector<std::string> statements;
    std::size_t failing;
  };
  // The second breaks the first range, the first only the last: one after
  // another, the first fails.
  const std::string breaksFirstRange = "UPDATE t SET name = name & 'xxxxx' WHERE kodan = 1";
  for (const Case& c : {Case{{"UPDATE t SET rate = rate + 1", breaksLateRow}, 1},
                        Case{{breaksLateRow, "UPDATE t SET rate = rate + 1"}, 0},
                        Case{{breaksLateRow, breaksFirstRange}, 0}}) {
    SCOPED_TRACE(c.statements[c.failing]);
    db->BeginTrans(TransactionMode::AllOrNothing);
    Exec(*db, "UPDATE t SET lower = 0 WHERE id = 1");
    std::size_t failing = 99;
    const ComError error = ErrorOf([&] { db->ExecuteInOnePass(c.statements, &failing); });
    EXPECT_TRUE(Contains(error.Description(), "name")) << error.Description();
    EXPECT_EQ(failing, c.failing);
    // Nothing more runs in it, and ending it is all that is left.
    EXPECT_TRUE(Contains(ErrorOf([&] { Exec(*db, "UPDATE t SET rate = 7"); }).Description(),
                         "rolled back"));
    db->RollbackTrans();
    EXPECT_EQ(DatabaseFingerprint(file), before);
  }

  // One Execute fails the same way.
  db->BeginTrans(TransactionMode::AllOrNothing);
  Exec(*db, "UPDATE t SET lower = 0 WHERE id = 1");
  EXPECT_NE(ErrorOf([&] { Exec(*db, breaksLateRow); }).Error(), S_Ok);
  EXPECT_NE(ErrorOf([&] { Exec(*db, "UPDATE t SET rate = 7"); }).Error(), S_Ok);
  db->RollbackTrans();
  EXPECT_EQ(DatabaseFingerprint(file), before);
}

TEST_F(OnePass, UndoingOneStatementAloneRunsThemOneAfterAnother) {
  db->BeginTrans();
  std::size_t failing = 99;
  EXPECT_NE(ErrorOf([&] {
              db->ExecuteInOnePass({{"UPDATE t SET rate = 5", breaksLateRow}}, &failing);
            }).Error(),
            S_Ok);
  EXPECT_EQ(failing, 1u);
  // The first was finished, and only the second undone; the transaction goes on.
  Exec(*db, "UPDATE t SET lower = 0 WHERE id = 1");
  db->CommitTrans();
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM t WHERE rate = 5").lVal, 5 * kRange + 17 + 40);
  EXPECT_EQ(Scalar(*db, "SELECT count(*) FROM t WHERE name LIKE '*x'").lVal, 0);
  EXPECT_EQ(Scalar(*db, "SELECT lower FROM t WHERE id = 1").lVal, 0);

  // A row-returning statement has no place among them.
  EXPECT_NE(ErrorOf([&] {
              db->ExecuteInOnePass({{"UPDATE t SET rate = 6", "SELECT * FROM t"}}, &failing);
            }).Error(),
            S_Ok);
  EXPECT_EQ(failing, 1u);
}

}  // namespace
}  // namespace mivotra::test
