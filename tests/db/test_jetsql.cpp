// The Jet SQL front end on its own: tokens, date literals, what it accepts
// and what it refuses. What the statements do is tested against real files
// in test_engine_*.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "EngineTesting.h"
#include "PatchStatements.h"
#include "jet/JetErrors.h"
#include "jet/sql/JetSql.h"

namespace mivotra::jet {
namespace {

using test::Contains;
using test::ErrorOf;

std::vector<std::pair<TokenType, std::string>> Tokens(std::string_view sql) {
  std::vector<std::pair<TokenType, std::string>> out;
  for (const auto& token : Tokenize(sql)) out.emplace_back(token.type, token.text);
  return out;
}

TEST(JetTokenizer, ReadsEveryKindOfToken) {
  using T = TokenType;
  const auto tokens =
      Tokens("SELECT x1 FROM t WHERE a<>'it''s' AND b<=020 AND c>=1.07 AND d=#2009/11/04#;");
  const std::vector<std::pair<TokenType, std::string>> expected = {
      {T::Name, "SELECT"}, {T::Name, "x1"}, {T::Name, "FROM"}, {T::Name, "t"},
      {T::Name, "WHERE"},  {T::Name, "a"},  {T::Symbol, "<>"}, {T::String, "it's"},
      {T::Name, "AND"},    {T::Name, "b"},  {T::Symbol, "<="}, {T::Number, "020"},
      {T::Name, "AND"},    {T::Name, "c"},  {T::Symbol, ">="}, {T::Number, "1.07"},
      {T::Name, "AND"},    {T::Name, "d"},  {T::Symbol, "="},  {T::Date, "2009-11-04 00:00:00"},
      {T::Symbol, ";"},    {T::End, ""},
  };
  EXPECT_EQ(tokens, expected);
}

TEST(JetTokenizer, JapaneseNamesAndTextPassUnchanged) {
  const auto tokens = Tokens("INSERT INTO 振替 VALUES ('1.振替用コードテーブル追加')");
  ASSERT_GE(tokens.size(), 6u);
  EXPECT_EQ(tokens[2], std::make_pair(TokenType::Name, std::string("振替")));
  EXPECT_EQ(tokens[5],
            std::make_pair(TokenType::String, std::string("1.振替用コードテーブル追加")));
}

TEST(JetTokenizer, RefusesBrokenText) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"SELECT 'open", "Syntax error in string"},
      {"SELECT #2009/13/01#", "Syntax error in date"},
      {"SELECT #2009/11/04", "Syntax error in date"},
      {"SELECT a @ b", "Invalid character"},
      {"SELECT \"text\"", "Invalid character"},
      {"SELECT [a b]", "Invalid character"},
      {"SELECT a.b FROM a", "Invalid character"},
      {"SELECT 1.", "Invalid character"},
      {std::string("SELECT 'a\0b'", 12), "Syntax error in string"},
  };
  for (const auto& [sql, message] : cases) {
    const ComError error = ErrorOf([&sql = sql] { Tokenize(sql); });
    EXPECT_EQ(error.Error(), DB_E_Syntax) << sql;
    EXPECT_EQ(error.Source(), kEngineSource) << sql;
    EXPECT_TRUE(Contains(error.Description(), message)) << sql << ": " << error.Description();
  }
}

TEST(JetDateLiteral, ReadsTheYearFirstForms) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"2009/11/04", "2009-11-04 00:00:00"},
      {"2009/06/01 10:00:00", "2009-06-01 10:00:00"},
      {"2009/6/1 9:05", "2009-06-01 09:05:00"},
      {"0100/01/01", "0100-01-01 00:00:00"},
      {"9999/12/31 23:59:59", "9999-12-31 23:59:59"},
      {"2008/02/29", "2008-02-29 00:00:00"},
      {"2000/02/29", "2000-02-29 00:00:00"},
      {"2009/02/29", std::nullopt},
      {"1900/02/29", std::nullopt},
      {"2009/04/31", std::nullopt},
      {"0099/12/31", std::nullopt},
      {"2009/13/01", std::nullopt},
      {"2009/11/04 24:00", std::nullopt},
      {"2009/11/04 10:60", std::nullopt},
      {"2009/11/04 10", std::nullopt},
      {"2009/11", std::nullopt},
      {"2009/11/04/01", std::nullopt},
      {"11/04/2009", std::nullopt},  // US order: refused rather than read either way
      {"09/11/04", std::nullopt},
      {"2009-11-04", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseDateLiteral(text), expected) << text;
}

// The statements the update runs, byte for byte, with their tabs.
const std::vector<std::string> kUpdateStatements = test::AllPatchStatements();

