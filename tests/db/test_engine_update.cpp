// The version 1.07 update's statements, byte for byte, run through the
// engine on an encrypted 1.06 database, and everything they did read back.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "DatabaseHelpers.h"
#include "EngineTesting.h"
#include "PatchStatements.h"
#include "jet/JetErrors.h"

namespace mivotra::test {
namespace {

namespace fs = std::filesystem;

const std::string kPassword = "mivotra";
const std::string kVersionQuery(texts::VersionQuery);

const std::vector<std::string> kStatements = AllPatchStatements();

// The 1.06 schema the update starts from, and its rows.
void MakeVersion106(Connection& db, int kumiRows) {
  Exec(db,
       "CREATE TABLE t_sofu (SofuID INTEGER CONSTRAINT PK_t_sofu PRIMARY KEY, SofuName VARCHAR(50) "
       "NOT NULL)");
  Exec(db, "INSERT INTO t_sofu VALUES (1, '東日本運輸')");
  Exec(db, "INSERT INTO t_sofu VALUES (2, '中日本物流')");
  Exec(db,
       "CREATE TABLE t_db_ver (DBVerID INTEGER PRIMARY KEY, DBVerCode VARCHAR(10), DBPatchDate "
       "DATETIME, "
       "UpdateDateTime DATETIME)");
  for (int i = 1; i <= 6; ++i) {
    Exec(db, "INSERT INTO t_db_ver VALUES (" + std::to_string(i) + ", '1.0" + std::to_string(i) +
                 "', #2009/0" + std::to_string(i) + "/01#, #2009/0" + std::to_string(i) +
                 "/01 10:00#)");
  }
  Exec(db,
       "CREATE TABLE t_kumi_rate (KumiRateID COUNTER PRIMARY KEY, KodanID INTEGER NOT NULL, "
       "KumiRateTypeID "
       "INTEGER NOT NULL, KumiUpperRateTypeID INTEGER NOT NULL, KumiLowerRateTypeID INTEGER NOT "
       "NULL, KumiRate "
       "DOUBLE)");
  for (int i = 0; i < kumiRows; ++i) {
    const int lower = i % 4 + 1;
    Exec(db,
         "INSERT INTO t_kumi_rate (KodanID, KumiRateTypeID, KumiUpperRateTypeID, "
         "KumiLowerRateTypeID, KumiRate) "
         "VALUES (" +
             std::to_string(i % 3 + 1) + ", " + std::to_string(i / 3 % 2 + 1) + ", " +
             std::to_string(i / 6 % 2 == 0 ? lower : lower % 4 + 1) + ", " + std::to_string(lower) +
             ", " + std::to_string(i) + ".5)");
  }
}

class UpdateStatements : public ::testing::Test {
 protected:
  void SetUp() override {
    file = dir / "data1.mdb";
    db = Create(file, kPassword);
    db->BeginTrans();  // one commit instead of fifty keeps the test quick
    MakeVersion106(*db, 36);
    db->CommitTrans();
  }

  // Runs the statements from..to (1-based, inclusive), keeping each count.
  void RunStatements(std::size_t from = 1, std::size_t to = 13) {
    for (std::size_t i = from; i <= to; ++i) {
      Variant affected = Variant::I4(0);
      RecordsetPtr result = db->Execute(kStatements[i - 1], &affected, adOptionUnspecified);
      EXPECT_EQ(ErrorOf([&] { result->BOF(); }).Error(), ADO_E_ObjectClosed) << i;
      EXPECT_EQ(affected.vt, VT_I4) << i;
      counts.push_back(affected.lVal);
    }
  }

