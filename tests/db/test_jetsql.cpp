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
  const auto tokens = Tokens(
      "SELECT [Field One],\tx1 FROM t WHERE a<>'it''s' & \"say \"\"hi\"\"\" "
      "AND b<=020 AND c>=1.07 AND d=#2009/11/04# AND e=.5e2;");
  const std::vector<std::pair<TokenType, std::string>> expected = {
      {T::Name, "SELECT"}, {T::BracketName, "Field One"},
      {T::Symbol, ","},    {T::Name, "x1"},
      {T::Name, "FROM"},   {T::Name, "t"},
      {T::Name, "WHERE"},  {T::Name, "a"},
      {T::Symbol, "<>"},   {T::String, "it's"},
      {T::Symbol, "&"},    {T::String, "say \"hi\""},
      {T::Name, "AND"},    {T::Name, "b"},
      {T::Symbol, "<="},   {T::Number, "020"},
      {T::Name, "AND"},    {T::Name, "c"},
      {T::Symbol, ">="},   {T::Number, "1.07"},
      {T::Name, "AND"},    {T::Name, "d"},
      {T::Symbol, "="},    {T::Date, "2009-11-04 00:00:00"},
      {T::Name, "AND"},    {T::Name, "e"},
      {T::Symbol, "="},    {T::Number, ".5e2"},
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
      {"SELECT \"open", "Syntax error in string"},
      {"SELECT [open", "Invalid bracketing"},
      {"SELECT []", "Invalid bracketing"},
      {"SELECT [a.b]", "Invalid bracketing"},
      {"SELECT #2009/13/01#", "Syntax error in date"},
      {"SELECT #2009/11/04", "Syntax error in date"},
      {"SELECT a @ b", "Invalid character"},
      {std::string("SELECT 'a\0b'", 12), "Syntax error in string"},
  };
  for (const auto& [sql, message] : cases) {
    const ComError error = ErrorOf([&sql = sql] { Tokenize(sql); });
    EXPECT_EQ(error.Error(), DB_E_Syntax) << sql;
    EXPECT_EQ(error.Source(), kEngineSource) << sql;
    EXPECT_TRUE(Contains(error.Description(), message)) << sql << ": " << error.Description();
  }
}

TEST(JetDateLiteral, ReadsJetsForms) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"2009/11/04", "2009-11-04 00:00:00"},
      {"11/04/2009", "2009-11-04 00:00:00"},  // US order whatever the locale
      {"2009-11-04", "2009-11-04 00:00:00"},
      {"11-4-2009", "2009-11-04 00:00:00"},
      {" 2009/11/04 13:45 ", "2009-11-04 13:45:00"},
      {"2009/11/04 13:45:59", "2009-11-04 13:45:59"},
      {"1/2/09 1:30 PM", "2009-01-02 13:30:00"},
      {"1/2/30", "1930-01-02 00:00:00"},
      {"12:00 AM", "1899-12-30 00:00:00"},
      {"12:15:00 pm", "1899-12-30 12:15:00"},
      {"1/1/100", "0100-01-01 00:00:00"},
      {"12/31/9999 23:59:59", "9999-12-31 23:59:59"},
      {"2/29/2008", "2008-02-29 00:00:00"},
      {"2/29/2009", std::nullopt},
      {"13/01/2009", std::nullopt},
      {"2009/11/04 24:00", std::nullopt},
      {"2009/11/04 10:60", std::nullopt},
      {"13:00 PM", std::nullopt},
      {"2009/11", std::nullopt},
      {"2009/11/04/01", std::nullopt},
      {"Nov 4 2009", std::nullopt},
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

  const Statement twoStatement = Translate("UPDATE t SET t.a = Abs(b) + 1, c = 'x' & c");
  const auto& two = std::get<UpdateStatement>(twoStatement.detail);
  EXPECT_TRUE(two.rowLocal);
  EXPECT_EQ(two.columns, (std::vector<std::string>{"a", "c"}));
  EXPECT_TRUE(two.condition.empty());
  EXPECT_EQ(twoStatement.sql, "UPDATE `t` SET " + two.assignments);

  // A clock read once per range, or a subquery that sees earlier ranges'
  // changes, would give a split statement another result.
  for (const char* statement :
       {"UPDATE t SET d = Now()", "UPDATE t SET a = 1 WHERE d < Date()",
        "UPDATE t SET a = (SELECT max(a) FROM t)",
        "UPDATE t SET a = 1 WHERE b IN (SELECT b FROM u)",
        "UPDATE t SET a = 1 WHERE EXISTS (SELECT * FROM u WHERE u.b = t.b)"}) {
    EXPECT_FALSE(std::get<UpdateStatement>(Translate(statement).detail).rowLocal) << statement;
  }
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
  EXPECT_EQ(create.primaryKey, std::vector<std::string>{"SofuSyukinCodeID"});
}

