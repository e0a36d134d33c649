#include "jet/JetErrors.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <utility>

#include "base/Translate.h"
#include "jet/SqliteSchema.h"
#include "jet/sql/JetSql.h"

namespace mivotra::jet {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// 'a', 'b' or 'c': the joining words are the user's language's too.
std::string QuotedList(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string quoted = "'" + names[i] + "'";
    if (i == 0)
      out = quoted;
    else if (i + 1 == names.size())
      out = Format(Tr("engine", "%1 or %2"), {out, quoted});
    else
      out = Format(Tr("engine", "%1, %2"), {out, quoted});
  }
  return out;
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
    return Error(E_Fail, Format(Tr("engine",
                                   "You cannot add or change a record because a related record "
                                   "is required in table %1."),
                                {QuotedList(related)}));
  }
  for (const auto& key : schema::ForeignKeysTo(db, context.table, nullptr)) add(key.table);
  if (!related.empty()) {
    return Error(E_Fail, Format(Tr("engine",
                                   "The record cannot be deleted or changed because table %1 "
                                   "includes related records."),
                                {QuotedList(related)}));
  }
  if (context.table.empty())
    return Error(E_Fail, Tr("engine", "The change would break a relationship between tables."));
  return Error(E_Fail, Format(Tr("engine",
                                 "The change would break a relationship between tables of table "
                                 "'%1'."),
                              {context.table}));
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
    return Error(E_Fail,
                 Format(Tr("engine",
                           "The changes you requested to the table '%1' were not successful "
                           "because they would create duplicate values in the index, primary "
                           "key, or relationship (field %2). Change the data in the field or "
                           "fields that contain duplicate data, remove the index, or redefine "
                           "the index to permit duplicate entries and try again."),
                        {table, QuotedList(columns)}));
  }
  if (resultCode == SQLITE_CONSTRAINT_NOTNULL) {
    SplitColumns(after(kNotNull), table, columns);
    const std::string field = table + "." + (columns.empty() ? std::string() : columns.front());
    return Error(E_Fail, Format(Tr("engine",
                                   "The field '%1' cannot contain a Null value because the "
                                   "Required property for this field is set to True. Enter a "
                                   "value in this field."),
                                {field}));
  }
  if (resultCode == SQLITE_CONSTRAINT_CHECK) {
    const std::string_view name = after(kCheck);
    if (StartsWith(name, kMaxLengthCheck)) {
      return Error(E_Fail,
                   Format(Tr("engine",
                             "The field '%1' is too small to accept the amount of data "
                             "you attempted to add. Try inserting or pasting less "
                             "data."),
                          {table + "." + std::string(name.substr(kMaxLengthCheck.size()))}));
    }
    return Error(E_Fail, Format(Tr("engine",
                                   "One or more values are prohibited by the validation rule "
                                   "'%1' set for '%2'. Enter a value that the expression for "
                                   "this field can accept."),
                                {name, table}));
  }
  return Error(E_Fail, Format(Tr("engine", "The change was refused by a rule of table '%1': %2."),
                              {table, message}));
}

ComError NoTable(const std::string& table) {
  return Error(DB_E_NoTable, Format(Tr("engine",
                                       "The Mivotra Jet engine cannot find the input table or "
                                       "query '%1'. Make sure it exists and that its name is "
                                       "spelled correctly."),
                                    {table}));
}

ComError NameTaken(const std::string& name, bool byIndex) {
  return Error(DB_E_Syntax,
               Format(byIndex ? Tr("engine",
                                   "The name '%1' is already used by an index; index and table "
                                   "names must differ in this engine.")
                              : Tr("engine",
                                   "The name '%1' is already used by a table; index and table "
                                   "names must differ in this engine."),
                      {name}));
}

bool IsUniqueKey(sqlite3* db, const std::string& table, std::vector<std::string> columns) {
  if (columns.empty()) columns = schema::PrimaryKey(schema::Columns(db, table, nullptr));
  for (const auto& key : schema::UniqueKeys(db, table, nullptr)) {
    if (!columns.empty() && schema::SameColumns(key, columns)) return true;
  }
  return false;
}

// SQLite fails to prepare a statement over a name it cannot resolve with
// SQLITE_ERROR and no extended code, so which name it is, and why, is found
// in the schema, in the order SQLite resolves them: the object a CREATE
// makes, the tables and fields the statement names, then the relationships
// of the table it writes.
std::optional<ComError> NameFailure(sqlite3* db, const Statement& statement) {
  const std::string& table = statement.table;
  auto exists = [db](std::string_view type, const std::string& name) {
    return schema::ObjectName(db, type, name, nullptr).has_value();
  };
  if (statement.Kind() == StatementKind::CreateTable) {
    if (exists("table", table))
      return Error(DB_E_Syntax, Format(Tr("engine", "Table '%1' already exists."), {table}));
    if (exists("index", table)) return NameTaken(table, true);
  } else if (const auto* create = statement.As<CreateIndexStatement>()) {
    if (!exists("table", table)) return NoTable(table);
    if (exists("table", create->index)) return NameTaken(create->index, false);
    if (exists("index", create->index)) {
      return Error(DB_E_Syntax,
                   Format(Tr("engine", "Index '%1' already exists."), {create->index}));
    }
  }
  for (const auto& use : statement.names) {
    if (use.column.empty()) {
      if (!exists("table", use.table)) return NoTable(use.table);
      continue;
    }
    bool known = false;
    if (!use.table.empty()) {
      for (const auto& column : schema::Columns(db, use.table, nullptr))
        known = known || EqualsNoCase(column.name, use.column);
    }
    if (known) continue;
    if (use.inserted) {
      return Error(DB_E_Syntax,
                   Format(Tr("engine",
                             "The INSERT INTO statement contains the following unknown field "
                             "name: '%1'. Make sure you have typed the name correctly, and try "
                             "the operation again."),
                          {use.column}));
    }
    return Error(DB_E_ParamNotOptional,
                 Format(Tr("engine",
                           "No value given for one or more required parameters: '%1' is not a "
                           "field of the tables in this statement."),
                        {use.column}));
  }
  if (statement.Kind() != StatementKind::Insert && statement.Kind() != StatementKind::Update)
    return std::nullopt;
  for (const auto& key : schema::ForeignKeysOf(db, table, nullptr)) {
    if (!exists("table", key.refTable)) return NoTable(key.refTable);
    if (!IsUniqueKey(db, key.refTable, key.refColumns)) {
      return Error(E_Fail, Format(Tr("engine",
                                     "A relationship of table '%1' no longer matches a unique "
                                     "index of its related table '%2'."),
                                  {table, key.refTable}));
    }
  }
  return std::nullopt;
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
    return Error(E_Fail, Format(Tr("engine",
                                   "The disk is full: the folder '%1', where the engine keeps "
                                   "its work files while it changes '%2', has no room left."),
                                {temporary, file}));
  }
  return Error(E_Fail,
               Format(Tr("engine", "The disk is full: the database '%1' cannot grow."), {file}));
}

