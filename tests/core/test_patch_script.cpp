// The 1.07 patch script and its reports, run by the update on sample
// databases: which groups run, their numbering, and what a failure leaves
// behind.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <memory>
#include <new>
#include <optional>

#include "DatabaseHelpers.h"
#include "FailingNew.h"
#include "FaultHooks.h"
#include "PatchProgram.h"
#include "RawDatabase.h"
#include "ScreenHooks.h"
#include "SessionFixture.h"
#include "jet/Session.h"
#include "res/Texts.h"
#include "update/PatchReport.h"
#include "update/PatchScript.h"

namespace mivotra::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

std::vector<std::string> IndexNames(const std::filesystem::path& file, const std::string& table) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(
      db,
      "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ? AND sql IS NOT NULL "
      "ORDER BY name",
      -1, &statement, nullptr);
  sqlite3_bind_text(statement, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  std::vector<std::string> names;
  while (sqlite3_step(statement) == SQLITE_ROW)
    names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return names;
}

// The golden file holds the thirteen statements of a full run, one a line,
// tabs as tabs: the texts the update must hand to the engine.
TEST(PatchStatements, AreTheGoldenTextsByteForByte) {
  const std::string golden =
      ReadFile(std::filesystem::path(MIVOTRA_SOURCE_DIR) / "tests/golden/patch_statements.txt");
  std::string written;
  for (const auto& group :
       PatchGroups({std::string(texts::UpdateItem1), std::string(texts::UpdateItem2)}))
    for (const auto& statement : group.statements) written += statement + "\n";
  EXPECT_EQ(written, golden);
}

TEST(PatchStatements, AreStoredByteForByte) {
  // Lengths of the stored texts, tabs counting one each.
  const std::vector<std::size_t> lengths = {261, 87, 87, 156, 285, 86, 77, 84, 130, 105, 223};
  std::vector<std::string> statements;
  for (const auto& group : PatchGroups({}))
    statements.insert(statements.end(), group.statements.begin(), group.statements.end());
  ASSERT_EQ(statements.size(), lengths.size());
  for (std::size_t i = 0; i < lengths.size(); ++i)
    EXPECT_EQ(statements[i].size(), lengths[i]) << statements[i];
  EXPECT_EQ(CommentRowStatement("1.振替用コードテーブル追加"),
            "INSERT INTO t_db_ver_comment (DBVerID,DBVerComment,UpdateDateTime ) VALUES "
            "(7,'1.振替用コードテーブル追加',now() );");
}

TEST(PatchReportTexts, NumberingKeepsAThreeCharacterField) {
  std::vector<ExecutedStatement> records;
  for (int i = 1; i <= 100; ++i) records.push_back({i, "S" + std::to_string(i)});
  const auto lines = Lines(NumberedStatementList(records));
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[0], "  1 S1");
  EXPECT_EQ(lines[8], "  9 S9");
  EXPECT_EQ(lines[9], " 10 S10");
  EXPECT_EQ(lines[99], "100 S100");
  EXPECT_EQ(NumberedStatementList({}), "");
}

TEST(PatchReportTexts, LogHeaderHasSevenLinesInWrittenOrder) {
  EXPECT_EQ(LogHeaderLines({std::string(texts::UpdateItem1), std::string(texts::UpdateItem2)}),
            (std::vector<std::string>{"", "**** 更新内容 (2009/11/09 更新) ****",
                                      "------------------------------------------------", "",
                                      "1.振替用コードテーブル追加",
                                      "2.NEXCO大口先調整額登録用テーブル追加", ""}));
}

class PatchScript : public SessionFixture {
 protected:
  static void SetUpTestSuite() {
    FailingAllocator::Install();
    StatementWatch::Install();
  }
  static void TearDownTestSuite() { FailingAllocator::Uninstall(); }

  std::vector<std::string> ClipboardLines() {
    return screen.clipboard ? Lines(*screen.clipboard) : std::vector<std::string>{};
  }
  // The backup a run made, out of the way of the next run.
  void RemoveBackup() { std::filesystem::remove_all(BackupOf(database).parent_path()); }
};