TEST(JetTranslator, TheUpdatesRateStatementsReachSQLiteAsTheyMean) {
  // The benchmark compares these with the same text run straight in SQLite,
  // so they must not grow anything on the way.
  EXPECT_EQ(
      Translate(
          "UPDATE t_kumi_rate SET KumiRateTypeID = 1 WHERE KodanID = 2 AND KumiRateTypeID <> 1;")
          .sql,
      "UPDATE `t_kumi_rate` SET `KumiRateTypeID` = 1 WHERE ((`KodanID` = 2) AND "
      "(`KumiRateTypeID` <> "
      "1))");
  EXPECT_EQ(
      Translate(
          "UPDATE t_kumi_rate SET KumiUpperRateTypeID = KumiLowerRateTypeID WHERE KodanID = 2 AND "
          "KumiUpperRateTypeID <> KumiLowerRateTypeID;")
          .sql,
      "UPDATE `t_kumi_rate` SET `KumiUpperRateTypeID` = `KumiLowerRateTypeID` WHERE "
      "((`KodanID` = 2) "
      "AND (`KumiUpperRateTypeID` <> `KumiLowerRateTypeID`))");
  EXPECT_EQ(Translate("SELECT MAX(DBVerCode) AS MaxDBVerCode FROM t_db_ver;").sql,
            "SELECT max(`DBVerCode`) AS `MaxDBVerCode` FROM `t_db_ver`");
}

TEST(JetTranslator, AnUpdateSaysWhetherEachRowDependsOnItselfAlone) {
  const Statement ratesStatement = Translate(kUpdateStatements[8]);
  const auto& rates = std::get<UpdateStatement>(ratesStatement.detail);
  EXPECT_TRUE(rates.rowLocal);
  EXPECT_EQ(rates.columns, std::vector<std::string>{"KumiUpperRateTypeID"});
  EXPECT_EQ(ratesStatement.sql,
            "UPDATE `t_kumi_rate` SET " + rates.assignments + " WHERE " + rates.condition);
  // A clock read once per range would give a split statement another result.
  EXPECT_FALSE(std::get<UpdateStatement>(Translate("UPDATE t SET d = Now()").detail).rowLocal);
}

TEST(JetTranslator, CreateTableKeepsJetTypesAndAddsItsRules) {
  const Statement statement = Translate(kUpdateStatements[4]);  // t_sofu_syukin_code
  EXPECT_EQ(statement.Kind(), StatementKind::CreateTable);
  const auto& create = std::get<CreateTableStatement>(statement.detail);
  EXPECT_EQ(statement.table, "t_sofu_syukin_code");
  // The counter is SQLite's own row number, so it counts by itself.
  EXPECT_TRUE(Contains(statement.sql, "`SofuSyukinCodeID` INTEGER PRIMARY KEY AUTOINCREMENT"));
  EXPECT_TRUE(Contains(statement.sql, "`SofuSyukinCode` VARCHAR(20) COLLATE NOCASE NOT NULL"));
  EXPECT_TRUE(Contains(statement.sql, "CHECK (length(`SofuSyukinCode`) <= 20)"));
  EXPECT_TRUE(Contains(statement.sql,
                       "CONSTRAINT `FK_SOFUSYUKINCODE_SOFUID` REFERENCES `t_sofu` (`SofuID`)"));
  ASSERT_EQ(create.foreignKeys.size(), 1u);
  EXPECT_EQ(create.foreignKeys[0].refTable, "t_sofu");
  EXPECT_EQ(create.foreignKeys[0].refColumns, std::vector<std::string>{"SofuID"});
  // A lone INTEGER key stays apart from SQLite's row number, which would fill in a Null.
  EXPECT_TRUE(Contains(Translate("CREATE TABLE v (id INTEGER CONSTRAINT pk PRIMARY KEY)").sql,
                       "`id` INT CONSTRAINT `pk` PRIMARY KEY NOT NULL"));
}

// A failure to prepare is told by the first name that is missing, in the
// order SQLite resolves them: the table written, its fields, then the table read.
TEST(JetTranslator, NamesTheTablesAndFieldsInTheOrderSQLiteResolvesThem) {
  const Statement statement =
      Translate("INSERT INTO t (a, b) SELECT c, MAX(d) AS m FROM u WHERE e <= 3");
  std::vector<std::string> names;
  for (const auto& use : statement.names)
    names.push_back(use.table + "." + use.column + (use.inserted ? "*" : ""));
  EXPECT_EQ(names, (std::vector<std::string>{"t.", "t.a*", "t.b*", "u.", "u.c", "u.d", "u.e"}));
}

TEST(JetTranslator, AcceptsTheUpdatesAndTheSampleMakersStatements) {
  std::vector<std::string> accepted = kUpdateStatements;
  const std::vector<std::string> sampleMaker = {
      "CREATE TABLE t_db_ver (DBVerID INTEGER CONSTRAINT PK_t_db_ver PRIMARY KEY, DBVerCode "
      "VARCHAR(10) NOT NULL, DBPatchDate DATETIME, UpdateDateTime DATETIME);",
      "INSERT INTO t_db_ver (DBVerID, DBVerCode, DBPatchDate, UpdateDateTime) VALUES (1, '1.01', "
      "#2007/04/02#, #2007/04/02 10:00:00#);",
      "CREATE TABLE t_sofu (SofuID COUNTER CONSTRAINT PK_t_sofu PRIMARY KEY, SofuName VARCHAR(50) "
      "NOT NULL, SofuKana VARCHAR(50), CreateDateTime DATETIME NOT NULL, UpdateDateTime "
      "DATETIME);",
      "INSERT INTO t_sofu (SofuName, CreateDateTime) VALUES ('東日本運輸株式会社', now());",
      "INSERT INTO t_kumi_rate (KodanID, KumiRate, CreateDateTime) SELECT KodanID, KumiRate, "
      "CreateDateTime FROM t_kumi_rate WHERE KumiRateID <= 12;",
      "INSERT INTO t_kumi_rate (KumiRate) VALUES (0.500000);",
  };
  accepted.insert(accepted.end(), sampleMaker.begin(), sampleMaker.end());
  for (const auto& sql : accepted) {
    try {
      EXPECT_FALSE(Translate(sql).sql.empty()) << sql;
    } catch (const ComError& error) {
      ADD_FAILURE() << sql << "\n  refused: " << error.Description();
    }
  }
}