TEST(JetTranslator, AcceptsTheUpdatesStatementsAndCommonJetSql) {
  std::vector<std::string> accepted = kUpdateStatements;
  const std::vector<std::string> more = {
      "SELECT * FROM t",
      "select distinct a, b from [my table] as m where a between 1 and 10 order by a desc, b;",
      "SELECT TOP 3 a FROM t ORDER BY a",
      "SELECT t.*, u.b FROM (t INNER JOIN u ON t.id = u.id) LEFT OUTER JOIN v ON u.id = v.id",
      "SELECT a, COUNT(*) AS n, SUM(b), AVG(b), MIN(c), MAX(c) FROM t GROUP BY a HAVING COUNT(*) > "
      "1",
      "SELECT a FROM t WHERE a IN (1, 2, 3) AND b NOT IN (SELECT b FROM u) OR EXISTS (SELECT * "
      "FROM v)",
      "SELECT a FROM t WHERE name LIKE 'A%' AND NOT c IS NULL AND d IS NOT NULL",
      "SELECT UCase(a) & LCase(b), Len(a), Left(a, 2), Right(a, 2), Mid(a, 2, 1), Trim(a), IIf(a > "
      "1, 'x', 'y') FROM t",
      "SELECT Year(d), Month(d), Day(d), Hour(d), Minute(d), Second(d), Date(), Time() FROM t",
      "SELECT a FROM t UNION ALL SELECT a FROM u UNION SELECT b FROM v ORDER BY a",
      "INSERT INTO t SELECT * FROM u WHERE a Mod 2 = 0",
      "DELETE FROM t WHERE a = -1",
      "DELETE * FROM t",
      "DELETE t.* FROM t WHERE t.a = 1",
      "UPDATE t SET t.a = a + 1, b = 'x' WHERE c <> TRUE",
      "CREATE TABLE x (a COUNTER(100, 1), b TEXT(50) WITH COMPRESSION, c MEMO, d YESNO, e "
      "CURRENCY, f BYTE, "
      "g SHORT, h SINGLE, i DECIMAL(10, 2), j CHAR, CONSTRAINT u_bc UNIQUE (b, c))",
      "CREATE TABLE y (a LONG, b LONG, CONSTRAINT pk PRIMARY KEY (a, b), CONSTRAINT fk FOREIGN KEY "
      "(a) REFERENCES "
      "x (a) ON DELETE CASCADE, CONSTRAINT ck CHECK (b > 0))",
      "CREATE TABLE z (a INTEGER CONSTRAINT nn NOT NULL CONSTRAINT uq UNIQUE, d DATETIME DEFAULT "
      "Now(), e TEXT(5) "
      "DEFAULT 'x', f LONG DEFAULT -1)",
      "CREATE INDEX i ON t (a ASC, b DESC) WITH IGNORE NULL",
      "CREATE UNIQUE INDEX i ON t (a) WITH DISALLOW NULL",
      "CREATE INDEX PrimaryKey ON t (a) WITH PRIMARY",
      "DROP TABLE t;",
      "DROP INDEX i ON t",
  };
  accepted.insert(accepted.end(), more.begin(), more.end());
  for (const auto& sql : accepted) {
    try {
      EXPECT_FALSE(Translate(sql).sql.empty()) << sql;
    } catch (const ComError& error) {
      ADD_FAILURE() << sql << "\n  refused: " << error.Description();
    }
  }
}