  TempDir dir;
  fs::path file;
  ConnectionPtr db;
  std::vector<std::int32_t> counts;
};

TEST_F(UpdateStatements, AreTheTextsTheUpdateRuns) {
  const std::vector<std::size_t> lengths = {261, 87, 87, 156, 285, 86, 77, 84, 130, 105, 223};
  for (std::size_t i = 0; i < lengths.size(); ++i)
    EXPECT_EQ(kStatements[i].size(), lengths[i]) << i + 1;
}

TEST_F(UpdateStatements, TheVersionQueryReadsTheLatestCodeAsText) {
  const Variant version = Scalar(*db, kVersionQuery, "MaxDBVerCode");
  EXPECT_EQ(version.vt, VT_BSTR);
  EXPECT_EQ(version.bstrVal, "1.06");
  RunStatements();
  EXPECT_EQ(Scalar(*db, kVersionQuery, "MaxDBVerCode").bstrVal, "1.07");
}

TEST_F(UpdateStatements, TheVersionQueryOnAnEmptyOrMissingTable) {
  RawExec(file, kPassword, "DELETE FROM t_db_ver");
  RecordsetPtr rows = db->Execute(kVersionQuery, nullptr);
  ASSERT_FALSE(rows->EndOfFile());
  EXPECT_TRUE(rows->Collect("MaxDBVerCode").IsNull());
  rows->Close();

  RawExec(file, kPassword, "DROP TABLE t_db_ver");
  const ComError error = ErrorOf([&] { db->Execute(kVersionQuery, nullptr); });
  EXPECT_EQ(error.Error(), DB_E_NoTable);
  EXPECT_EQ(error.Source(), jet::kEngineSource);
  EXPECT_TRUE(Contains(error.Description(), "'t_db_ver'")) << error.Description();
}

TEST_F(UpdateStatements, CountTheRowsTheyChange) {
  RunStatements();
  // 12 of the 36 rows have KodanID 2; half of them have rate type 2, and the
  // upper type differs from the lower in every second group of six.
  EXPECT_EQ(counts, (std::vector<std::int32_t>{0, 0, 0, 1, 0, 0, 0, 6, 6, 1, 0, 1, 1}));
}

TEST_F(UpdateStatements, CorrectOnlyTheRowsOfKodan2) {
  const std::string all = "SELECT * FROM t_kumi_rate ORDER BY KumiRateID";
  const auto before = Rows(file, kPassword, all);
  RunStatements();
  const auto after = Rows(file, kPassword, all);
  const auto kodan = Rows(file, kPassword,
                          "SELECT KodanID, KumiRateTypeID, KumiUpperRateTypeID = "
                          "KumiLowerRateTypeID FROM t_kumi_rate ORDER BY KumiRateID");
  ASSERT_EQ(after.size(), 36u);
  ASSERT_EQ(kodan.size(), 36u);
  for (std::size_t i = 0; i < 36; ++i) {
    if (kodan[i].rfind("2|", 0) == 0)
      EXPECT_EQ(kodan[i], "2|1|1") << i;
    else
      EXPECT_EQ(after[i], before[i]);
  }
  // A second run finds nothing left to correct.
  Variant affected;
  db->Execute(kStatements[7], &affected);
  EXPECT_EQ(affected.lVal, 0);
  db->Execute(kStatements[8], &affected);
  EXPECT_EQ(affected.lVal, 0);
}

TEST_F(UpdateStatements, ListTheNewTablesInTheSchemaRowset) {
  RunStatements();
  RecordsetPtr tables = db->OpenSchema(adSchemaTables);
  ASSERT_FALSE(tables->BOF());
  std::vector<std::string> seen;
  for (; !tables->EndOfFile(); tables->MoveNext()) {
    EXPECT_TRUE(tables->Collect("TABLE_CATALOG").IsNull());
    EXPECT_TRUE(tables->Collect("table_schema").IsNull());
    EXPECT_TRUE(tables->Collect("DESCRIPTION").IsNull());
    seen.push_back(tables->Collect("TABLE_NAME").bstrVal + ":" +
                   tables->Collect("TABLE_TYPE").bstrVal);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "sqlite_master:SYSTEM TABLE", "sqlite_sequence:SYSTEM TABLE",
                      "t_db_ver:TABLE", "t_db_ver_comment:TABLE", "t_expense_nexco_riyou:TABLE",
                      "t_kumi_rate:TABLE", "t_sofu:TABLE", "t_sofu_syukin_code:TABLE"}));
}