TEST_F(PatchScript, AFreshDatabaseRunsAllThirteenStatementsAndReadsBackAsVersion107) {
  StartWithSample();
  ASSERT_EQ(session->OnRunUpdate(), true);

  const auto lines = ClipboardLines();
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[9].substr(0, 4), " 10 ");
  EXPECT_EQ(lines[9].substr(4),
            "INSERT INTO t_db_ver (DBVerID,DBVerCode,DBPatchDate,UpdateDateTime ) VALUES "
            "(7,1.07,#2009/11/04#,now() );");
  EXPECT_EQ(screen.progress, 3);
  EXPECT_TRUE(session->Database().ExecutedStatements().empty());

  auto db = OpenDatabase(database);
  EXPECT_EQ(QueryText(*db, "SELECT ExpenseNexcoRiyouID FROM t_expense_nexco_riyou"), "1");
  EXPECT_EQ(QueryText(*db, "SELECT LowerKingaku FROM t_expense_nexco_riyou"), "0");
  EXPECT_EQ(QueryText(*db, "SELECT UpperKingaku FROM t_expense_nexco_riyou"), "99999999");
  EXPECT_EQ(QueryText(*db, "SELECT ExpenseNexcoRate FROM t_expense_nexco_riyou"), "0.0");
  EXPECT_EQ(QueryText(*db, "SELECT UpdateDateTime FROM t_expense_nexco_riyou"), "NULL");
  EXPECT_EQ(QueryText(*db, "SELECT DBVerCode FROM t_db_ver WHERE DBVerID = 7"), "1.07");
  EXPECT_EQ(QueryText(*db, "SELECT DBPatchDate FROM t_db_ver WHERE DBVerID = 7"),
            "2009-11-04 00:00:00");
  EXPECT_EQ(IndexNames(database, "t_expense_nexco_riyou"),
            (std::vector<std::string>{"idx_xpnsnxcry_lowerkingaku", "idx_xpnsnxcry_upperkingaku"}));
  EXPECT_EQ(
      IndexNames(database, "t_sofu_syukin_code"),
      (std::vector<std::string>{"idx_sofusyukincode_sofuid", "idx_sofusyukincode_sofusyukincode"}));
}

TEST_F(PatchScript, AnExistingCommentTableTakesTwelveStatements) {
  StartWithSample({.withCommentTable = true});
  ASSERT_EQ(session->OnRunUpdate(), true);
  const auto lines = ClipboardLines();
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[10].substr(0, 38), " 11 INSERT INTO t_db_ver_comment (DBVe");
  EXPECT_EQ(lines[11].substr(0, 4), " 12 ");
}

TEST_F(PatchScript, ADatabaseWithAllThreeTablesRunsFiveStatements) {
  StartWithSample();
  ASSERT_EQ(session->OnRunUpdate(), true);
  RawDatabase(database).Each("DELETE FROM t_db_ver_comment", [](sqlite3_stmt*) {});
  RawDatabase(database).Each("DELETE FROM t_db_ver WHERE DBVerID = 7", [](sqlite3_stmt*) {});
  RemoveBackup();
  screen.Clear();

  ASSERT_EQ(session->OnRunUpdate(), true);
  const auto lines = ClipboardLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(0, 22), "  1 UPDATE t_kumi_rate");
  EXPECT_EQ(lines[4].substr(0, 34), "  5 INSERT INTO t_db_ver_comment (");
  EXPECT_EQ(screen.progress, 6);  // three steps a run, also when every group is skipped
}

TEST_F(PatchScript, ATablePresentWithoutItsIndexesSkipsItsWholeGroup) {
  StartWithSample();
  session->Database().Engine().Execute(
      "CREATE TABLE t_expense_nexco_riyou (ExpenseNexcoRiyouID COUNTER PRIMARY KEY, LowerKingaku INTEGER);",
      nullptr);
  ASSERT_EQ(session->OnRunUpdate(), true);
  EXPECT_EQ(ClipboardLines().size(), 9u);
  EXPECT_TRUE(IndexNames(database, "t_expense_nexco_riyou").empty());
  auto db = OpenDatabase(database);
  EXPECT_EQ(RawDatabase(database).Text("SELECT COUNT(*) FROM t_expense_nexco_riyou"), "0");
}

