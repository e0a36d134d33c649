// Jet SQL through the engine on a real file: recordsets as ADO has them,
// values by Jet type, Jet's meaning of expressions, the schema statements,
// failures and transactions.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "EngineTesting.h"
#include "jet/DateTime.h"
#include "jet/JetErrors.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;

class EngineSql : public ::testing::Test {
 protected:
  void SetUp() override {
    file = dir / "sql.mdb";
    db = Create(file);
    Exec(*db, "CREATE TABLE t (id COUNTER PRIMARY KEY, name VARCHAR(10), n LONG, d DATETIME)");
    Exec(*db, "INSERT INTO t (name, n, d) VALUES ('Alpha', 1, #2009/11/04 13:45:59#)");
    Exec(*db, "INSERT INTO t (name, n, d) VALUES ('beta', 2, NULL)");
    Exec(*db, "INSERT INTO t (name, n, d) VALUES ('Gamma', 2, #1/2/2009#)");
  }

  TempDir dir;
  fs::path file;
  ConnectionPtr db;
};

TEST_F(EngineSql, AnEmptyRecordsetIsAtBothEnds) {
  RecordsetPtr rows = db->Execute("SELECT * FROM t WHERE n > 100", nullptr);
  EXPECT_EQ(rows->State(), adStateOpen);
  EXPECT_TRUE(rows->BOF());
  EXPECT_TRUE(rows->EndOfFile());
  EXPECT_EQ(rows->FieldCount(), 4);
  EXPECT_EQ(rows->FieldName(1), "name");
  for (const auto& call : std::vector<std::function<void()>>{[&] { rows->Collect("name"); },
                                                             [&] { rows->MoveNext(); }}) {
    const ComError error = ErrorOf(call);
    EXPECT_EQ(error.Error(), ADO_E_NoCurrentRecord);
    EXPECT_EQ(error.Source(), jet::kRecordsetSource);
  }
}

TEST_F(EngineSql, ARecordsetMovesForwardToItsEnd) {
  RecordsetPtr rows = db->Execute("SELECT name FROM t ORDER BY id", nullptr);
  EXPECT_FALSE(rows->BOF());
  std::vector<std::string> names;
  while (!rows->EndOfFile()) {
    names.push_back(rows->Collect("NAME").bstrVal);  // names without regard to case
    rows->MoveNext();
    EXPECT_FALSE(rows->BOF());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "Gamma"}));
  EXPECT_EQ(ErrorOf([&] { rows->MoveNext(); }).Error(), ADO_E_NoCurrentRecord);
  rows->Close();
  EXPECT_EQ(rows->State(), adStateClosed);
}

TEST_F(EngineSql, AnUnknownColumnIsNotInTheCollection) {
  RecordsetPtr rows = db->Execute("SELECT name FROM t", nullptr);
  for (const auto& call : std::vector<std::function<void()>>{
           [&] { rows->Collect("nam"); }, [&] { rows->Collect(1L); }, [&] { rows->Collect(-1L); },
           [&] { rows->FieldName(5); }}) {
    const ComError error = ErrorOf(call);
    EXPECT_EQ(error.Error(), ADO_E_ItemNotFound);
    EXPECT_EQ(error.Source(), jet::kRecordsetSource);
    EXPECT_TRUE(Contains(error.Description(), "cannot be found in the collection"))
        << error.Description();
  }
}

TEST_F(EngineSql, AClosedRecordsetRefusesEverything) {
  RecordsetPtr rows = db->Execute("SELECT name FROM t", nullptr);
  rows->Close();
  const std::vector<std::function<void()>> calls = {
      [&] { rows->BOF(); },      [&] { rows->EndOfFile(); },  [&] { rows->Collect("name"); },
      [&] { rows->MoveNext(); }, [&] { rows->FieldCount(); }, [&] { rows->Close(); },
  };
  for (const auto& call : calls) {
    const ComError error = ErrorOf(call);
    EXPECT_EQ(error.Error(), ADO_E_ObjectClosed);
    EXPECT_EQ(error.Source(), jet::kRecordsetSource);
  }
}

