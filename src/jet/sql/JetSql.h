#pragma once
// The Jet SQL front end: a tokenizer and a translator from Jet SQL (the
// dialect the Jet OLE DB provider accepts) to SQLite SQL. Translation works
// on the statement alone; checks that need the schema (related tables,
// ownership of an index) are the engine's.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Variant.h"

namespace mivotra::jet {

enum class TokenType {
  Name,         // a bare name or keyword, as written
  BracketName,  // [name], the text between the brackets
  String,       // 'text' or "text", the value with doubled quotes undone
  Number,       // digits as written
  Date,         // #date#, already in the storage form "YYYY-MM-DD HH:MM:SS"
  Symbol,       // operator or punctuation: <> <= >= < > = + - * / \ ^ & ( ) , ; . ! ?
  End,
};

struct Token {
  TokenType type = TokenType::End;
  std::string text;
  std::size_t offset = 0;  // byte offset in the statement
  std::size_t length = 0;  // bytes the token takes in the statement
};

// Splits a statement into tokens, ending with one End token. Throws ComError
// DB_E_Syntax for an unclosed string or bracket, a bad date or a stray character.
std::vector<Token> Tokenize(std::string_view sql);

// The storage text of a date literal's inside ("2009/11/04", "11/04/2009 13:45",
// "2009-11-04 1:30 PM", "13:45"), or nullopt when it is no valid date.
std::optional<std::string> ParseDateLiteral(std::string_view text);

enum class StatementKind {
  Select,
  Insert,
  Update,
  Delete,
  CreateTable,
  CreateIndex,
  DropTable,
  DropIndex
};

enum class IndexOption { None, Primary, DisallowNull, IgnoreNull };

// How a result column of a SELECT is to be read when SQLite knows no declared type for it.
enum class ColumnHint { None, Date, MinMaxOf };

struct ForeignKey {
  std::string constraint;            // may be empty
  std::vector<std::string> columns;  // in the table being created
  std::string refTable;
  std::vector<std::string> refColumns;  // empty: the related table's primary key
};

struct Statement {
  StatementKind kind = StatementKind::Select;
  std::string sql;                     // the SQLite statement, prepared once
  std::vector<std::string> followUps;  // run after it inside the same savepoint (DDL only)
  std::string table;                   // the table written, created, dropped or indexed
  std::string index;                   // CREATE INDEX, DROP INDEX
  std::vector<std::string> indexColumns;
  IndexOption indexOption = IndexOption::None;
  // CREATE TABLE: what the engine checks against the schema before it runs.
  // UPDATE: the columns SET assigns.
  std::vector<std::string> columns;
  std::vector<std::string> primaryKey;
  std::vector<std::vector<std::string>> uniqueKeys;
  std::vector<ForeignKey> foreignKeys;
  // SELECT: one hint per result column, empty when the columns are not known (a *).
  std::vector<ColumnHint> hints;
  // SELECT TOP n with ORDER BY: Jet also returns the rows that tie with the
  // n-th, so the recordset stops itself, comparing the sort keys that the
  // translation appends as the last hiddenColumns result columns.
  std::optional<std::int64_t> top;
  int hiddenColumns = 0;
  // UPDATE: the SET list and the condition (empty: none) in SQLite text, and
  // whether each row's new values and its match depend on that row alone (no
  // subquery, no clock). Only then may the engine apply the statement a range
  // of rows at a time without changing its result.
  std::string assignments;
  std::string condition;
  bool rowLocal = false;
};

// Translates one Jet SQL statement (a trailing ';' allowed). Throws ComError
// DB_E_Syntax naming what is wrong and where, for anything it does not accept.
Statement Translate(std::string_view jetSql);

// The triggers that keep Null out of the given columns for an index created
// WITH PRIMARY or WITH DISALLOW NULL (SQLite cannot add NOT NULL to a column).
std::vector<std::string> RequiredTriggers(std::string_view index, std::string_view table,
                                          const std::vector<std::string>& columns);

// A name as a quoted SQLite identifier (`name`).
std::string QuoteName(std::string_view name);
// A text as an SQLite string literal.
std::string QuoteText(std::string_view text);

// The variant type a column of this SQLite declared type reads as (VT_EMPTY
// when the declared type is none of Jet's: the value's storage class decides).
VARTYPE VariantTypeOfDeclaredType(std::string_view declaredType);

// Names of the constraints and triggers the translator adds; the engine
// recognises them in SQLite's error messages.
inline constexpr std::string_view kMaxLengthCheck = "jet_maxlen_";  // + column
inline constexpr std::string_view kDateCheck = "jet_date_";         // + column
inline constexpr std::string_view kRequiredTrigger =
    "$jet_required";  // index + this + "_insert"/"_update"
inline constexpr std::string_view kRequiredMessage = "jet_required:";  // + index

// ASCII case folding, as Jet compares names.
std::string FoldCase(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace mivotra::jet