TEST_F(PatchScript, ATableNamedInOtherLetterCaseFailsItsCreationAndLeavesTheDatabaseAsBefore) {
  StartWithSample();
  session->Database().Engine().Execute("CREATE TABLE T_EXPENSE_NEXCO_RIYOU (A INTEGER);", nullptr);
  const std::string before = DatabaseFingerprint(database);

  ASSERT_EQ(session->OnRunUpdate(), false);

  // The check compares names byte for byte: the group runs, and the engine
  // finds the name taken, as Jet does without regard to case.
  const auto messages = screen.Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].text, texts::M3BackupNotice);
  EXPECT_EQ(messages[1].icon, MessageIcon::Exclamation);
  EXPECT_NE(messages[1].text.find("Code : 0x80040e14\n"), std::string::npos) << messages[1].text;
  EXPECT_EQ(messages[2].text, "更新に失敗しました");
  const std::string first = PatchGroups({})[0].statements[0];
  EXPECT_EQ(messages[3].text, first);
  EXPECT_EQ(DatabaseFingerprint(database), before);
  EXPECT_FALSE(screen.waitCursor);
}

TEST_F(PatchScript, NoRowsWithKodan2StillSucceeds) {
  StartWithSample({.kumiRows = 0});
  ASSERT_EQ(session->OnRunUpdate(), true);
  EXPECT_EQ(ClipboardLines().size(), 13u);
}