TEST_F(EngineSql, ClosingTheConnectionClosesItsRecordsets) {
  RecordsetPtr rows = db->Execute("SELECT name FROM t", nullptr);
  RecordsetPtr schema = db->OpenSchema(adSchemaTables);
  db->Close();
  EXPECT_EQ(rows->State(), adStateClosed);
  EXPECT_EQ(schema->State(), adStateClosed);
  EXPECT_EQ(ErrorOf([&] { rows->Collect("name"); }).Error(), ADO_E_ObjectClosed);
}

TEST_F(EngineSql, StatementsWithoutRowsReturnAClosedRecordsetAndTheirCount) {
  Variant affected = Variant::I4(0);
  RecordsetPtr result = db->Execute("UPDATE t SET n = n + 1 WHERE n = 2", &affected);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->State(), adStateClosed);
  EXPECT_EQ(affected.vt, VT_I4);
  EXPECT_EQ(affected.lVal, 2);
  db->Execute("DELETE FROM t", &affected);
  EXPECT_EQ(affected.lVal, 3);
  db->Execute("CREATE TABLE u (a LONG)", &affected);
  EXPECT_EQ(affected.lVal, 0);
}

TEST_F(EngineSql, ValuesComeBackAsTheirJetTypes) {
  Exec(*db,
       "CREATE TABLE types (c COUNTER(100, 1), l LONG, s SHORT, b BYTE, r SINGLE, f DOUBLE, m "
       "CURRENCY, "
       "d DATETIME, tx TEXT(20), memo MEMO, yes YESNO, dec DECIMAL(10, 2), ch CHAR(4))");
  Exec(*db,
       "INSERT INTO types (l, s, b, r, f, m, d, tx, memo, yes, dec, ch) VALUES (-2147483648, "
       "-32768, 255, "
       "1.5, 2.25, 12.3456, #2009/11/04 13:45:59#, 1.07, 123, TRUE, 12.5, 'ab')");
  RecordsetPtr row = db->Execute("SELECT * FROM types", nullptr);
  struct Expected {
    const char* column;
    VARTYPE vt;
  };
  for (const auto& [column, vt] : std::vector<Expected>{{"c", VT_I4},
                                                        {"l", VT_I4},
                                                        {"s", VT_I2},
                                                        {"b", VT_UI1},
                                                        {"r", VT_R4},
                                                        {"f", VT_R8},
                                                        {"m", VT_CY},
                                                        {"d", VT_DATE},
                                                        {"tx", VT_BSTR},
                                                        {"memo", VT_BSTR},
                                                        {"yes", VT_BOOL},
                                                        {"dec", VT_DECIMAL},
                                                        {"ch", VT_BSTR}}) {
    EXPECT_EQ(row->Collect(column).vt, vt) << column;
  }
  EXPECT_EQ(row->Collect("c").lVal, 100);  // the counter started at its seed
  EXPECT_EQ(row->Collect("l").lVal, -2147483647 - 1);
  EXPECT_EQ(row->Collect("s").iVal, -32768);
  EXPECT_EQ(row->Collect("b").bVal, 255);
  EXPECT_EQ(row->Collect("r").fltVal, 1.5f);
  EXPECT_EQ(row->Collect("f").dblVal, 2.25);
  EXPECT_EQ(row->Collect("m").cyVal.int64, 123456);
  EXPECT_EQ(row->Collect("d").date, *DateFromCalendar(2009, 11, 4, 13, 45, 59));
  EXPECT_EQ(row->Collect("tx").bstrVal, "1.07");
  EXPECT_EQ(row->Collect("memo").bstrVal, "123");  // a memo holds text, whatever it was given
  EXPECT_EQ(row->Collect("yes").boolVal, VARIANT_True);
  EXPECT_EQ(row->Collect("dec").dblVal, 12.5);
  Exec(*db, "INSERT INTO types (l) VALUES (NULL)");
  EXPECT_EQ(Scalar(*db, "SELECT MAX(c) FROM types").lVal, 101);
  EXPECT_TRUE(Scalar(*db, "SELECT tx FROM types WHERE c = 101").IsNull());
}

