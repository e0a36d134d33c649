// The update's two rate corrections (statements 8 and 9) as the update hands
// them to the engine, in its all-or-nothing transaction, against plain SQLite
// running the same two statements one after the other on a copy of the same
// file. Over tables laid out as real files can be, every outcome must be the
// same: success or failure, the statement a failure names, the rows each
// changed, every value with its type, what triggers wrote and in which order.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "EngineTesting.h"
#include "FaultHooks.h"
#include "PatchStatements.h"
#include "RawDatabase.h"
#include "jet/RangedUpdate.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;

constexpr long long kRange = jet::RangedUpdate::kRangeRows;
const std::vector<std::string> kRateStatements = {AllPatchStatements()[7], AllPatchStatements()[8]};

// What a run of the two statements came to.
struct Outcome {
  bool updated = false;
  std::size_t failing = 0;  // the statement a failure names
  std::vector<std::int64_t> changes;
  bool damaged = false;  // the failure was told as damage

  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << (o.updated ? "updated" : "failed at " + std::to_string(o.failing)) << ", changes";
  for (const auto n : o.changes) out << ' ' << n;
  return out << (o.damaged ? ", damaged" : "");
}

// Every value of every table with its type, rows in rowid order.
std::string Picture(const fs::path& file, const std::string& password) {
  RawDatabase db(file, password);
  std::string picture;
  for (const auto& table :
       db.Rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    std::string columns;
    for (const auto& column : db.Rows("SELECT name FROM pragma_table_info('" + table + "')"))
      columns += (columns.empty() ? "quote(\"" : " || '|' || quote(\"") + column + "\")";
    const bool rowid = db.Rows("SELECT 1 FROM sqlite_master WHERE name = '" + table +
                               "' AND sql LIKE '%WITHOUT ROWID%'")
                           .empty();
    picture += table + "\n";
    for (const auto& row : db.Rows("SELECT " + columns + " FROM \"" + table + "\"" +
                                   (rowid ? " ORDER BY _rowid_" : " ORDER BY 1")))
      picture += row + "\n";
  }
  return picture;
}