TEST(JetTranslator, RefusesWhatTheProgramsDoNotRun) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"SELECT 1; SELECT 2", "Characters found after end of SQL statement."},
      {"SELECT a FROM t;;", "Characters found after end of SQL statement."},
      {"PRAGMA key = 'x'", "Invalid SQL statement"},
      {"DELETE FROM t", "Invalid SQL statement"},
      {"DROP TABLE t", "Invalid SQL statement"},
      {"CREATE VIEW v AS SELECT 1", "Only CREATE TABLE and CREATE [UNIQUE] INDEX"},
      {"SELECT a FROM t UNION SELECT a FROM u", "Characters found after end"},
      {"SELECT a FROM t, u", "Characters found after end"},
      {"SELECT a FROM t INNER JOIN u ON a = b", "Characters found after end"},
      {"SELECT a FROM t ORDER BY a", "Characters found after end"},
      {"SELECT TOP 1 a FROM t", "Characters found after end"},
      {"SELECT IIf(a = 1, 2, 3) FROM t", "Undefined function 'IIf'"},
      {"SELECT Mid(a, 1) FROM t", "Undefined function 'Mid'"},
      {"SELECT COUNT(a) FROM t", "Undefined function 'COUNT'"},
      {"SELECT a FROM t WHERE a = 1 OR b = 2", "Characters found after end"},
      {"SELECT a FROM t WHERE a", "Expected a comparison"},
      {"SELECT FROM t", "Expected an expression"},
      {"UPDATE t SET a = 1 WHERE NOT a = 1", "Expected an expression"},
      {"CREATE TABLE t (a LONG)", "Unknown data type for field 'a'"},
      {"CREATE TABLE t (a TEXT(10))", "Unknown data type for field 'a'"},
      {"CREATE TABLE t (a VARCHAR(256))", "at most 255 characters"},
      {"CREATE TABLE t (a VARCHAR(0))", "at least 1"},
      {"CREATE TABLE t (a AUTOINCREMENT(2, 1))", "must start at 1 and rise by 1"},
      {"CREATE TABLE t (a COUNTER, b COUNTER)", "only one counter field"},
      {"CREATE TABLE t (a INTEGER PRIMARY KEY, b COUNTER)", "must be the primary key"},
      {"CREATE TABLE t (a INTEGER PRIMARY KEY, b INTEGER PRIMARY KEY)", "only one primary key"},
      {"CREATE TABLE t (a INTEGER, CONSTRAINT pk PRIMARY KEY (a))", "Expected a name"},
      {"CREATE TABLE t (a INTEGER UNIQUE)", "Expected ')'"},
      {"CREATE TABLE t (a INTEGER DEFAULT b)", "A default value must be a constant"},
      {"CREATE TABLE t (a INTEGER CONSTRAINT c NOT NULL)", "Expected PRIMARY KEY or REFERENCES"},
      {"CREATE INDEX i ON t (a DESC)", "Expected ')'"},
      {"CREATE INDEX i ON t (a) WITH DISALLOW NULL", "Characters found after end"},
      {"UPDATE t SET a = 1, b", "Expected '='"},
      {"INSERT INTO t (a) DEFAULT VALUES", "Expected VALUES or SELECT"},
      {"SELECT select FROM t", "Expected an expression"},
  };
  for (const auto& [sql, message] : cases) {
    const ComError error = ErrorOf([&sql = sql] { Translate(sql); });
    EXPECT_EQ(error.Error(), DB_E_Syntax) << sql;
    EXPECT_TRUE(Contains(error.Description(), message)) << sql << ": " << error.Description();
  }
}

TEST(JetTranslator, TheErrorPointsAtTheOffendingPlace) {
  const ComError error = ErrorOf([] { Translate("SELECT a FROM t WHERE a = = 1"); });
  EXPECT_TRUE(Contains(error.Description(), "Near '= 1' (character 27)")) << error.Description();
}

TEST(JetNames, QuotingSurvivesAnyName) {
  EXPECT_EQ(QuoteName("a`b"), "`a``b`");
  EXPECT_EQ(QuoteText("it's"), "'it''s'");
  EXPECT_TRUE(EqualsNoCase("T_Db_Ver", "t_db_ver"));
  EXPECT_FALSE(EqualsNoCase("t_db_ver", "t_db_ver2"));
}

}  // namespace
}  // namespace mivotra::jet