TEST_F(PatchScript, AFailureAtTheVersionRowRollsEverythingBackAndReportsTheWholeList) {
  StartWithSample();
  session->Database().Engine().Execute(
      "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.05');", nullptr);
  const std::string before = DatabaseFingerprint(database);

  ASSERT_EQ(session->OnRunUpdate(), false);

  EXPECT_EQ(DatabaseFingerprint(database), before);
  auto events = screen.events;
  const auto errorWindow = std::find_if(events.begin(), events.end(), [](const ScreenEvent& e) {
    return e.kind == ScreenEvent::UpdateError;
  });
  ASSERT_NE(errorWindow, events.end());
  const std::string& text = errorWindow->text;
  const std::string versionRow = PatchGroups({})[3].statements[0];
  // Report lines end in CR LF, then an empty line, the statement, and the list with LF alone.
  EXPECT_EQ(text.rfind("Message : ", 0), 0u);
  EXPECT_NE(text.find("\r\nCode : 0x"), std::string::npos);
  const std::string tail = "\r\n\r\n" + versionRow + "  1 ";
  EXPECT_NE(text.find(tail), std::string::npos);
  EXPECT_NE(text.find("\n 10 " + versionRow + "\n\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 3), "\n\r\n");
  EXPECT_EQ(screen.progress, 2);
  EXPECT_FALSE(screen.clipboard);
  EXPECT_TRUE(session->Database().ExecutedStatements().empty());
}

// The numbered list as the user reads it, made here from the statements.
std::string Listed(const std::vector<std::string>& statements) {
  std::string list;
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const std::string number = std::to_string(i + 1);
    list += std::string(3 - number.size(), ' ') + number + " " + statements[i] + "\n";
  }
  return list;
}

std::string WithCrLf(std::string text) {
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
    text.replace(at, 1, "\r\n");
  return text;
}

// Failures on the way through the patch, each told in its form: the boxes in
// order (an engine report by its code), then the error window, whose text is
// the report, the statement and the list, or, after an unexpected failure,
// the list alone. A failing table scan is told on its own and counts as a
// missing table. The database is as it was after each: the patch is one
// transaction.
TEST_F(PatchScript, EachFailureIsToldInItsFormAndLeavesTheDatabaseAsItWas) {
  std::vector<std::string> all;
  for (const auto& group :
       PatchGroups({std::string(texts::UpdateItem1), std::string(texts::UpdateItem2)}))
    all.insert(all.end(), group.statements.begin(), group.statements.end());
  const std::vector<std::string> groupsAB(all.begin(), all.begin() + 7);
  const std::vector<std::string> toCommentTable(all.begin(), all.begin() + 11);
  // The nth table scan (counted from 1) starts to run.
  const auto atScan = [](int nth, std::function<void()> fault) {
    auto seen = std::make_shared<int>(0);
    StatementWatch::onStatement = [=](std::string_view sql) {
      if (sql.find("AS TABLE_NAME") != std::string_view::npos && ++*seen == nth) fault();
    };
  };
  const struct {
    const char* how;
    SampleOptions options;
    std::function<void(PatchSession&, HookScreen&)> arrange;
    std::vector<std::string> boxes;
    // The statement the report names; none after an unexpected failure.
    std::optional<std::string> statement;
    std::vector<std::string> listed;
    // Run on the sample before the session opens it.
    const char* alter = nullptr;
  } cases[] = {
      {"an exception that is no engine error, after groups A and B",
       {},
       [](PatchSession&, HookScreen& hooks) {
         hooks.onAdvance = [](int position) {
           if (position == 1) throw std::bad_alloc();
         };
       },
       {"*** 処理されない例外 ***", "更新に失敗しました"},
       std::nullopt,
       groupsAB},
      {"SQLite out of memory in the first table scan, which ends the transaction",
       {},
       [&](PatchSession&, HookScreen&) { atScan(1, [] { FailingAllocator::Arm(1, false); }); },
       {"Code : 0x8007000e", std::string(jet::kTransactionLost), "更新に失敗しました", all[0]},
       all[0],
       {all[0]}},
      {"the program out of memory in the scan for the comment table, which is there",
       {.withCommentTable = true},
       [&](PatchSession&, HookScreen&) { atScan(3, [] { FailNthNew(); }); },
       {"UnKnown Error", "Code : 0x80040e14", "更新に失敗しました", all[10]},
       all[10],
       toCommentTable},
      // Every statement runs, and still the version the gate reads is not 1.07.
      {"a version code column without a type, its codes text: '1.06' sorts above 1.07",
       {},
       [](PatchSession&, HookScreen&) {},
       {"reads '1.06' instead of '1.07'", "更新に失敗しました", all[12]},
       all[12],
       all,
       "ALTER TABLE t_db_ver RENAME TO old; CREATE TABLE t_db_ver (DBVerID INTEGER PRIMARY KEY, "
       "DBVerCode, DBPatchDate, UpdateDateTime); INSERT INTO t_db_ver SELECT DBVerID, "
       "CAST(DBVerCode AS TEXT), DBPatchDate, UpdateDateTime FROM old; DROP TABLE old"},
      {"version codes stored as BLOBs, which sort above every number",
       {},
       [](PatchSession&, HookScreen&) {},
       {"reads '1.06' instead of '1.07'", "更新に失敗しました", all[12]},
       all[12],
       all,
       "UPDATE t_db_ver SET DBVerCode = CAST(DBVerCode AS BLOB)"},
      {"a trigger that puts the old code into every new version row",
       {},
       [](PatchSession&, HookScreen&) {},
       {"reads '1.06' instead of '1.07'", "更新に失敗しました", all[12]},
       all[12],
       all,
       "CREATE TRIGGER keep_code AFTER INSERT ON t_db_ver BEGIN UPDATE t_db_ver SET DBVerCode = "
       "'1.06' WHERE DBVerID = NEW.DBVerID; END"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    session.reset();
    std::filesystem::remove(database);
    RemoveBackup();
    MakeSampleDatabase(database, c.options);
    if (c.alter) {
      RawDatabase raw(database);
      ASSERT_EQ(sqlite3_exec(raw.get(), c.alter, nullptr, nullptr, nullptr), SQLITE_OK);
    }
    const std::string before = DatabaseFingerprint(database);
    HookScreen hooks;
    PatchSession patch(hooks, probe);
    patch.ConnectChosenFile(database.string());
    ASSERT_TRUE(patch.Database().IsConnected());
    hooks.Clear();
    c.arrange(patch, hooks);

    EXPECT_FALSE(patch.OnRunUpdate());
    StatementWatch::onStatement = nullptr;
    FailingAllocator::Disarm();
    StopFailingNew();

    auto messages = hooks.Messages();
    ASSERT_EQ(messages.size(), c.boxes.size() + 1) << EncodeMessages(hooks);
    EXPECT_EQ(messages.front().text, texts::M3BackupNotice);
    messages.erase(messages.begin());
    for (std::size_t i = 0; i < messages.size(); ++i) {
      // Report boxes and the first box carry the application's icon.
      const bool own = i == 0 || messages[i].text.rfind("Message : ", 0) == 0;
      EXPECT_EQ(messages[i].caption, "MivotraPatch20091109");
      EXPECT_EQ(messages[i].icon, own ? MessageIcon::Exclamation : MessageIcon::None) << i;
      if (messages[i].text.rfind("Message : ", 0) == 0) {
        EXPECT_NE(messages[i].text.find(c.boxes[i]), std::string::npos) << messages[i].text;
      } else {
        EXPECT_EQ(messages[i].text, c.boxes[i]);
      }
    }
    EXPECT_TRUE(hooks.ArrowOverTheOutcome());
    EXPECT_FALSE(hooks.waitCursor);
    // The error window is the last thing shown; only the controls come back after it.
    const auto last = std::find_if(hooks.events.rbegin(), hooks.events.rend(), [](const auto& e) {
      return e.kind != ScreenEvent::RunEnabled && e.kind != ScreenEvent::SearchEnabled &&
             e.kind != ScreenEvent::CloseEnabled;
    });
    ASSERT_NE(last, hooks.events.rend());
    const ScreenEvent& window = *last;
    ASSERT_EQ(window.kind, ScreenEvent::UpdateError);
    if (c.statement) {
      const std::string& report = messages[messages.size() - 3].text;
      EXPECT_EQ(window.text,
                WithCrLf(report) + "\r\n\r\n" + *c.statement + Listed(c.listed) + "\r\n");
    } else {
      EXPECT_EQ(window.text, Listed(c.listed) + "\r\n");
    }
    EXPECT_TRUE(patch.Database().ExecutedStatements().empty());
    EXPECT_FALSE(hooks.clipboard);
    patch.Database().Disconnect();
    EXPECT_EQ(DatabaseFingerprint(database), before);
  }
}

TEST_F(PatchScript, ASecondRunNumbersFromOneWhileProgressGoesOn) {
  StartWithSample();
  session->Database().Engine().Execute(
      "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.05');", nullptr);
  ASSERT_EQ(session->OnRunUpdate(), false);
  RawDatabase(database).Each("DELETE FROM t_db_ver WHERE DBVerID = 7", [](sqlite3_stmt*) {});
  RemoveBackup();
  screen.Clear();
  ASSERT_EQ(session->OnRunUpdate(), true);
  EXPECT_EQ(ClipboardLines().front().substr(0, 4), "  1 ");
  EXPECT_EQ(screen.progress, 5);
}

TEST_F(PatchScript, ARehearsalRunsTheStatementsTheUpdateWouldAndKeepsNone) {
  StartWithSample({.withCommentTable = true});
  const std::string before = DatabaseFingerprint(database);
  ASSERT_TRUE(session->RehearseUpdate());
  const RunRecord& run = session->LastRun();
  EXPECT_EQ(run.end, RunRecord::End::WouldUpdate);
  ASSERT_EQ(run.statements.size(), 12u);
  EXPECT_EQ(run.statements.back().number, 12);
  EXPECT_EQ(ClipboardLines().size(), 12u);
  EXPECT_EQ(DatabaseFingerprint(database), before);
}

}  // namespace
}  // namespace mivotra::test
