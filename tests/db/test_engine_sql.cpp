// Jet SQL through the engine on a real file: recordsets as ADO has them,
// values by Jet type, and failures with Jet's codes, told by the schema.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "EngineTesting.h"
#include "jet/JetErrors.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;

class EngineSql : public ::testing::Test {
 protected:
  void SetUp() override {
    file = dir / "sql.mdb";
    db = Create(file);
    Exec(*db,
         "CREATE TABLE t (id COUNTER PRIMARY KEY, name VARCHAR(10), n INTEGER, x DOUBLE, "
         "d DATETIME)");
    Exec(*db, "INSERT INTO t (name, n, x, d) VALUES ('Alpha', 1, 0.5, #2009/11/04 13:45:59#)");
    Exec(*db, "INSERT INTO t (name, n, d) VALUES ('beta', 2, NULL)");
    Exec(*db, "INSERT INTO t (name, n, d) VALUES ('Gamma', 2, #2009/01/02#)");
  }

  TempDir dir;
  fs::path file;
  ConnectionPtr db;
};

TEST_F(EngineSql, AnEmptyRecordsetIsAtBothEnds) {
  RecordsetPtr rows = db->Execute("SELECT name FROM t WHERE n > 100", nullptr);
  EXPECT_TRUE(rows->BOF());
  EXPECT_TRUE(rows->EndOfFile());
  for (const auto& call : std::vector<std::function<void()>>{[&] { rows->Collect("name"); },
                                                             [&] { rows->MoveNext(); }}) {
    const ComError error = ErrorOf(call);
    EXPECT_EQ(error.Error(), ADO_E_NoCurrentRecord);
    EXPECT_EQ(error.Source(), jet::kRecordsetSource);
  }
}

TEST_F(EngineSql, ARecordsetMovesForwardToItsEnd) {
  RecordsetPtr rows = db->Execute("SELECT name FROM t WHERE id >= 1", nullptr);
  EXPECT_FALSE(rows->BOF());
  std::vector<std::string> names;
  while (!rows->EndOfFile()) {
    names.push_back(rows->Collect("NAME").bstrVal);  // names without regard to case
    rows->MoveNext();
    EXPECT_FALSE(rows->BOF());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "Gamma"}));
  EXPECT_EQ(ErrorOf([&] { rows->MoveNext(); }).Error(), ADO_E_NoCurrentRecord);
  const ComError unknown = ErrorOf([&] { rows->Collect("nam"); });
  EXPECT_EQ(unknown.Error(), ADO_E_ItemNotFound);
  EXPECT_TRUE(Contains(unknown.Description(), "cannot be found in the collection"));
  rows->Close();
  EXPECT_EQ(ErrorOf([&] { rows->BOF(); }).Error(), ADO_E_ObjectClosed);
}

TEST_F(EngineSql, AClosedRecordsetRefusesEverything) {
  RecordsetPtr rows = db->Execute("SELECT name FROM t", nullptr);
  RecordsetPtr schema = db->OpenSchema(adSchemaTables);
  RecordsetPtr none = db->Execute("UPDATE t SET n = 3 WHERE n = 2", nullptr);
  db->Close();  // recordsets close with their connection, as in ADO
  for (RecordsetPtr* recordset : {&rows, &schema, &none}) {
    const std::vector<std::function<void()>> calls = {
        [&] { (*recordset)->BOF(); },           [&] { (*recordset)->EndOfFile(); },
        [&] { (*recordset)->Collect("name"); }, [&] { (*recordset)->MoveNext(); },
        [&] { (*recordset)->Close(); },
    };
    for (const auto& call : calls) {
      const ComError error = ErrorOf(call);
      EXPECT_EQ(error.Error(), ADO_E_ObjectClosed);
      EXPECT_EQ(error.Source(), jet::kRecordsetSource);
    }
  }
}

// By what SQLite stores: a version kept as a number reads as one.
TEST_F(EngineSql, ValuesComeBackByWhatIsStored) {
  RecordsetPtr row = db->Execute(
      "SELECT id, name, n, x, d, MAX(d) AS latest, now() AS clock, "
      "MAX(name) AS last FROM t WHERE id = 1",
      nullptr);
  EXPECT_EQ(row->Collect("id").vt, VT_I4);
  EXPECT_EQ(row->Collect("name").vt, VT_BSTR);
  EXPECT_EQ(row->Collect("n").lVal, 1);
  EXPECT_EQ(row->Collect("x").dblVal, 0.5);
  EXPECT_EQ(row->Collect("latest").bstrVal, row->Collect("d").bstrVal);
  EXPECT_EQ(row->Collect("clock").bstrVal.size(), 19u) << "YYYY-MM-DD HH:MM:SS";
  EXPECT_EQ(row->Collect("last").bstrVal, "Alpha");
  Variant affected = Variant::I4(0);
  db->Execute("UPDATE t SET n = 3 WHERE n = 2", &affected);
  EXPECT_EQ(affected.lVal, 2);
}