TEST_F(EngineSql, ExpressionsTakeTheirValuesStorageClass) {
  RecordsetPtr row = db->Execute(
      "SELECT 1 + 1, 'a', 1.5, NULL, Now(), #2009/11/04#, MAX(d), COUNT(*) FROM t", nullptr);
  EXPECT_EQ(row->Collect(0L).vt, VT_I4);
  EXPECT_EQ(row->Collect(1L).vt, VT_BSTR);
  EXPECT_EQ(row->Collect(2L).vt, VT_R8);
  EXPECT_EQ(row->Collect(3L).vt, VT_NULL);
  EXPECT_EQ(row->Collect(4L).vt, VT_DATE);
  EXPECT_EQ(row->Collect(5L).vt, VT_DATE);
  EXPECT_EQ(row->Collect(6L).vt, VT_DATE);
  EXPECT_EQ(row->Collect(7L).lVal, 3);
  // Jet names unnamed expressions itself.
  EXPECT_EQ(row->FieldName(0), "Expr1000");
  EXPECT_EQ(row->FieldName(7), "Expr1007");
}

TEST_F(EngineSql, ExpressionsMeanWhatTheyMeanInJet) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"SELECT 7 / 2", "3.500000"},
      {"SELECT 7 Mod 2.6", "1"},  // both sides rounded first
      {"SELECT 'a' & NULL & 'b'", "ab"},
      {"SELECT NULL & NULL", "NULL"},
      {"SELECT 'x' & 1.5", "x1.5"},
      {"SELECT 'a' + 'b'", "ab"},
      {"SELECT 1 = 1", "-1"},
      {"SELECT TRUE, FALSE", "-1|0"},
      {"SELECT (1 < 2) + 0", "-1"},
      {"SELECT 1 - -1", "2"},
      {"SELECT IIf(2 > 1, 'yes', 'no')", "yes"},
      {"SELECT Left('abcdef', 2), Right('abcdef', 2), Mid('abcdef', 2, 3), Len('日本語')",
       "ab|ef|bcd|3"},
      {"SELECT UCase('abc'), LCase('ABC'), Trim('  x  '), InStr('abcabc', 'ca')", "ABC|abc|x|3"},
      {"SELECT Year(#2009/11/04 13:45:59#), Month(#2009/11/04#), Hour(#2009/11/04 13:45:59#)",
       "2009|11|13"},
      {"SELECT name FROM t WHERE name = 'ALPHA'", "Alpha"},  // text compares without regard to case
      {"SELECT name FROM t WHERE name LIKE 'g%'", "Gamma"},
      {"SELECT name FROM t WHERE d > #2009/06/01#", "Alpha"},
      {"SELECT name FROM t WHERE d IS NULL", "beta"},
      {"SELECT COUNT(*) FROM t WHERE n BETWEEN 2 AND 3 AND name NOT IN ('beta')", "1"},
      {"SELECT n, COUNT(*) AS c FROM t GROUP BY n HAVING COUNT(*) > 1", "2|2"},
      {"SELECT DISTINCT n FROM t ORDER BY n DESC", "2"},
      {"SELECT [t].[name] FROM [t] WHERE EXISTS (SELECT * FROM t AS u WHERE u.n > t.n)", "Alpha"},
      {"SELECT a.name & '-' & b.name FROM t AS a INNER JOIN t AS b ON a.n = b.n AND a.id < b.id",
       "beta-Gamma"},
      {"SELECT COUNT(b.id), COUNT(*) FROM t AS a LEFT JOIN t AS b ON a.id = b.n", "3|4"},
      {"SELECT name FROM t WHERE id = (SELECT MIN(id) FROM t)", "Alpha"},
      {"SELECT name FROM t WHERE id = 1 UNION SELECT 'x'", "Alpha"},
  };
  for (const auto& [sql, expected] : cases) {
    try {
      const auto rows = Rows(*db, sql);
      EXPECT_FALSE(rows.empty()) << sql;
      if (!rows.empty()) {
        EXPECT_EQ(rows.front(), expected) << sql;
      }
    } catch (const ComError& error) {
      ADD_FAILURE() << sql << ": " << error.Description();
    }
  }
}

