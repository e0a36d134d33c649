#include "jet/JetErrors.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "jet/SqliteSchema.h"
#include "jet/sql/JetSql.h"

namespace mivotra::jet {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// SQLite names tables of the main database "main.t" in some messages, and
// quotes names in others.
std::string StripSchema(std::string_view name) {
  if (StartsWith(name, "main.")) name.remove_prefix(5);
  if (name.size() >= 2 && (name.front() == '"' || name.front() == '`') &&
      name.back() == name.front()) {
    name = name.substr(1, name.size() - 2);
  }
  return std::string(name);
}

// The name a message starts with (quoted when it holds a blank), and the rest.
std::pair<std::string, std::string_view> LeadingName(std::string_view text) {
  std::size_t end = text.find(' ');
  if (!text.empty() && (text.front() == '"' || text.front() == '`')) {
    const std::size_t close = text.find(text.front(), 1);
    end = close == std::string_view::npos ? close : close + 1;
  }
  const std::string name = StripSchema(text.substr(0, end));
  if (end == std::string_view::npos || end >= text.size()) return {name, {}};
  return {name, text.substr(end + 1)};
}

std::string QuotedList(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? " or " : ", ";
    out += "'" + names[i] + "'";
  }
  return out;
}

std::string SyntaxContext(StatementKind kind) {
  switch (kind) {
    case StatementKind::Select:
      return "Syntax error in query.";
    case StatementKind::Insert:
      return "Syntax error in INSERT INTO statement.";
    case StatementKind::Update:
      return "Syntax error in UPDATE statement.";
    case StatementKind::Delete:
      return "Syntax error in DELETE statement.";
    case StatementKind::CreateTable:
      return "Syntax error in CREATE TABLE statement.";
    case StatementKind::CreateIndex:
      return "Syntax error in CREATE INDEX statement.";
    case StatementKind::DropTable:
    case StatementKind::DropIndex:
      return "Syntax error in DROP TABLE or DROP INDEX.";
  }
  return "Syntax error.";
}

ComError Error(HRESULT code, std::string description) {
  return ComError(code, ErrorInfo{std::string(kEngineSource), std::move(description)});
}

// "UNIQUE constraint failed: t.a, t.b" gives the table and the fields.
void SplitColumns(std::string_view list, std::string& table, std::vector<std::string>& columns) {
  while (!list.empty()) {
    const std::size_t comma = list.find(", ");
    std::string_view item = list.substr(0, comma);
    const std::size_t dot = item.find('.');
    if (dot != std::string_view::npos) {
      table = std::string(item.substr(0, dot));
      item.remove_prefix(dot + 1);
    }
    columns.emplace_back(item);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 2);
  }
}