TEST_F(UpdateStatements, WriteTheSeedRowWithJetsTypes) {
  const std::time_t before = std::time(nullptr);
  RunStatements();
  RecordsetPtr row = db->Execute(
      "SELECT ExpenseNexcoRiyouID, LowerKingaku, UpperKingaku, ExpenseNexcoRate, CreateDateTime, "
      "UpdateDateTime FROM t_expense_nexco_riyou",
      nullptr);
  ASSERT_FALSE(row->EndOfFile());
  const Variant id = row->Collect("ExpenseNexcoRiyouID");
  EXPECT_EQ(id.vt, VT_I4);
  EXPECT_EQ(id.lVal, 1);
  EXPECT_EQ(row->Collect("LowerKingaku").vt, VT_I4);
  EXPECT_EQ(row->Collect("LowerKingaku").lVal, 0);
  EXPECT_EQ(row->Collect("UpperKingaku").lVal, 99999999);
  const Variant rate = row->Collect("ExpenseNexcoRate");
  EXPECT_EQ(rate.vt, VT_R8);
  EXPECT_EQ(rate.dblVal, 0.0);
  auto localText = [](std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text);
  };
  const std::string created = row->Collect("CreateDateTime").bstrVal;
  EXPECT_GE(created, localText(before)) << "now() is the local time";
  EXPECT_LE(created, localText(std::time(nullptr)));
  EXPECT_TRUE(row->Collect("UpdateDateTime").IsNull());
  row->MoveNext();
  EXPECT_TRUE(row->EndOfFile());
  // Further rows are numbered on from the seed.
  Exec(*db,
       "INSERT INTO t_expense_nexco_riyou (LowerKingaku, UpperKingaku, ExpenseNexcoRate, "
       "CreateDateTime) "
       "VALUES (100000000, 199999999, 0.5, Now())");
  EXPECT_EQ(
      Scalar(*db, "SELECT MAX(ExpenseNexcoRiyouID) AS n FROM t_expense_nexco_riyou", "n").lVal, 2);
}

TEST_F(UpdateStatements, RecordTheVersionWithItsCodeAsText) {
  RunStatements();
  RecordsetPtr row = db->Execute(
      "SELECT DBVerCode, DBPatchDate, UpdateDateTime FROM t_db_ver WHERE DBVerID = 7", nullptr);
  ASSERT_FALSE(row->EndOfFile());
  const Variant code = row->Collect("DBVerCode");
  EXPECT_EQ(code.vt, VT_BSTR);
  EXPECT_EQ(code.bstrVal, "1.07");  // the number 1.07 went into a text column
  EXPECT_EQ(row->Collect("DBPatchDate").bstrVal, "2009-11-04 00:00:00");
  EXPECT_EQ(row->Collect("UpdateDateTime").bstrVal.size(), 19u);

  EXPECT_EQ(Rows(file, kPassword,
                 "SELECT DBVerCommentID, DBVerID, DBVerComment FROM t_db_ver_comment ORDER BY "
                 "DBVerCommentID"),
            (std::vector<std::string>{"1|7|1.振替用コードテーブル追加",
                                      "2|7|2.NEXCO大口先調整額登録用テーブル追加"}));
  EXPECT_EQ(
      Scalar(*db, "SELECT UpdateDateTime FROM t_db_ver_comment", "UpdateDateTime").bstrVal.size(),
      19u);
}