// Plain SQLite, set up as the engine sets up its connections.
Outcome OneAfterAnother(const fs::path& file, const std::string& password) {
  RawDatabase db(file, password);
  sqlite3_exec(db.get(), "PRAGMA foreign_keys = ON; BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  Outcome outcome;
  for (std::size_t i = 0; i < kRateStatements.size(); ++i) {
    const int rc = sqlite3_exec(db.get(), kRateStatements[i].c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      outcome.failing = i;
      // What SQLite says of a page that is damaged, or of one of SQLCipher's
      // that fails its check.
      outcome.damaged = (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_ERROR;
      outcome.changes.clear();
      sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      return outcome;
    }
    outcome.changes.push_back(sqlite3_changes(db.get()));
  }
  outcome.updated = sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  return outcome;
}

// As the update runs them: handed over together in its all-or-nothing
// transaction, which a failure abandons.
Outcome AsTheUpdateRunsThem(const fs::path& file, const std::string& password, bool* passTried) {
  *passTried = false;
  StatementWatch::onStatement = [passTried](std::string_view sql) {
    if (sql == "SAVEPOINT jet_pass") *passTried = true;
  };
  ConnectionPtr db = Open(file, password);
  db->BeginTrans();
  Outcome outcome;
  try {
    outcome.changes = db->ExecuteInOnePass(kRateStatements, &outcome.failing);
    db->CommitTrans();
    outcome.updated = true;
  } catch (const ComError& error) {
    outcome.damaged = Contains(error.Description(), "is damaged");
    db->RollbackTrans();
  }
  StatementWatch::onStatement = nullptr;
  db->Close();
  return outcome;
}

// `count` rows from rowid `first`, `step` apart, KodanID cycling 1, 2, 3 and
// the rate types mixed so that either statement changes some KodanID 2 rows.
std::string Fill(long long count, long long first = 1, long long step = 1) {
  return "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
         std::to_string(count - 1) +
         ") INSERT INTO t_kumi_rate (KumiRateID, KodanID, KumiRateTypeID, KumiUpperRateTypeID, "
         "KumiLowerRateTypeID) SELECT " +
         std::to_string(first) + " + i * " + std::to_string(step) +
         ", i % 3 + 1, i / 3 % 2 + 1, i % 4 + 1, i / 4 % 4 + 1 FROM n";
}

const std::string kTable =
    "CREATE TABLE t_kumi_rate (KumiRateID INTEGER PRIMARY KEY, KodanID INTEGER NOT NULL, "
    "KumiRateTypeID INTEGER NOT NULL, KumiUpperRateTypeID INTEGER NOT NULL, "
    "KumiLowerRateTypeID INTEGER NOT NULL)";
// Several ranges, then rows far apart and below zero.
const std::string kSpread = Fill(5 * kRange + 17) + ";" + Fill(40, 1'000'000'000, 3 * kRange + 1) +
                            ";" + Fill(5, -9'000'000'000'000'000'000LL);
const std::string kRows = Fill(3 * kRange);
// Rows neither statement changes, each its own rate type, over three ranges.
const std::string kFiller =
    Fill(3 * kRange, 20000) + "; UPDATE t_kumi_rate SET KodanID = 1, KumiRateTypeID = KumiRateID";

// Overwrites the cells of one leaf page of t_kumi_rate, a few pages into it,
// with bytes that look random.
void DamageALeaf(const fs::path& file, std::uint32_t seed) {
  long long root = 0;
  {
    RawDatabase db(file);
    root = std::stoll(db.Text("SELECT rootpage FROM sqlite_master WHERE name = 't_kumi_rate'"));
  }
  std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<unsigned char> page(4096);
  const auto read = [&](long long number) {
    out.seekg((number - 1) * 4096);
    out.read(reinterpret_cast<char*>(page.data()), 4096);
  };
  const auto big = [&](int at, int bytes) {
    long long value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | page[at + i];
    return value;
  };
  // Down the interior pages by their third child, to a leaf.
  long long number = root;
  for (read(number); page[0] == 0x05; read(number))
    number = big(static_cast<int>(big(12 + 4, 2)), 4);
  ASSERT_EQ(page[0], 0x0D) << "a table leaf";
  std::mt19937 random(seed);
  for (auto i = big(5, 2); i < 4096; ++i) page[i] = static_cast<unsigned char>(random());
  out.seekp((number - 1) * 4096);
  out.write(reinterpret_cast<const char*>(page.data()), 4096);
}

// Flips bytes inside one page of an encrypted file, which then fails its check.
void FlipEncryptedPage(const fs::path& file, std::uint32_t) {
  std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
  out.seekp(20 * 4096 + 2000);
  out.write("garbage!", 8);
}

struct Layout {
  const char* how;
  // SQL run straight through SQLite on a new database: the table, its rows,
  // whatever else it holds.
  std::string sql;
  // Whether the engine should try the pass; where it cannot know that the
  // result is the same it runs the statements whole.
  bool pass;
  std::function<void(const fs::path&, std::uint32_t)> damage = nullptr;
  std::string password = "";
};

class RateCorrections : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StatementWatch::Install(); }
  TempDir dir;
};

TEST_F(RateCorrections, EndAsStatementEightThenNineRunWholeOnEveryLayout) {
  const Layout layouts[] = {
      {"rows over many ranges, dense, far apart and below zero", kTable + ";" + kSpread, true},
      {"columns without a type: codes as text, reals, blobs and Nulls",
       "CREATE TABLE t_kumi_rate (KumiRateID INTEGER PRIMARY KEY, KodanID, KumiRateTypeID, "
       "KumiUpperRateTypeID, KumiLowerRateTypeID);" +
           kRows +
           "; UPDATE t_kumi_rate SET KodanID = '2' WHERE KumiRateID % 7 = 0;"
           "UPDATE t_kumi_rate SET KumiRateTypeID = 2.0 WHERE KumiRateID % 11 = 0;"
           "UPDATE t_kumi_rate SET KumiLowerRateTypeID = NULL WHERE KumiRateID % 13 = 0;"
           "UPDATE t_kumi_rate SET KumiUpperRateTypeID = x'01' WHERE KumiRateID % 17 = 0;"
           "UPDATE t_kumi_rate SET KumiLowerRateTypeID = '3' WHERE KumiRateID % 19 = 0",
       true},
      {"a column named rowid",
       kTable + "; ALTER TABLE t_kumi_rate ADD COLUMN rowid INTEGER;" + kRows, true},
      {"no rowid",
       "CREATE TABLE t_kumi_rate (KumiRateID INTEGER PRIMARY KEY, KodanID INTEGER, "
       "KumiRateTypeID INTEGER, KumiUpperRateTypeID INTEGER, KumiLowerRateTypeID INTEGER) WITHOUT "
       "ROWID;" +
           kRows,
       false},
      {"an index on KodanID, which SQLite searches instead of scanning",
       kTable + "; CREATE INDEX kodan ON t_kumi_rate (KodanID);" + kRows, false},
      // Statement 8 makes the two rows equal over the index; a pass would
      // by then have moved the first away with statement 9 in its range.
      {"a unique index over assigned columns, two rows 5,000 apart clash after statement 8",
       kTable + ";" + kFiller +
           "; INSERT INTO t_kumi_rate VALUES (10, 2, 2, 3, 1), (5010, 2, 3, 3, 5);"
           "CREATE UNIQUE INDEX u ON t_kumi_rate (KumiUpperRateTypeID, KumiRateTypeID, KodanID)",
       false},
      // One after another statement 9 fails at the first row; a pass would
      // have failed statement 8 at the second.
      {"a unique index over assigned columns, statement 9 clashes first",
       kTable + ";" + kFiller +
           "; INSERT INTO t_kumi_rate VALUES (10, 2, 1, 3, 5), (5010, 2, 2, 5, 5);"
           "CREATE UNIQUE INDEX u ON t_kumi_rate (KumiUpperRateTypeID, KumiRateTypeID)",
       false},
      {"a partial unique index whose condition reads an assigned column",
       kTable +
           "; CREATE UNIQUE INDEX u ON t_kumi_rate (KodanID, KumiLowerRateTypeID) WHERE "
           "KumiRateTypeID = 7;" +
           kRows,
       false},
      {"a unique index over an expression",
       kTable + "; CREATE UNIQUE INDEX u ON t_kumi_rate (KumiRateID * 10 + KumiRateTypeID);" +
           kRows,
       false},
      // Statement 9 breaks its check in the first range, statement 8 only in
      // the last: one after another, statement 8 fails.
      {"checks that statement 9 breaks early and statement 8 late",
       "CREATE TABLE t_kumi_rate (KumiRateID INTEGER PRIMARY KEY, KodanID INTEGER NOT NULL, "
       "KumiRateTypeID INTEGER NOT NULL CHECK (KumiRateTypeID <> 1 OR KumiLowerRateTypeID <> 9), "
       "KumiUpperRateTypeID INTEGER NOT NULL CHECK (KumiUpperRateTypeID <> 7), "
       "KumiLowerRateTypeID INTEGER NOT NULL);" +
           kRows +
           "; UPDATE t_kumi_rate SET KumiLowerRateTypeID = 7 WHERE KumiRateID = 2;"
           "UPDATE t_kumi_rate SET KumiRateTypeID = 2, KumiLowerRateTypeID = 9 WHERE KumiRateID "
           "= " +
           std::to_string(3 * kRange - 1),
       true},
      {"a check that only statement 9 breaks",
       "CREATE TABLE t_kumi_rate (KumiRateID INTEGER PRIMARY KEY, KodanID INTEGER NOT NULL, "
       "KumiRateTypeID INTEGER NOT NULL, KumiUpperRateTypeID INTEGER NOT NULL CHECK "
       "(KumiUpperRateTypeID <> 7), KumiLowerRateTypeID INTEGER NOT NULL);" +
           kRows + "; UPDATE t_kumi_rate SET KumiLowerRateTypeID = 7 WHERE KumiRateID = 8000",
       true},
      {"an audit trigger, rows in the order written",
       kTable +
           "; CREATE TABLE audit (n INTEGER PRIMARY KEY AUTOINCREMENT, id INTEGER, what TEXT);"
           "CREATE TRIGGER \"x$jet_required_update\" AFTER UPDATE ON t_kumi_rate BEGIN INSERT "
           "INTO audit (id, what) VALUES (NEW.KumiRateID, NEW.KumiRateTypeID || '/' || "
           "NEW.KumiUpperRateTypeID); END;" +
           kRows,
       false},
      // Under OR ROLLBACK the trigger's OR IGNORE would become OR ROLLBACK.
      {"a trigger whose INSERT OR IGNORE meets a row already there",
       kTable +
           "; CREATE TABLE seen (kodan INTEGER PRIMARY KEY);"
           "CREATE TRIGGER t AFTER UPDATE ON t_kumi_rate BEGIN INSERT OR IGNORE INTO seen VALUES "
           "(NEW.KodanID); END;" +
           kRows,
       false},
      {"a unique constraint that ignores its conflicts",
       "CREATE TABLE t_kumi_rate (KumiRateID INTEGER PRIMARY KEY, KodanID INTEGER NOT NULL, "
       "KumiRateTypeID INTEGER NOT NULL, KumiUpperRateTypeID INTEGER NOT NULL, "
       "KumiLowerRateTypeID INTEGER NOT NULL, UNIQUE (KodanID, KumiRateTypeID, "
       "KumiUpperRateTypeID, KumiLowerRateTypeID) ON CONFLICT IGNORE);"
       "INSERT INTO t_kumi_rate VALUES (1, 2, 2, 3, 1), (2, 2, 1, 3, 1), (3, 2, 1, 1, 1)",
       false},
      {"a relationship from an assigned column to a table without its value",
       "CREATE TABLE rate_type (id INTEGER PRIMARY KEY); INSERT INTO rate_type VALUES (2);" +
           kTable.substr(0, kTable.size() - 1) +
           ", FOREIGN KEY (KumiRateTypeID) REFERENCES rate_type (id)); PRAGMA foreign_keys = OFF;" +
           kRows,
       false},
      {"a leaf page whose cells are garbage", kTable + ";" + kRows, true, DamageALeaf},
      {"an encrypted page that fails its check", kTable + ";" + kRows, true, FlipEncryptedPage,
       "p'w;d"},
  };
  for (const Layout& layout : layouts) {
    for (std::uint32_t seed = 1; seed <= (layout.damage ? 4u : 1u); ++seed) {
      SCOPED_TRACE(std::string(layout.how) + ", seed " + std::to_string(seed));
      const fs::path file = dir / ("data" + std::to_string(seed) + ".mdb");
      fs::remove(file);
      Create(file, layout.password)->Close();
      {
        RawDatabase db(file, layout.password);
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db.get(), layout.sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "");
      }
      if (layout.damage) layout.damage(file, seed);
      const fs::path copy = dir / "reference.mdb";
      fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
      const std::string before = ReadFile(file);

      const Outcome expected = OneAfterAnother(copy, layout.password);
      bool passTried = false;
      const Outcome outcome = AsTheUpdateRunsThem(file, layout.password, &passTried);
      EXPECT_EQ(outcome, expected);
      EXPECT_EQ(passTried, layout.pass);
      if (expected.updated) {
        EXPECT_EQ(Picture(file, layout.password), Picture(copy, layout.password));
      } else {
        EXPECT_EQ(ReadFile(file), before);
      }
      EXPECT_FALSE(fs::exists(file.string() + "-journal"));
    }
  }
}

// Outside a transaction each statement is undone on its own, so they run
// one after another.
TEST_F(RateCorrections, OutsideATransactionRunOneAfterAnother) {
  const fs::path file = dir / "data.mdb";
  Create(file)->Close();
  {
    RawDatabase db(file);
    ASSERT_EQ(sqlite3_exec(db.get(), (kTable + ";" + kRows).c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  ConnectionPtr db = Open(file);
  Exec(*db, "CREATE TABLE t (id COUNTER PRIMARY KEY, name VARCHAR(4))");
  Exec(*db, "INSERT INTO t (name) VALUES ('abcd')");
  std::size_t failing = 99;
  EXPECT_NE(ErrorOf([&] {
              db->ExecuteInOnePass({{kRateStatements[0], "UPDATE t SET name = 'abcde'"}}, &failing);
            }).Error(),
            S_Ok);
  EXPECT_EQ(failing, 1u);
  db->Close();
  EXPECT_EQ(
      Rows(file, "", "SELECT count(*) FROM t_kumi_rate WHERE KodanID = 2 AND KumiRateTypeID <> 1"),
      std::vector<std::string>{"0"});
}

}  // namespace
}  // namespace mivotra::test