std::optional<int> DeclaredLength(sqlite3* db, std::string_view table, std::string_view column) {
  for (const auto& info : schema::Columns(db, table, nullptr)) {
    if (!EqualsNoCase(info.name, column)) continue;
    const std::size_t open = info.type.find('(');
    if (open == std::string::npos) return std::nullopt;
    try {
      return std::stoi(info.type.substr(open + 1));
    } catch (...) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

ComError ForeignKeyError(sqlite3* db, const FailureContext& context) {
  std::vector<std::string> related;
  auto add = [&related](const std::string& name) {
    for (const auto& known : related) {
      if (EqualsNoCase(known, name)) return;
    }
    related.push_back(name);
  };
  const bool addsChild =
      context.kind == StatementKind::Insert || context.kind == StatementKind::Update;
  if (addsChild) {
    for (const auto& key : schema::ForeignKeysOf(db, context.table, nullptr)) add(key.refTable);
  }
  if (!related.empty()) {
    return Error(
        E_Fail, "You cannot add or change a record because a related record is required in table " +
                    QuotedList(related) + ".");
  }
  for (const auto& key : schema::ForeignKeysTo(db, context.table, nullptr)) add(key.table);
  if (!related.empty()) {
    return Error(E_Fail, "The record cannot be deleted or changed because table " +
                             QuotedList(related) + " includes related records.");
  }
  return Error(E_Fail,
               "The change would break a relationship between tables" +
                   (context.table.empty() ? std::string() : " of table '" + context.table + "'") +
                   ".");
}

ComError ConstraintError(sqlite3* db, int resultCode, std::string_view message,
                         const FailureContext& context) {
  // Which rule failed comes from the extended code; only the names it
  // failed on are read from SQLite's message, which has no other source.
  constexpr std::string_view kUnique = "UNIQUE constraint failed: ";
  constexpr std::string_view kNotNull = "NOT NULL constraint failed: ";
  constexpr std::string_view kCheck = "CHECK constraint failed: ";
  auto after = [message](std::string_view prefix) {
    return StartsWith(message, prefix) ? message.substr(prefix.size()) : message;
  };
  std::string table = context.table;
  std::vector<std::string> columns;
  if (resultCode == SQLITE_CONSTRAINT_FOREIGNKEY) return ForeignKeyError(db, context);
  if (resultCode == SQLITE_CONSTRAINT_UNIQUE || resultCode == SQLITE_CONSTRAINT_PRIMARYKEY) {
    SplitColumns(after(kUnique), table, columns);
    return Error(
        E_Fail,
        "The changes you requested to the table '" + table +
            "' were not successful because they would create duplicate values in the index, "
            "primary key, or relationship (field " +
            QuotedList(columns) +
            "). Change the data in the field or fields that contain duplicate data, remove the "
            "index, or redefine the index to permit duplicate entries and try again.");
  }
  if (resultCode == SQLITE_CONSTRAINT_NOTNULL) {
    SplitColumns(after(kNotNull), table, columns);
    const std::string field = table + "." + (columns.empty() ? std::string() : columns.front());
    return Error(E_Fail, "The field '" + field +
                             "' cannot contain a Null value because the Required property for this "
                             "field is set to True. Enter a value in this field.");
  }
  if (resultCode == SQLITE_CONSTRAINT_CHECK) {
    const std::string_view name = after(kCheck);
    if (StartsWith(name, kMaxLengthCheck)) {
      const std::string column(name.substr(kMaxLengthCheck.size()));
      const auto length = DeclaredLength(db, table, column);
      return Error(E_Fail,
                   "The field '" + table + "." + column +
                       "' is too small to accept the amount of data you attempted to add" +
                       (length ? " (at most " + std::to_string(*length) + " characters)" : "") +
                       ". Try inserting or pasting less data.");
    }
    if (StartsWith(name, kDateCheck)) {
      const std::string column(name.substr(kDateCheck.size()));
      return Error(DB_E_CantConvertValue, "Data type mismatch in criteria expression: the field '" +
                                              table + "." + column +
                                              "' takes a date, and the value is none.");
    }
    return Error(E_Fail, "One or more values are prohibited by the validation rule '" +
                             std::string(name) + "' set for '" + table +
                             "'. Enter a value that the expression for this field can accept.");
  }
  if (StartsWith(message, kRequiredMessage)) {
    const std::string index(message.substr(kRequiredMessage.size()));
    return Error(E_Fail, "Index or primary key cannot contain a Null value (index '" + index +
                             "' of table '" + table + "').");
  }
  return Error(E_Fail, "The change was refused by a rule of table '" + table +
                           "': " + std::string(message) + ".");
}

// SQLite gives the errors of preparing a statement no extended code of their
// own (SQLITE_ERROR), so these are told apart by SQLite's English texts; each
// one below is what SQLite 3.46.1 says.
ComError GeneralError(std::string_view message, const FailureContext& context) {
  struct Pattern {
    std::string_view prefix;
    HRESULT code;
    std::string_view before;
    std::string_view after;
  };
  static constexpr Pattern kPatterns[] = {
      {"no such table: ", DB_E_NoTable,
       "The Mivotra Jet engine cannot find the input table or query '",
       "'. Make sure it exists and that its name is spelled correctly."},
      {"no such column: ", DB_E_ParamNotOptional,
       "No value given for one or more required parameters: '",
       "' is not a field of the tables in this statement."},
      {"there is already a table named ", DB_E_Syntax, "The name '",
       "' is already used by a table; index and table names must differ in this engine."},
      {"there is already an index named ", DB_E_Syntax, "The name '",
       "' is already used by an index; index and table names must differ in this engine."},
      {"duplicate column name: ", DB_E_Syntax, "Cannot define field '", "' more than once."},
      {"ambiguous column name: ", E_Fail, "The specified field '",
       "' could refer to more than one table listed in the FROM clause of your SQL statement."},
      {"no such index: ", DB_E_NoTable, "Cannot find the index '", "'."},
      {"object name reserved for internal use: ", DB_E_Syntax, "The name '",
       "' is reserved for the engine's own tables."},
  };
  const std::string text(message);
  if (StartsWith(message, "table ")) {
    // "table t already exists", "table t has no column named c",
    // "table t has 3 columns but 2 values were supplied"
    const auto [table, tail] = LeadingName(message.substr(6));
    if (tail == "already exists")
      return Error(DB_E_Syntax, "Table '" + table + "' already exists.");
    if (StartsWith(tail, "has no column named ")) {
      return Error(DB_E_Syntax,
                   "The INSERT INTO statement contains the following unknown field name: '" +
                       std::string(tail.substr(20)) +
                       "'. Make sure you have typed the name correctly, and try the "
                       "operation again.");
    }
    if (tail.find("values were supplied") != std::string_view::npos) {
      return Error(DB_E_Syntax, "Number of query values and destination fields are not the same.");
    }
  } else if (StartsWith(message, "index ")) {
    const auto [index, tail] = LeadingName(message.substr(6));
    if (tail == "already exists")
      return Error(DB_E_Syntax, "Index '" + index + "' already exists.");
    if (message.find("cannot be dropped") != std::string_view::npos) {
      return Error(E_Fail,
                   "Cannot delete this index: it belongs to a PRIMARY KEY or UNIQUE constraint of "
                   "the table.");
    }
  } else {
    for (const auto& pattern : kPatterns) {
      if (!StartsWith(message, pattern.prefix)) continue;
      const std::string name = StripSchema(message.substr(pattern.prefix.size()));
      return Error(pattern.code, std::string(pattern.before) + name + std::string(pattern.after));
    }
  }
  if (message.find(" values for ") != std::string_view::npos &&
      message.find(" columns") != std::string_view::npos) {
    return Error(DB_E_Syntax, "Number of query values and destination fields are not the same.");
  }
  if (StartsWith(message, "foreign key mismatch")) {
    return Error(E_Fail, "A relationship of table '" + context.table +
                             "' no longer matches a unique index of its related table (" + text +
                             ").");
  }
  if (message.find("UNION do not have the same number of result columns") !=
      std::string_view::npos) {
    return Error(
        DB_E_Syntax,
        "The number of columns in the two selected tables or queries of a union query do not "
        "match.");
  }
  if (StartsWith(message, "sub-select returns")) {
    return Error(
        DB_E_Syntax,
        "You have written a subquery that can return more than one field. Revise the SELECT "
        "statement of the subquery to request only one field.");
  }
  if (StartsWith(message, "number of columns in foreign key")) {
    return Error(DB_E_Syntax,
                 "A relationship of table '" + context.table +
                     "' joins a different number of fields than its related table's key has.");
  }
  if (StartsWith(message, "unknown column") || StartsWith(message, "foreign key on")) {
    return Error(DB_E_Syntax, SyntaxContext(context.kind) + " " + text + ".");
  }
  if (message.find("syntax error") != std::string_view::npos ||
      message.find("aggregate") != std::string_view::npos ||
      message.find("HAVING") != std::string_view::npos ||
      message.find("ORDER BY") != std::string_view::npos ||
      message.find("GROUP BY") != std::string_view::npos ||
      message.find("prohibited") != std::string_view::npos) {
    return Error(DB_E_Syntax, SyntaxContext(context.kind) + " (" + text + ")");
  }
  return Error(E_Fail, "The Mivotra Jet engine could not run the statement: " + text + ".");
}

// The folder SQLite puts its work files in (statement journals, sorts): the
// first usable one of those it tries.
std::string TemporaryFolder() {
  if (sqlite3_temp_directory) return sqlite3_temp_directory;
  std::vector<std::string> candidates;
  for (const char* variable : {"SQLITE_TMPDIR", "TMPDIR"}) {
    if (const char* value = std::getenv(variable); value && *value) candidates.emplace_back(value);
  }
  for (const char* folder : {"/var/tmp", "/usr/tmp", "/tmp", "."}) candidates.emplace_back(folder);
  for (const auto& folder : candidates) {
    struct stat info = {};
    if (stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
        access(folder.c_str(), W_OK | X_OK) == 0) {
      return folder;
    }
  }
  return ".";
}

std::string FolderOf(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

// A full disk names the disk that is full: the database's own, or the one
// holding SQLite's work files, which may be another (a small /tmp).
ComError FullDisk(const std::string& file) {
  const std::string temporary = TemporaryFolder();
  struct stat database = {};
  struct stat work = {};
  struct statvfs databaseSpace = {};
  struct statvfs workSpace = {};
  const bool apart = stat(FolderOf(file).c_str(), &database) == 0 &&
                     stat(temporary.c_str(), &work) == 0 && database.st_dev != work.st_dev &&
                     statvfs(FolderOf(file).c_str(), &databaseSpace) == 0 &&
                     statvfs(temporary.c_str(), &workSpace) == 0;
  if (apart &&
      workSpace.f_bavail * workSpace.f_frsize < databaseSpace.f_bavail * databaseSpace.f_frsize) {
    return Error(E_Fail, "The disk is full: the folder '" + temporary +
                             "', where the engine keeps its work files while it changes '" + file +
                             "', has no room left.");
  }
  return Error(E_Fail, "The disk is full: the database '" + file + "' cannot grow.");
}

ComError Damaged(const std::string& file) {
  return Error(E_Fail, "The database '" + file +
                           "' is damaged and cannot be read. Restore it from a backup copy.");
}

// SQLCipher fails a page whose check (its HMAC) does not match with a bare
// SQLITE_ERROR, as it fails one it had no memory to check: only reading the
// file's pages again tells a damaged page from a passing want of memory. A
// plain database knows no such pragma and answers with no row.
bool APageFailsItsCheck(sqlite3* db) {
  sqlite3_stmt* check = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA cipher_integrity_check", -1, &check, nullptr) != SQLITE_OK) {
    sqlite3_finalize(check);
    return false;
  }
  bool failed = false;
  while (!failed && sqlite3_step(check) == SQLITE_ROW) {
    const auto* row = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
    failed = row && StartsWith(row, "HMAC verification failed");
  }
  sqlite3_finalize(check);
  return failed;
}

// "5 seconds", "1 second", "200 milliseconds".
std::string WaitText(std::chrono::milliseconds wait) {
  const auto count = wait.count();
  if (count % 1000 == 0) {
    const auto seconds = count / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
  }
  return std::to_string(count) + (count == 1 ? " millisecond" : " milliseconds");
}

}  // namespace

[[noreturn]] void Throw(HRESULT code, std::string_view source, std::string description) {
  throw ComError(code, ErrorInfo{std::string(source), std::move(description)});
}

std::string CouldNotFindFile(std::string_view file) {
  return "Could not find file '" + std::string(file) + "'.";
}

std::string UnrecognizedFormat(std::string_view file) {
  return "Unrecognized database format '" + std::string(file) + "'.";
}

ComError MapSqliteError(sqlite3* db, int resultCode, std::string_view message,
                        const FailureContext& context) {
  const std::string& file = context.file;
  switch (resultCode & 0xFF) {
    case SQLITE_CONSTRAINT:
      return ConstraintError(db, resultCode, message, context);
    case SQLITE_BUSY:
      return Error(E_Fail, "The database '" + file +
                               "' is locked by another process; the operation waited " +
                               WaitText(context.busyTimeout) +
                               " and gave up. Close the other program and try again.");
    case SQLITE_LOCKED:
      return Error(E_Fail,
                   "The table" +
                       (context.table.empty() ? std::string() : " '" + context.table + "'") +
                       " is in use by an open recordset of this connection; close the recordset "
                       "first.");
    case SQLITE_READONLY:
      if (resultCode == SQLITE_READONLY_DBMOVED)
        return Error(E_Fail, "Cannot update. The database file '" + file +
                                 "' was moved, replaced or deleted after it was opened.");
      return Error(E_Fail, "Cannot update. Database or object is read-only ('" + file + "').");
    case SQLITE_NOTADB:
      return Error(E_Fail, UnrecognizedFormat(file));
    case SQLITE_CORRUPT:
      return Damaged(file);
    case SQLITE_FULL:
      return FullDisk(file);
    case SQLITE_IOERR:
      // SQLite takes only ENOSPC for a full disk; a file-size limit fails the write with EFBIG.
      if (db && sqlite3_system_errno(db) == EFBIG) {
        return Error(E_Fail,
                     "The file size limit of this session (ulimit -f) stops the database '" + file +
                         "' or its journal from growing.");
      }
      if (db && sqlite3_system_errno(db) == ENOSPC) return FullDisk(file);
      return Error(E_Fail, "Disk or network error while reading or writing '" + file + "'.");
    case SQLITE_CANTOPEN:
      return Error(E_Fail, "Cannot open the file '" + file +
                               "' or its journal. Check that the folder can be written.");
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return Error(E_AccessDenied, "Access to the database '" + file + "' was refused.");
    case SQLITE_NOMEM:
      return Error(E_OutOfMemory, "Not enough memory to complete the operation.");
    case SQLITE_MISMATCH:
      return Error(
          DB_E_CantConvertValue,
          "Data type mismatch in criteria expression" +
              (context.table.empty() ? std::string() : " (table '" + context.table + "')") + ".");
    case SQLITE_TOOBIG:
      return Error(E_Fail, "The statement or a value in it is too large for the database engine.");
    case SQLITE_ERROR:
      // Only a failure that carries no words of its own can be a page's.
      if (db && message == sqlite3_errstr(SQLITE_ERROR) && APageFailsItsCheck(db))
        return Damaged(file);
      return GeneralError(message, context);
    default:
      return Error(E_Fail, "The Mivotra Jet engine failed: " + std::string(message) + ".");
  }
}

}  // namespace mivotra::jet