TEST_F(UpdateStatements, MakeUniqueAndNonUniqueIndexes) {
  RunStatements();
  const std::string nexco =
      "INSERT INTO t_expense_nexco_riyou (LowerKingaku, UpperKingaku, ExpenseNexcoRate, "
      "CreateDateTime) VALUES ";
  for (const std::string values : {"(0, 5, 1.0, Now())", "(5, 99999999, 1.0, Now())"}) {
    const ComError error = ErrorOf([&] { Exec(*db, nexco + values); });
    EXPECT_EQ(error.Error(), E_Fail) << values;
    EXPECT_TRUE(Contains(error.Description(), "duplicate values")) << error.Description();
    EXPECT_TRUE(Contains(error.Description(), "'t_expense_nexco_riyou'")) << error.Description();
  }
  // The code index allows the same code twice; the SofuID index does not.
  Exec(*db,
       "INSERT INTO t_sofu_syukin_code (SofuID, SofuSyukinCode, CreateDateTime) VALUES (1, 'A01', "
       "Now())");
  Exec(*db,
       "INSERT INTO t_sofu_syukin_code (SofuID, SofuSyukinCode, CreateDateTime) VALUES (2, 'A01', "
       "Now())");
  const ComError error = ErrorOf([&] {
    Exec(*db,
         "INSERT INTO t_sofu_syukin_code (SofuID, SofuSyukinCode, CreateDateTime) VALUES (1, "
         "'B02', Now())");
  });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), "'SofuID'")) << error.Description();

  // The indexes are where SQLite tools see them, unique or not as written.
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_key(raw, kPassword.data(), static_cast<int>(kPassword.size()));
  std::vector<std::string> indexes;
  for (const char* table : {"t_expense_nexco_riyou", "t_sofu_syukin_code"}) {
    sqlite3_stmt* list = nullptr;
    sqlite3_prepare_v2(raw, (std::string("PRAGMA index_list(") + table + ")").c_str(), -1, &list,
                       nullptr);
    while (sqlite3_step(list) == SQLITE_ROW) {
      const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(list, 1));
      if (name.rfind("idx_", 0) == 0)
        indexes.push_back(name + (sqlite3_column_int(list, 2) ? ":unique" : ""));
    }
    sqlite3_finalize(list);
  }
  sqlite3_close(raw);
  std::sort(indexes.begin(), indexes.end());
  EXPECT_EQ(indexes,
            (std::vector<std::string>{
                "idx_sofusyukincode_sofuid:unique", "idx_sofusyukincode_sofusyukincode",
                "idx_xpnsnxcry_lowerkingaku:unique", "idx_xpnsnxcry_upperkingaku:unique"}));
}

TEST_F(UpdateStatements, EnforceTheirRelationships) {
  RunStatements();
  ComError error = ErrorOf([&] {
    Exec(*db,
         "INSERT INTO t_sofu_syukin_code (SofuID, SofuSyukinCode, CreateDateTime) VALUES (99, 'X', "
         "Now())");
  });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), "related record is required in table 't_sofu'"))
      << error.Description();

  error = ErrorOf(
      [&] { Exec(*db, "INSERT INTO t_db_ver_comment (DBVerID, DBVerComment) VALUES (8, 'x')"); });
  EXPECT_TRUE(Contains(error.Description(), "'t_db_ver'")) << error.Description();

  Exec(*db,
       "INSERT INTO t_sofu_syukin_code (SofuID, SofuSyukinCode, CreateDateTime) VALUES (1, 'X', "
       "Now())");
  // A key that related rows refer to cannot change; one no row refers to can.
  error = ErrorOf([&] { Exec(*db, "UPDATE t_sofu SET SofuID = 3 WHERE SofuID = 1"); });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), "table 't_sofu_syukin_code' includes related records"))
      << error.Description();
  Exec(*db, "UPDATE t_sofu SET SofuID = 3 WHERE SofuID = 2");
}

TEST_F(UpdateStatements, LimitTheCodeToTwentyCharacters) {
  RunStatements();
  const std::string twenty = "振替コード0123456789ABCDE";  // 20 characters, 40 bytes
  Exec(*db, "INSERT INTO t_sofu_syukin_code (SofuID, SofuSyukinCode, CreateDateTime) VALUES (1, '" +
                twenty + "', Now())");
  EXPECT_EQ(Scalar(*db, "SELECT SofuSyukinCode FROM t_sofu_syukin_code", "SofuSyukinCode").bstrVal,
            twenty);
  const ComError error = ErrorOf([&] {
    Exec(*db,
         "INSERT INTO t_sofu_syukin_code (SofuID, SofuSyukinCode, CreateDateTime) VALUES (2, '" +
             twenty + "F', Now())");
  });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), "'t_sofu_syukin_code.SofuSyukinCode' is too small"))
      << error.Description();
  // An update is held to the same limit.
  EXPECT_EQ(ErrorOf([&] {
              Exec(*db, "UPDATE t_sofu_syukin_code SET SofuSyukinCode = '" + twenty + "x'");
            }).Error(),
            E_Fail);
}

