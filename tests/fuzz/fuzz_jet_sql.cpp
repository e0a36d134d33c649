// The Jet SQL front end on any text: the tokenizer and the translator either
// give a result or raise ComError, never crash or hang. What they give must
// hold together: tokens cover the statement in order, date literals are real
// dates, and every accepted statement becomes exactly one SQLite statement
// that SQLite parses (checked against an in-memory database with a few
// tables, where names that do not exist are fine but syntax errors are not).

#include <sqlcipher/sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "jet/ComError.h"
#include "jet/JetErrors.h"
#include "jet/sql/JetSql.h"

namespace mivotra::jet {
namespace {

// The engine's stored form of a date, "YYYY-MM-DD HH:MM:SS".
bool IsStoredDate(std::string_view text) {
  constexpr std::string_view kShape = "0000-00-00 00:00:00";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return false;
  }
  return true;
}

using fuzz::Check;
using fuzz::Shown;

bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

void CheckSyntaxError(const ComError& error, std::string_view sql) {
  Check(error.Error() == DB_E_Syntax || error.Error() == DB_E_ParamNotOptional,
        "a refusal is a syntax error (or an unknown name)", Shown(sql));
  Check(error.Source() == kEngineSource, "the engine names itself as the source", Shown(sql));
  Check(!error.Description().empty(), "a refusal says what is wrong", Shown(sql));
}

void CheckTokens(std::string_view sql) {
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(sql);
  } catch (const ComError& error) {
    CheckSyntaxError(error, sql);
    return;
  }
  Check(!tokens.empty() && tokens.back().type == TokenType::End, "tokens end with End", Shown(sql));
  std::size_t covered = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    const std::string detail = Shown(sql) + " token " + std::to_string(i) + " " + Shown(token.text);
    Check(token.type != TokenType::End || i + 1 == tokens.size(), "one End, at the end", detail);
    Check(token.offset >= covered && token.offset + token.length <= sql.size(),
          "tokens in order inside the statement", detail);
    for (std::size_t k = covered; k < token.offset; ++k) {
      Check(IsSpace(sql[k]), "only blanks between tokens", detail);
    }
    covered = token.offset + token.length;
    const std::string_view written = sql.substr(token.offset, token.length);
    switch (token.type) {
      case TokenType::Name:
      case TokenType::Number:
      case TokenType::Symbol:
        Check(!written.empty() && written == token.text, "the token is the text as written",
              detail);
        break;
      case TokenType::String:
        Check(written.size() >= 2 && (written.front() == '\'' || written.front() == '"') &&
                  written.back() == written.front() && token.text.size() <= written.size() - 2,
              "a string between its quotes", detail);
        break;
      case TokenType::Date:
        Check(written.size() >= 2 && written.front() == '#' && written.back() == '#',
              "a date literal between '#'", detail);
        Check(IsStoredDate(token.text), "a date token holds a stored date", detail);
        break;
      case TokenType::End:
        Check(token.offset == sql.size() && token.length == 0, "End stands at the end", detail);
        break;
    }
  }
}

void CheckDateLiteral(std::string_view text) {
  const std::optional<std::string> stored = ParseDateLiteral(text);
  if (!stored) return;
  Check(IsStoredDate(*stored), "a date literal becomes a stored date",
        Shown(text) + " gave " + Shown(*stored));
}

// One connection for the whole run; each input works inside a savepoint that
// is rolled back, so every input sees the same tables.
sqlite3* Database() {
  static sqlite3* db = [] {
    sqlite3* opened = nullptr;
    Check(sqlite3_open(":memory:", &opened) == SQLITE_OK, "an in-memory database");
    const char* schema =
        "CREATE TABLE t (a INTEGER, b TEXT, c DATETIME);"
        "CREATE TABLE t_db_ver (DBVerID INTEGER PRIMARY KEY, DBVerCode DOUBLE,"
        " DBPatchDate DATETIME, UpdateDateTime DATETIME);"
        "CREATE TABLE t_kumi_rate (KumiRateID INTEGER PRIMARY KEY, KodanID INTEGER,"
        " KumiRateTypeID INTEGER, KumiUpperRateTypeID INTEGER, KumiLowerRateTypeID INTEGER);"
        "CREATE TABLE t_sofu (SofuID INTEGER PRIMARY KEY, SofuName TEXT);";
    Check(sqlite3_exec(opened, schema, nullptr, nullptr, nullptr) == SQLITE_OK, "the tables");
    return opened;
  }();
  return db;
}

// SQLite's messages for text it cannot parse, and for calls the translator
// should never write.
bool IsParseFault(std::string_view message) {
  for (std::string_view fault : {"syntax error", "unrecognized token", "incomplete input",
                                 "no such function", "wrong number of arguments"}) {
    if (message.find(fault) != std::string_view::npos) return true;
  }
  return false;
}