TEST(JetTranslator, RefusesWhatItCannotDoFaithfully) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"SELECT 1; SELECT 2", "Characters found after end of SQL statement."},
      {"SELECT a FROM t;;", "Characters found after end of SQL statement."},
      {"PRAGMA key = 'x'", "Invalid SQL statement"},
      {"BEGIN", "Invalid SQL statement"},
      {"ALTER TABLE t ADD COLUMN x LONG", "ALTER TABLE is not supported"},
      {"CREATE VIEW v AS SELECT 1", "Only CREATE TABLE and CREATE [UNIQUE] INDEX"},
      {"SELECT Format(a, 'x') FROM t", "Undefined function 'Format'"},
      {"SELECT Nz(a, 0) FROM t", "Undefined function 'Nz'"},
      {"SELECT sqlite_version()", "Undefined function"},
      {"SELECT a FROM t RIGHT JOIN u ON t.a = u.a", "RIGHT JOIN is not supported"},
      {"SELECT DISTINCTROW a FROM t", "DISTINCTROW"},
      {"SELECT TOP 10 PERCENT a FROM t", "PERCENT"},
      {"SELECT a FROM t ORDER BY 1", "column position"},
      {"SELECT COUNT(DISTINCT a) FROM t", "COUNT(DISTINCT"},
      {"SELECT a \\ 2 FROM t", "operator '\\'"},
      {"SELECT 2 ^ 3", "operator '^'"},
      {"SELECT a FROM t WHERE a XOR b", "XOR"},
      {"SELECT a FROM t WHERE a LIKE '[a-c]%'", "character lists"},
      {"SELECT a FROM t IN 'other.mdb'", "other database files"},
      {"SELECT FROM t", "Expected an expression"},
      {"SELECT a FROM", "ends too early"},
      {"SELECT select FROM t", "Expected an expression"},
      {"INSERT t (a) VALUES (1)", "Syntax error in INSERT INTO statement."},
      {"INSERT INTO t (a) VALUES (1), (2)", "Characters found after end"},
      {"UPDATE t AS u SET a = 1", "Syntax error in UPDATE statement."},
      {"UPDATE t SET u.a = 1", "another table"},
      {"DELETE FROM t, u", "Characters found after end"},
      {"CREATE TABLE t (a BLOB)", "Unknown data type for field 'a'"},
      {"CREATE TABLE t (a LONGBINARY)", "not supported"},
      {"CREATE TABLE t (a TEXT(256))", "Size of field 'a' is too long"},
      {"CREATE TABLE t (a TEXT(0))", "at least 1"},
      {"CREATE TABLE t (a COUNTER(1, 2))", "increment of 1"},
      {"CREATE TABLE t (a COUNTER(0, 1))", "must start at"},
      {"CREATE TABLE t (a COUNTER, b COUNTER)", "only one counter"},
      {"CREATE TABLE t (a COUNTER, b LONG PRIMARY KEY)", "must be the primary key"},
      {"CREATE TABLE t (a LONG PRIMARY KEY, b LONG PRIMARY KEY)", "only one primary key"},
      {"CREATE TABLE t (a DECIMAL(30))", "precision"},
      {"CREATE TABLE t (a LONG DEFAULT a + 1)", "default value"},
      {"CREATE TABLE t ()", "Expected a name"},
      {"CREATE INDEX i ON t (a) WITH PRIMARY KEY", "Characters found after end"},
      {"CREATE INDEX i ON t", "Expected '('"},
      {"DROP INDEX i", "Expected ON"},
      {"DROP VIEW v", "Syntax error in DROP TABLE or DROP INDEX."},
      {"SELECT [a" + std::string(70, 'x') + "] FROM t", "at most 64 characters"},
  };
  for (const auto& [sql, message] : cases) {
    const ComError error = ErrorOf([&sql = sql] { Translate(sql); });
    EXPECT_EQ(error.Error(), DB_E_Syntax) << sql;
    EXPECT_TRUE(Contains(error.Description(), message))
        << sql << "\n  said: " << error.Description();
  }
}