TEST_F(EngineSql, TopKeepsTheRowsThatTieWithTheLast) {
  EXPECT_EQ(Rows(*db, "SELECT TOP 2 name FROM t ORDER BY n"),
            (std::vector<std::string>{"Alpha", "beta", "Gamma"}));
  EXPECT_EQ(Rows(*db, "SELECT TOP 1 name FROM t ORDER BY n"), (std::vector<std::string>{"Alpha"}));
  EXPECT_EQ(Rows(*db, "SELECT TOP 2 name, n FROM t ORDER BY n DESC, name"),
            (std::vector<std::string>{"beta|2", "Gamma|2"}));
  EXPECT_EQ(Rows(*db, "SELECT TOP 2 name FROM t").size(), 2u);
  RecordsetPtr rows = db->Execute("SELECT TOP 1 * FROM t ORDER BY n", nullptr);
  EXPECT_EQ(rows->FieldCount(), 4);  // the sort keys it compares stay hidden
}

TEST_F(EngineSql, FailuresMapToJetsCodes) {
  struct Case {
    std::string sql;
    HRESULT code;
    std::string part;
  };
  const std::vector<Case> cases = {
      {"SELECT * FROM nowhere", DB_E_NoTable, "cannot find the input table or query 'nowhere'"},
      {"DELETE FROM nowhere", DB_E_NoTable, "'nowhere'"},
      {"SELECT nothing FROM t", jet::DB_E_ParamNotOptional, "'nothing'"},
      {"INSERT INTO t (nothing) VALUES (1)", DB_E_Syntax, "unknown field name: 'nothing'"},
      {"INSERT INTO t (name, n) VALUES (1)", DB_E_Syntax,
       "Number of query values and destination fields"},
      {"INSERT INTO t VALUES (1)", DB_E_Syntax, "Number of query values and destination fields"},
      {"INSERT INTO t (id, name) VALUES (1, 'x')", E_Fail, "duplicate values"},
      {"INSERT INTO t (d) VALUES ('tomorrow')", jet::DB_E_CantConvertValue, "'t.d' takes a date"},
      {"INSERT INTO t (d) VALUES (40000)", jet::DB_E_CantConvertValue, "'t.d' takes a date"},
      {"INSERT INTO t (name) VALUES ('eleven char')", E_Fail, "'t.name' is too small"},
      {"SELECT t.name FROM t, t AS t2 WHERE name = 'x'", E_Fail,
       "could refer to more than one table"},
      {"SELECT n FROM t UNION SELECT n, name FROM t", DB_E_Syntax, "union query"},
      {"CREATE TABLE u (a LONG, a LONG)", DB_E_Syntax, "Cannot define field 'a' more than once."},
      {"CREATE TABLE u (a LONG, CONSTRAINT fk FOREIGN KEY (a) REFERENCES t (nothing))", E_Fail,
       "'nothing'"},
      {"CREATE TABLE u (a LONG CONSTRAINT fk REFERENCES t (n))", E_Fail, "No unique index found"},
      {"CREATE TABLE u (a LONG, b LONG, CONSTRAINT fk FOREIGN KEY (a, b) REFERENCES t (id))",
       DB_E_Syntax, "different number of fields"},
      {"CREATE TABLE sqlite_x (a LONG)", DB_E_Syntax, "reserved"},
      {"CREATE INDEX t ON t (n)", DB_E_Syntax, "already used by a table"},
      {"CREATE INDEX i ON nowhere (n)", DB_E_NoTable, "'nowhere'"},
      {"CREATE INDEX i ON t (nothing)", jet::DB_E_ParamNotOptional, "'nothing'"},
      {"CREATE UNIQUE INDEX i ON t (n)", E_Fail, "duplicate values"},
      {"DROP TABLE nowhere", DB_E_NoTable, "'nowhere'"},
      {"DROP INDEX nothing ON t", DB_E_NoTable, "'nothing'"},
  };
  for (const auto& c : cases) {
    const ComError error = ErrorOf([&] { db->Execute(c.sql, nullptr); });
    EXPECT_EQ(error.Error(), c.code) << c.sql << ": " << error.Description();
    EXPECT_EQ(error.Source(), jet::kEngineSource) << c.sql;
    EXPECT_TRUE(Contains(error.Description(), c.part)) << c.sql << ": " << error.Description();
  }
  // None of them changed anything.
  EXPECT_EQ(Rows(*db, "SELECT COUNT(*) FROM t"), std::vector<std::string>{"3"});
}