// Prepares one translated statement: it must be exactly one statement that
// SQLite can parse. Runs it when `run` and it prepared.
void Prepare(sqlite3* db, const std::string& sql, std::string_view jet, bool run,
             int* columnCount = nullptr) {
  const std::string detail = Shown(jet) + " became " + Shown(sql);
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  const int rc =
      sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()) + 1, &statement, &tail);
  if (rc != SQLITE_OK) {
    const std::string message = sqlite3_errmsg(db);
    Check(!IsParseFault(message), "the translation is SQL that SQLite parses",
          detail + ": " + message);
    return;
  }
  Check(statement != nullptr, "the translation is not empty", detail);
  Check(sql.find('\0') == std::string::npos, "no NUL inside the translation", detail);
  for (; tail != nullptr && *tail != '\0'; ++tail) {
    Check(IsSpace(*tail) || *tail == ';', "exactly one statement", detail);
  }
  if (columnCount) *columnCount = sqlite3_column_count(statement);
  if (run) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
    }
  }
  sqlite3_finalize(statement);
}

// The engine applies a large UPDATE a range of rowids at a time, joining the
// parts the translator gives: they must make the same statement, and the
// ranged one must prepare wherever the whole one does.
void CheckUpdateParts(sqlite3* db, const Statement& statement, const UpdateStatement& update,
                      std::string_view jet) {
  const std::string detail = Shown(jet) + " became " + Shown(statement.sql);
  std::string joined = "UPDATE " + QuoteName(statement.table) + " SET " + update.assignments;
  if (!update.condition.empty()) joined += " WHERE " + update.condition;
  Check(joined == statement.sql, "an UPDATE is its parts joined", detail);
  Check(!update.columns.empty(), "an UPDATE names the fields it sets", detail);
  auto prepares = [db](const std::string& sql, int* parameters) {
    sqlite3_stmt* prepared = nullptr;
    const bool ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &prepared, nullptr) == SQLITE_OK;
    if (ok && parameters) *parameters = sqlite3_bind_parameter_count(prepared);
    sqlite3_finalize(prepared);
    return ok;
  };
  if (!prepares(statement.sql, nullptr)) return;
  for (const OnConflict conflict : {OnConflict::Abort, OnConflict::Fail, OnConflict::Rollback}) {
    const std::string ranged = UpdateSql(statement.table, update, UpdateForm{conflict, "rowid"});
    int parameters = 0;
    Check(prepares(ranged, &parameters) && parameters == 2,
          "the ranged UPDATE prepares with its two bounds alone",
          detail + " ranged " + Shown(ranged));
  }
}

void CheckTranslation(std::string_view jet) {
  Statement statement;
  try {
    statement = Translate(jet);
  } catch (const ComError& error) {
    CheckSyntaxError(error, jet);
    return;
  }
  const std::string detail = Shown(jet) + " became " + Shown(statement.sql);
  Check(!statement.sql.empty(), "an accepted statement has a translation", detail);
  const StatementKind kind = statement.Kind();
  if (kind != StatementKind::Select) {
    Check(!statement.table.empty(), "a statement that writes names its table", detail);
  }
  const auto* createIndex = statement.As<CreateIndexStatement>();
  if (createIndex) Check(!createIndex->index.empty(), "an index statement names its index", detail);
  for (const NameUse& name : statement.names) {
    Check(!name.table.empty() || !name.column.empty(), "a name the statement uses is not empty",
          detail);
  }

  sqlite3* db = Database();
  Check(sqlite3_exec(db, "SAVEPOINT fuzz", nullptr, nullptr, nullptr) == SQLITE_OK, "savepoint");
  const bool ddl = kind == StatementKind::CreateTable || kind == StatementKind::CreateIndex;
  int columns = 0;
  Prepare(db, statement.sql, jet, ddl, &columns);
  if (const auto* update = statement.As<UpdateStatement>())
    CheckUpdateParts(db, statement, *update, jet);
  Check(sqlite3_exec(db, "ROLLBACK TO fuzz; RELEASE fuzz", nullptr, nullptr, nullptr) == SQLITE_OK,
        "rollback");
}

void CheckQuoting(std::string_view text) {
  // Quoted names and texts come back as themselves.
  sqlite3* db = Database();
  if (text.find('\0') != std::string_view::npos) return;
  const std::string sql = "SELECT " + QuoteText(text) + " AS " + QuoteName(text);
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, &tail) == SQLITE_OK,
        "quoted text and name prepare", Shown(sql));
  Check(*tail == '\0', "quoting keeps one statement", Shown(sql));
  Check(sqlite3_step(statement) == SQLITE_ROW, "a row", Shown(sql));
  const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  const char* name = sqlite3_column_name(statement, 0);
  Check(value && text == value, "QuoteText gives the text back", Shown(sql));
  Check(name && text == name, "QuoteName gives the name back", Shown(sql));
  sqlite3_finalize(statement);
}

}  // namespace
}  // namespace mivotra::jet

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(bytes), size);
  mivotra::jet::CheckTokens(sql);
  mivotra::jet::CheckDateLiteral(sql);
  mivotra::jet::CheckTranslation(sql);
  if (size < 200) mivotra::jet::CheckQuoting(sql);
  const std::string folded = mivotra::jet::FoldCase(sql);
  mivotra::fuzz::Check(mivotra::jet::EqualsNoCase(folded, sql), "folding keeps names equal");
  return 0;
}