// Every failure a statement of the programs can meet on a database unlike
// the one it expects, with the code and the names in its report.
TEST_F(EngineSql, FailuresMapToJetsCodes) {
  Exec(*db, "CREATE INDEX i ON t (n)");
  {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(raw,
                 "CREATE TABLE loose (id INTEGER, k INTEGER);"
                 "CREATE TABLE child (a INTEGER REFERENCES loose (k));"
                 "CREATE TABLE orphan (a INTEGER REFERENCES gone (id))",
                 nullptr, nullptr, nullptr);
    sqlite3_close(raw);
  }
  struct Case {
    std::string sql;
    HRESULT code;
    std::string part;
  };
  const std::vector<Case> cases = {
      {"SELECT name FROM nowhere", DB_E_NoTable, "cannot find the input table or query 'nowhere'"},
      {"UPDATE nowhere SET a = 1", DB_E_NoTable, "'nowhere'"},
      {"SELECT nothing FROM t", jet::DB_E_ParamNotOptional, "'nothing' is not a field"},
      {"UPDATE t SET n = nothing", jet::DB_E_ParamNotOptional, "'nothing'"},
      {"INSERT INTO t (nothing) VALUES (1)", DB_E_Syntax, "unknown field name: 'nothing'"},
      {"INSERT INTO t (n) SELECT nothing FROM t", jet::DB_E_ParamNotOptional, "'nothing'"},
      {"INSERT INTO t (id, name) VALUES (1, 'x')", E_Fail, "duplicate values"},
      {"INSERT INTO t (d) VALUES ('tomorrow')", E_Fail, "prohibited by the validation rule"},
      {"INSERT INTO t (name) VALUES ('eleven char')", E_Fail, "'t.name' is too small"},
      {"CREATE TABLE T (a INTEGER)", DB_E_Syntax, "Table 'T' already exists."},
      {"CREATE TABLE I (a INTEGER)", DB_E_Syntax, "'I' is already used by an index"},
      {"CREATE INDEX t ON t (n)", DB_E_Syntax, "already used by a table"},
      {"CREATE INDEX I ON t (n)", DB_E_Syntax, "Index 'I' already exists."},
      {"CREATE INDEX j ON nowhere (n)", DB_E_NoTable, "'nowhere'"},
      {"CREATE INDEX j ON t (nothing)", jet::DB_E_ParamNotOptional, "'nothing'"},
      {"CREATE UNIQUE INDEX j ON t (n)", E_Fail, "duplicate values"},
      {"CREATE TABLE u (a INTEGER CONSTRAINT fk REFERENCES nowhere (id))", DB_E_NoTable,
       "'nowhere' that the relationship 'fk'"},
      {"CREATE TABLE u (a INTEGER CONSTRAINT fk REFERENCES t (nothing))", E_Fail, "'nothing'"},
      {"CREATE TABLE u (a INTEGER CONSTRAINT fk REFERENCES t (n))", E_Fail,
       "No unique index found"},
      {"INSERT INTO child (a) VALUES (1)", E_Fail,
       "relationship of table 'child' no longer matches a unique index of its related table "
       "'loose'"},
      {"INSERT INTO orphan (a) VALUES (1)", DB_E_NoTable, "'gone'"},
  };
  for (const auto& c : cases) {
    const ComError error = ErrorOf([&] { db->Execute(c.sql, nullptr); });
    EXPECT_EQ(error.Error(), c.code) << c.sql << ": " << error.Description();
    EXPECT_EQ(error.Source(), jet::kEngineSource) << c.sql;
    EXPECT_TRUE(Contains(error.Description(), c.part)) << c.sql << ": " << error.Description();
  }
  db->Close();
  // None of them changed anything.
  EXPECT_EQ(Rows(file, "", "SELECT COUNT(*) FROM t"), std::vector<std::string>{"3"});
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
  for (; !rows->EndOfFile(); rows->MoveNext()) {
    tables.push_back(rows->Collect("TABLE_NAME").bstrVal + ":" +
                     rows->Collect("TABLE_TYPE").bstrVal);
  }
  EXPECT_EQ(tables,
            (std::vector<std::string>{"sqlite_master:SYSTEM TABLE", "sqlite_sequence:SYSTEM TABLE",
                                      "t:TABLE", "v:VIEW"}));
}

}  // namespace
}  // namespace mivotra::test