TEST_F(EngineSql, IndexesWithTheirJetOptions) {
  Exec(*db, "CREATE INDEX idx_name ON t (name) WITH DISALLOW NULL");
  ComError error = ErrorOf([&] { Exec(*db, "INSERT INTO t (n) VALUES (5)"); });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(
      Contains(error.Description(), "cannot contain a Null value (index 'idx_name' of table 't')"))
      << error.Description();
  EXPECT_EQ(ErrorOf([&] { Exec(*db, "UPDATE t SET name = NULL"); }).Error(), E_Fail);
  Exec(*db, "DROP INDEX idx_name ON t");
  Exec(*db, "INSERT INTO t (n) VALUES (5)");  // the guard went with its index

  // A field holding Null cannot get a guarding index.
  error =
      ErrorOf([&] { Exec(*db, "CREATE UNIQUE INDEX idx_name ON t (name) WITH DISALLOW NULL"); });
  EXPECT_TRUE(Contains(error.Description(), "holds Null")) << error.Description();
  EXPECT_TRUE(
      Contains(ErrorOf([&] { Exec(*db, "CREATE INDEX pk ON t (n) WITH PRIMARY"); }).Description(),
               "Primary key already exists"));
  Exec(*db, "CREATE INDEX pk ON t (id) WITH PRIMARY");  // the key it already has

  Exec(*db, "DELETE FROM t WHERE name IS NULL");
  Exec(*db, "CREATE UNIQUE INDEX idx_d ON t (d) WITH IGNORE NULL");
  Exec(*db, "INSERT INTO t (name) VALUES ('delta')");  // a second Null date is no duplicate
  EXPECT_EQ(ErrorOf([&] { Exec(*db, "INSERT INTO t (d) VALUES (#1/2/2009#)"); }).Error(), E_Fail);

  Exec(*db, "CREATE TABLE other (a LONG)");
  error = ErrorOf([&] { Exec(*db, "DROP INDEX idx_d ON other"); });
  EXPECT_EQ(error.Error(), DB_E_NoTable);
  EXPECT_TRUE(Contains(error.Description(), "Cannot find the index 'idx_d' on table 'other'"));
}

TEST_F(EngineSql, AnIndexARelationshipNeedsStays) {
  Exec(*db, "CREATE TABLE parent (code TEXT(5))");
  Exec(*db, "CREATE UNIQUE INDEX idx_code ON parent (code)");
  Exec(*db, "CREATE TABLE child (code TEXT(5) CONSTRAINT fk REFERENCES parent (code))");
  const ComError error = ErrorOf([&] { Exec(*db, "DROP INDEX idx_code ON parent"); });
  EXPECT_TRUE(Contains(error.Description(), "used in a relationship with table 'child'"))
      << error.Description();
  Exec(*db, "DROP TABLE child");
  Exec(*db, "DROP INDEX idx_code ON parent");
  Exec(*db, "DROP TABLE parent");
}

TEST_F(EngineSql, TransactionsAreWholeAndDoNotNest) {
  const ComError none = ErrorOf([&] { db->CommitTrans(); });
  EXPECT_EQ(none.Error(), ADO_E_NoTransaction);
  EXPECT_EQ(none.Source(), jet::kConnectionSource);
  EXPECT_EQ(ErrorOf([&] { db->RollbackTrans(); }).Error(), ADO_E_NoTransaction);

  EXPECT_EQ(db->BeginTrans(), 1);
  EXPECT_EQ(ErrorOf([&] { db->BeginTrans(); }).Error(), jet::XACT_E_TransactionExists);
  Exec(*db, "CREATE TABLE made (a LONG)");
  Exec(*db, "INSERT INTO made VALUES (1)");
  Exec(*db, "INSERT INTO t (name) VALUES ('delta')");
  EXPECT_EQ(ErrorOf([&] { db->Close(); }).Error(), ADO_E_NoTransaction);  // ADO refuses it too
  db->RollbackTrans();
  EXPECT_EQ(ErrorOf([&] { Exec(*db, "SELECT * FROM made"); }).Error(), DB_E_NoTable);
  EXPECT_EQ(Rows(*db, "SELECT COUNT(*) FROM t"), std::vector<std::string>{"3"});

  db->BeginTrans();
  Exec(*db, "CREATE TABLE kept (a LONG)");
  db->CommitTrans();
  db->Close();
  db = Open(file);
  EXPECT_EQ(Rows(*db, "SELECT COUNT(*) FROM kept"), std::vector<std::string>{"0"});
}