TEST(JetTranslator, DeepNestingIsRefusedNotOverflowed) {
  auto nested = [](const std::string& head, int depth, const std::string& open,
                   const std::string& close) {
    std::string sql = head;
    for (int i = 0; i < depth; ++i) sql += open;
    sql += head.find("FROM") != std::string::npos ? "t" : "1";
    for (int i = 0; i < depth; ++i) sql += close;
    return sql;
  };
  EXPECT_NO_THROW(Translate(nested("SELECT ", 30, "(", ")")));
  EXPECT_NO_THROW(Translate(nested("SELECT * FROM ", 30, "(", ")")));
  for (const std::string& sql :
       {nested("SELECT ", 10000, "(", ")"), nested("SELECT ", 10000, "-", ""),
        nested("SELECT 1 WHERE ", 10000, "NOT ", ""), nested("SELECT * FROM ", 10000, "(", ")")}) {
    const ComError error = ErrorOf([&] { Translate(sql); });
    EXPECT_EQ(error.Error(), DB_E_Syntax);
    EXPECT_TRUE(Contains(error.Description(), "Query is too complex")) << error.Description();
  }
}

TEST(JetTranslator, StatementsLongerThanJetAllowsAreRefusedAtOnce) {
  EXPECT_NO_THROW(Translate("SELECT 1" + std::string(63990, ' ') + ";"));
  std::string sql = "SELECT 1";
  while (sql.size() <= 64000) sql += "+1";
  const ComError error = ErrorOf([&] { Translate(sql); });
  EXPECT_EQ(error.Error(), DB_E_Syntax);
  EXPECT_TRUE(Contains(error.Description(), "too long")) << error.Description();
}

TEST(JetTranslator, AParameterMarkerIsAMissingValue) {
  const ComError error = ErrorOf([] { Translate("SELECT a FROM t WHERE a = ?"); });
  EXPECT_EQ(error.Error(), DB_E_ParamNotOptional);
}

TEST(JetTranslator, TheErrorPointsAtTheOffendingPlace) {
  const ComError error = ErrorOf([] { Translate("SELECT a FROM t WHERE a = = 1"); });
  EXPECT_TRUE(Contains(error.Description(), "Near '= 1' (character 27)")) << error.Description();
}

TEST(JetTypes, DeclaredTypesReadBackAsJetsVariants) {
  const std::vector<std::pair<std::string, VARTYPE>> cases = {
      {"INTEGER", VT_I4},
      {"INT", VT_I4},
      {"SMALLINT", VT_I2},
      {"TINYINT", VT_UI1},
      {"REAL", VT_R4},
      {"DOUBLE", VT_R8},
      {"CURRENCY", VT_CY},
      {"DATETIME", VT_DATE},
      {"VARCHAR(20)", VT_BSTR},
      {"char(5)", VT_BSTR},
      {"LONGTEXT", VT_BSTR},
      {"BIT", VT_BOOL},
      {"DECIMAL(18,0)", VT_DECIMAL},
      {"TEXT", VT_BSTR},
      {"BLOB", VT_EMPTY},
      {"", VT_EMPTY},
      {"NUMBER", VT_R8},
      {"varchar (10)", VT_BSTR},
  };
  for (const auto& [declared, vt] : cases)
    EXPECT_EQ(VariantTypeOfDeclaredType(declared), vt) << declared;
}

TEST(JetNames, QuotingSurvivesAnyName) {
  EXPECT_EQ(QuoteName("a`b"), "`a``b`");
  EXPECT_EQ(QuoteText("it's"), "'it''s'");
  EXPECT_TRUE(EqualsNoCase("T_Db_Ver", "t_db_ver"));
  EXPECT_FALSE(EqualsNoCase("t_db_ver", "t_db_ver2"));
}

}  // namespace
}  // namespace mivotra::jet