TEST_F(UpdateStatements, RequireTheirNotNullFields) {
  RunStatements();
  const ComError error = ErrorOf([&] {
    Exec(*db, "INSERT INTO t_sofu_syukin_code (SofuID, SofuSyukinCode) VALUES (1, 'X')");
  });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(),
                       "'t_sofu_syukin_code.CreateDateTime' cannot contain a Null value"))
      << error.Description();
}

TEST_F(UpdateStatements, CannotCreateWhatExistsInAnyLetterCase) {
  RunStatements();
  for (const std::string& sql : {kStatements[0], kStatements[4], kStatements[10]}) {
    const ComError error = ErrorOf([&] { Exec(*db, sql); });
    EXPECT_EQ(error.Error(), DB_E_Syntax);
    EXPECT_TRUE(Contains(error.Description(), "already exists")) << error.Description();
  }
  std::string upper = kStatements[0];
  upper.replace(upper.find("t_expense_nexco_riyou"), 21, "T_EXPENSE_NEXCO_RIYOU");
  const ComError error = ErrorOf([&] { Exec(*db, upper); });
  EXPECT_EQ(error.Description(), "Table 'T_EXPENSE_NEXCO_RIYOU' already exists.");
  EXPECT_EQ(ErrorOf([&] { Exec(*db, kStatements[1]); }).Error(), DB_E_Syntax);
}

TEST_F(UpdateStatements, RollBackAsAWholeInATransaction) {
  db->Close();
  const std::string before = DatabaseFingerprint(file, kPassword);
  db = Open(file, kPassword);
  EXPECT_EQ(db->BeginTrans(), 1);
  RunStatements();
  EXPECT_EQ(Scalar(*db, kVersionQuery, "MaxDBVerCode").bstrVal, "1.07");
  db->RollbackTrans();
  EXPECT_EQ(Scalar(*db, kVersionQuery, "MaxDBVerCode").bstrVal, "1.06");
  db->Close();
  EXPECT_EQ(DatabaseFingerprint(file, kPassword), before);
}

TEST_F(UpdateStatements, AFailureHalfWayIsUndoneByTheRollback) {
  db->Close();
  const std::string before = DatabaseFingerprint(file, kPassword);
  db = Open(file, kPassword);
  Exec(*db, "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.07x')");
  db->Close();
  const std::string withSeven = DatabaseFingerprint(file, kPassword);
  db = Open(file, kPassword);
  db->BeginTrans();
  RunStatements(1, 9);
  const ComError error =
      ErrorOf([&] { db->Execute(kStatements[9], nullptr); });  // DBVerID 7 is taken
  EXPECT_TRUE(Contains(error.Description(), "duplicate values")) << error.Description();
  db->RollbackTrans();
  db->Close();
  EXPECT_EQ(DatabaseFingerprint(file, kPassword), withSeven);
  EXPECT_NE(withSeven, before);
}

TEST_F(UpdateStatements, CheckTheRelatedTableWhenTheyCreateAKey) {
  RawExec(file, kPassword, "DROP TABLE t_sofu");
  ComError error = ErrorOf([&] { Exec(*db, kStatements[4]); });
  EXPECT_EQ(error.Error(), DB_E_NoTable);
  EXPECT_TRUE(Contains(error.Description(), "'t_sofu'")) << error.Description();
  EXPECT_TRUE(Contains(error.Description(), "'FK_SOFUSYUKINCODE_SOFUID'")) << error.Description();

  // A related field without a unique index cannot be referred to, as in Jet.
  Exec(*db, "CREATE TABLE t_sofu (SofuID INTEGER, SofuName VARCHAR(50))");
  error = ErrorOf([&] { Exec(*db, kStatements[4]); });
  EXPECT_EQ(error.Error(), E_Fail);
  EXPECT_TRUE(Contains(error.Description(), "No unique index found")) << error.Description();
  EXPECT_EQ(
      ErrorOf([&] { Scalar(*db, "SELECT SofuID FROM t_sofu_syukin_code", "SofuID"); }).Error(),
      DB_E_NoTable);

  Exec(*db, "CREATE UNIQUE INDEX idx_sofu ON t_sofu (SofuID)");
  Exec(*db, kStatements[4]);
}

}  // namespace
}  // namespace mivotra::test
