// What the sample maker and a full update by the real console leave in
// SQLite, compared byte for byte with pictures kept in tests/golden/: the
// file's header settings, sqlite_master as SQLite stores it, and every value
// of every table with its type. A change in how the engine translates or runs
// any of their statements shows here as a diff.
//
// MIVOTRA_GOLDEN_REWRITE=1 writes the pictures anew instead of comparing
// (then read `git diff tests/golden` before committing them).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>

#include "PatchProgram.h"
#include "RawDatabase.h"
#include "TestSupport.h"

namespace mivotra::test {
namespace {

// SQLite's local time, as now() writes it.
std::string LocalTime(std::time_t when) {
  std::tm parts{};
  localtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

// The times a run can have written with now(): a text of exactly the
// 'YYYY-MM-DD HH:MM:SS' form between the two ends. Such a value is shown as
// <now>; a time of another form, zone or moment stays as it is and differs.
struct Clock {
  std::string from, to;

  std::string Mask(const std::string& quoted) const {
    if (quoted.size() != 21 || quoted.front() != '\'' || quoted.back() != '\'') return quoted;
    const std::string value = quoted.substr(1, 19);
    static const std::string form = "dddd-dd-dd dd:dd:dd";
    for (std::size_t i = 0; i < form.size(); ++i)
      if (form[i] == 'd' ? value[i] < '0' || value[i] > '9' : value[i] != form[i]) return quoted;
    return value >= from && value <= to ? "<now>" : quoted;
  }
};

// SQL's quoting: `mark` doubled inside, around the whole.
std::string Quoted(const std::string& text, char mark) {
  std::string quoted(1, mark);
  for (char c : text) quoted += c == mark ? std::string(2, c) : std::string(1, c);
  return quoted + mark;
}

// Every row of `sql`, each value as quote() gives it, joined by '|'.
std::string QuotedRows(RawDatabase& db, const std::string& sql, const Clock& clock) {
  std::string rows;
  db.Each(sql, [&](sqlite3_stmt* statement) {
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      if (i) rows += '|';
      rows += clock.Mask(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
    }
    rows += '\n';
  });
  return rows;
}

std::string PictureOf(const fs::path& file, const std::string& password, const Clock& clock) {
  RawDatabase db(file, password);
  std::string picture;
  for (const char* setting :
       {"page_size", "auto_vacuum", "encoding", "user_version", "application_id", "journal_mode"})
    picture += std::string(setting) + " " + db.Text(std::string("PRAGMA ") + setting) + "\n";
  // Rowid order is the order the objects were made in.
  picture += "== sqlite_master (type, name, tbl_name, sql)\n" +
             QuotedRows(db,
                        "SELECT quote(type), quote(name), quote(tbl_name), quote(sql) FROM "
                        "sqlite_master ORDER BY rowid",
                        clock);
  for (const auto& table :
       db.Rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    std::string names = "rowid", values = "quote(rowid)";
    for (const auto& column :
         db.Rows("SELECT name FROM pragma_table_info(" + Quoted(table, '\'') + ") ORDER BY cid")) {
      names += ", " + column;
      values += ", quote(" + Quoted(column, '"') + ")";
    }
    picture +=
        "== " + table + " (" + names + ")\n" +
        QuotedRows(db, "SELECT " + values + " FROM " + Quoted(table, '"') + " ORDER BY rowid",
                   clock);
  }
  return picture;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Diff(const fs::path& expected, const fs::path& actual) {
  const std::string command =
      "diff -u -- " + ShellQuoted(expected.string()) + " " + ShellQuoted(actual.string());
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "(diff could not be run)";
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// Where two pictures part, with a little of each side: lines of a schema
// run to hundreds of characters, too long to compare by eye in a diff.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  // Excerpts begin and end on whole UTF-8 characters.
  auto lead = [](const std::string& text, std::size_t i) {
    while (i > 0 && i < text.size() && (text[i] & 0xC0) == 0x80) --i;
    return i;
  };
  auto trail = [](const std::string& text, std::size_t i) {
    while (i < text.size() && (text[i] & 0xC0) == 0x80) ++i;
    return std::min(i, text.size());
  };
  const std::size_t lineStart = at == 0 ? 0 : expected.rfind('\n', at - 1) + 1;
  const std::size_t from = lead(expected, std::max(lineStart, at < 40 ? 0 : at - 40));
  const std::size_t split = lead(expected, at);
  auto excerpt = [&](const std::string& text) {
    return "\"" + text.substr(from, split - from) + "‖" +
           text.substr(split, std::min(trail(text, split + 40), text.find('\n', split)) - split) +
           "\"";
  };
  const auto line = 1 + std::count(expected.begin(), expected.begin() + lineStart, '\n');
  return "first difference at line " + std::to_string(line) + ", byte " +
         std::to_string(1 + at - lineStart) + ": golden " + excerpt(expected) + ", this run " +
         excerpt(actual) + "\n";
}

void ExpectGolden(const std::string& picture, const std::string& name) {
  const fs::path golden = fs::path(MIVOTRA_SOURCE_DIR) / "tests/golden" / name;
  if (std::getenv("MIVOTRA_GOLDEN_REWRITE")) {
    // Rows that share a picture must agree on it, or the last would win.
    static std::map<std::string, std::string> written;
    const auto [at, first] = written.emplace(name, picture);
    EXPECT_EQ(at->second, picture) << name << " is written differently by two rows";
    if (first) WriteFile(golden, picture);
    return;
  }
  const std::string expected = ReadFile(golden);
  if (picture == expected) return;
  const fs::path actual = fs::path(MIVOTRA_BINARY_DIR) / "tests/golden-actual" / name;
  fs::create_directories(actual.parent_path());
  WriteFile(actual, picture);
  ADD_FAILURE() << "What reached SQLite differs from " << golden << " (this run's picture is "
                << actual << "); " << FirstDifference(expected, picture) << Diff(golden, actual);
}

struct GoldenCase {
  const char* name;
  SampleOptions sample;
  const char* picture;  // <picture>.txt after the sample maker, <picture>-updated.txt after
};

void PrintTo(const GoldenCase& golden, std::ostream* out) {
  *out << golden.name;
}

class GoldenPicture : public testing::TestWithParam<GoldenCase> {
 protected:
  static void SetUpTestSuite() {
    // A zone away from UTC, inherited by both programs: a time written in
    // UTC where now() means local time falls outside the clock and shows.
    setenv("TZ", "JST-9", 1);
    tzset();
  }

  TempDir dir;
};

TEST_P(GoldenPicture, OfTheSampleAndOfItsFullUpdateByTheConsole) {
  const GoldenCase& golden = GetParam();
  const fs::path database = dir / "data1.mdb";
  Clock clock{LocalTime(std::time(nullptr) - 1), {}};

  MakeSampleDatabase(database, golden.sample);
  clock.to = LocalTime(std::time(nullptr) + 1);
  ExpectGolden(PictureOf(database, golden.sample.password, clock),
               std::string(golden.picture) + ".txt");

  std::vector<std::string> arguments = {"--database", database.string()};
  std::vector<std::string> environment;
  if (!golden.sample.password.empty()) {
    arguments.insert(arguments.end(), {"--password-env", "MIVOTRA_GOLDEN_PASSWORD"});
    environment.push_back("MIVOTRA_GOLDEN_PASSWORD=" + golden.sample.password);
  }
  const Finished run = RunPatch(dir.path(), arguments, "update", environment);
  ASSERT_TRUE(run.outcome.Succeeded()) << run.err;
  clock.to = LocalTime(std::time(nullptr) + 1);
  ExpectGolden(PictureOf(database, golden.sample.password, clock),
               std::string(golden.picture) + "-updated.txt");
}

// The encrypted sample must reach SQLite exactly as the plain one does.
INSTANTIATE_TEST_SUITE_P(
    Samples, GoldenPicture,
    testing::Values(GoldenCase{"Default", {}, "picture-sample"},
                    GoldenCase{"DefaultEncrypted", {.password = "g'鍵 #;"}, "picture-sample"},
                    GoldenCase{"CommentTable",
                               {.withCommentTable = true, .kumiRows = 40},
                               "picture-comment-table"}),
    [](const testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mivotra::test