ComError Damaged(const std::string& file) {
  return Error(E_Fail, Format(Tr("engine",
                                 "The database '%1' is damaged and cannot be read. Restore it "
                                 "from a backup copy."),
                              {file}));
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
  // It answers with a row for each page that fails and with none when all pass.
  const bool failed = sqlite3_step(check) == SQLITE_ROW;
  sqlite3_finalize(check);
  return failed;
}

}  // namespace

[[noreturn]] void Throw(HRESULT code, std::string_view source, std::string description) {
  throw ComError(code, ErrorInfo{std::string(source), std::move(description)});
}

std::string CouldNotFindFile(std::string_view file) {
  return Format(Tr("engine", "Could not find file '%1'."), {file});
}

std::string UnrecognizedFormat(std::string_view file) {
  return Format(Tr("engine", "Unrecognized database format '%1'."), {file});
}

std::string ReadOnlyDatabase(std::string_view file) {
  return Format(Tr("engine", "Cannot update. Database or object is read-only ('%1')."), {file});
}

std::string NotValidPassword() {
  return Tr("engine", "Not a valid password.");
}

ComError MapSqliteError(sqlite3* db, int resultCode, std::string_view message,
                        const FailureContext& context) {
  const std::string& file = context.file;
  switch (resultCode & 0xFF) {
    case SQLITE_CONSTRAINT:
      return ConstraintError(db, resultCode, message, context);
    case SQLITE_BUSY:
      return Error(E_Fail, Format(Tr("engine",
                                     "The database '%1' is locked by another process; the "
                                     "operation waited %2 seconds and gave up. Close the other "
                                     "program and try again."),
                                  {file, std::to_string(kBusyTimeoutMilliseconds / 1000)}));
    case SQLITE_READONLY:
      if (resultCode == SQLITE_READONLY_DBMOVED)
        return Error(E_Fail, Format(Tr("engine",
                                       "Cannot update. The database file '%1' was moved, "
                                       "replaced or deleted after it was opened."),
                                    {file}));
      return Error(E_Fail, ReadOnlyDatabase(file));
    case SQLITE_NOTADB:
      return Error(E_Fail, UnrecognizedFormat(file));
    case SQLITE_CORRUPT:
      return Damaged(file);
    case SQLITE_FULL:
      return FullDisk(file);
    case SQLITE_IOERR:
      // SQLite takes only ENOSPC for a full disk; a file-size limit fails the write with EFBIG.
      if (db && sqlite3_system_errno(db) == EFBIG) {
        return Error(E_Fail, Format(Tr("engine",
                                       "The file size limit of this session (ulimit -f) stops "
                                       "the database '%1' or its journal from growing."),
                                    {file}));
      }
      if (db && sqlite3_system_errno(db) == ENOSPC) return FullDisk(file);
      return Error(
          E_Fail,
          Format(Tr("engine", "Disk or network error while reading or writing '%1'."), {file}));
    case SQLITE_CANTOPEN:
      return Error(E_Fail, Format(Tr("engine",
                                     "Cannot open the file '%1' or its journal. Check that the "
                                     "folder can be written."),
                                  {file}));
    case SQLITE_PERM:  // a file system that refuses the locks (EPERM)
      return Error(E_AccessDenied,
                   Format(Tr("engine", "Access to the database '%1' was refused."), {file}));
    case SQLITE_NOMEM:
      return Error(E_OutOfMemory, Tr("engine", "Not enough memory to complete the operation."));
    case SQLITE_ERROR:
      // Only a failure that carries no words of its own, SQLite's generic
      // text for the code, can be a page's.
      if (db && message == sqlite3_errstr(SQLITE_ERROR) && APageFailsItsCheck(db))
        return Damaged(file);
      if (db && context.statement) {
        if (auto named = NameFailure(db, *context.statement)) return *named;
      }
      return Error(E_Fail,
                   Format(Tr("engine", "The Mivotra Jet engine could not run the statement: %1."),
                          {message}));
    default:
      return Error(E_Fail, Format(Tr("engine", "The Mivotra Jet engine failed: %1."), {message}));
  }
}

}  // namespace mivotra::jet