TEST_F(EngineSql, ARecordsetLeftOpenDoesNotStopTheConnection) {
  RecordsetPtr reading = db->Execute("SELECT name FROM t ORDER BY id", nullptr);
  db->BeginTrans();
  Exec(*db, "INSERT INTO t (name) VALUES ('delta')");
  db->CommitTrans();
  EXPECT_EQ(reading->Collect("name").bstrVal, "Alpha");
  const ComError error = ErrorOf([&] { Exec(*db, "DROP TABLE t"); });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), "in use by an open recordset")) << error.Description();
  reading->Close();
  Exec(*db, "DROP TABLE t");
}

TEST_F(EngineSql, ASyntaxErrorChangesNothing) {
  for (const std::string sql :
       {"SELEC * FROM t", "DELETE FROM t WHERE", "UPDATE t SET n = 1; DELETE FROM t"}) {
    const ComError error = ErrorOf([&] { Exec(*db, sql); });
    EXPECT_EQ(error.Error(), DB_E_Syntax) << sql;
    EXPECT_EQ(error.Source(), jet::kEngineSource);
  }
  EXPECT_EQ(Rows(*db, "SELECT SUM(n) FROM t"), std::vector<std::string>{"5"});
}

TEST_F(EngineSql, ValidationRulesStayReadableByOtherSqliteTools) {
  Exec(*db, "CREATE TABLE c (a TEXT(5), b TEXT(5), CONSTRAINT ck CHECK (a & b <> 'xy'))");
  Exec(*db, "INSERT INTO c VALUES ('x', NULL)");
  const ComError error = ErrorOf([&] { Exec(*db, "INSERT INTO c VALUES ('x', 'y')"); });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), "validation rule 'ck' set for 'c'"))
      << error.Description();
  db->Close();
  // No function of the engine's own went into the schema.
  sqlite3* raw = nullptr;
  sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  EXPECT_EQ(sqlite3_exec(raw, "INSERT INTO c VALUES ('a', 'b')", nullptr, nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(raw);
  EXPECT_EQ(sqlite3_exec(raw, "INSERT INTO c VALUES ('x', 'y')", nullptr, nullptr, nullptr),
            SQLITE_CONSTRAINT);
  sqlite3_close(raw);
}

TEST_F(EngineSql, TheSchemaRowsetListsViewsAndSystemTables) {
  db->Close();
  sqlite3* raw = nullptr;
  sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_exec(raw, "CREATE VIEW v AS SELECT name FROM t", nullptr, nullptr, nullptr);
  sqlite3_close(raw);
  db = Open(file);
  std::vector<std::string> tables;
  RecordsetPtr rows = db->OpenSchema(adSchemaTables);
  EXPECT_EQ(rows->FieldCount(), 9);
  for (; !rows->EndOfFile(); rows->MoveNext()) {
    tables.push_back(rows->Collect("TABLE_NAME").bstrVal + ":" +
                     rows->Collect("TABLE_TYPE").bstrVal);
  }
  EXPECT_EQ(tables,
            (std::vector<std::string>{"sqlite_master:SYSTEM TABLE", "sqlite_sequence:SYSTEM TABLE",
                                      "t:TABLE", "v:VIEW"}));
  EXPECT_EQ(Rows(*db, "SELECT * FROM v WHERE name = 'beta'"), std::vector<std::string>{"beta"});
}

}  // namespace
}  // namespace mivotra::test
