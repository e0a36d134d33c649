// mivotra-sample-db: writes a realistic Mivotra database through our own
// engine in Jet SQL, for demos, tests and benchmarks.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "base/Translate.h"
#include "cli/CommandLine.h"
#include "jet/Catalog.h"
#include "jet/ComError.h"
#include "jet/ConnectionString.h"
#include "jet/Engine.h"
#include "l10n/Translations.h"

namespace {

using namespace mivotra;

std::string UsageText() {
  return Tr(
      "mivotra-sample-db",
      "Usage: mivotra-sample-db [OPTION]... FILE\n"
      "Writes a new Mivotra database FILE (ending in .mdb); it never overwrites a file.\n"
      "  --schema-version CODE  the latest version in t_db_ver (default 1.06)\n"
      "  --with-comment-table   the version comment table exists already\n"
      "  --kumi-rows N          rows of t_kumi_rate (default 24)\n"
      "  --password-env NAME    encrypt with the password held by environment variable NAME\n"
      "  --cipher-compatibility 3|4\n"
      "                         the SQLCipher format of an encrypted FILE: 4 (the default) as a\n"
      "                         current main application writes, 3 as older ones wrote\n"
      "  -h, --help             show this help and exit\n"
      "      --version          show the program's version and exit\n"
      "Options take their value as --opt VALUE or --opt=VALUE; -- ends the options.\n"
      "Exit status: 0 written, 1 the database could not be written, 2 usage error.\n");
}

struct Options {
  std::string version = "1.06";
  bool withCommentTable = false;
  long long kumiRows = 24;
  std::string password;
  jet::CipherFormat format = jet::CipherFormat::SqlCipher4;
  std::string file;
};

struct UsageError {
  std::string message;
};

Options ParseArguments(int argc, char** argv) {
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{"h", "help"});
  const QCommandLineOption version("version");
  const QCommandLineOption schemaVersion("schema-version", {}, "CODE");
  const QCommandLineOption commentTable("with-comment-table");
  const QCommandLineOption kumiRows("kumi-rows", {}, "N");
  const QCommandLineOption passwordEnv("password-env", {}, "NAME");
  const QCommandLineOption cipherCompatibility("cipher-compatibility", {}, "N");
  parser.addOptions(
      {help, version, schemaVersion, commentTable, kumiRows, passwordEnv, cipherCompatibility});
  parser.addPositionalArgument("FILE", {});
  if (const auto error =
          cmdline::Parse(parser, cmdline::Arguments(argc, argv),
                         {&schemaVersion, &kumiRows, &passwordEnv, &cipherCompatibility},
                         {&schemaVersion, &passwordEnv, &cipherCompatibility}))
    throw UsageError{*error};
  if (parser.isSet(help)) {
    std::cout << UsageText();
    std::exit(0);
  }
  if (parser.isSet(version)) {
    std::cout << cmdline::VersionText("mivotra-sample-db");
    std::exit(0);
  }

  Options options;
  if (parser.isSet(schemaVersion)) options.version = cmdline::Value(parser, schemaVersion);
  options.withCommentTable = parser.isSet(commentTable);
  if (parser.isSet(kumiRows)) {
    const std::string text = cmdline::Value(parser, kumiRows);
    char* end = nullptr;
    options.kumiRows = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || options.kumiRows < 0 || options.kumiRows > 100'000'000)
      throw UsageError{
          Tr("mivotra-sample-db", "--kumi-rows takes a whole number from 0 to 100000000")};
  }
  if (parser.isSet(passwordEnv)) {
    const std::string name = cmdline::Value(parser, passwordEnv);
    const char* password = std::getenv(name.c_str());
    if (!password) {
      throw UsageError{
          Format(Tr("mivotra-sample-db", "environment variable %1 is not set"), {name})};
    }
    options.password = password;
  }
  if (parser.isSet(cipherCompatibility)) {
    const std::string text = cmdline::Value(parser, cipherCompatibility);
    if (text == "3") {
      options.format = jet::CipherFormat::SqlCipher3;
    } else if (text != "4") {
      throw UsageError{Tr("mivotra-sample-db", "--cipher-compatibility takes 3 or 4")};
    }
  }
  const QStringList files = parser.positionalArguments();
  if (files.isEmpty()) throw UsageError{Tr("mivotra-sample-db", "FILE is missing")};
  if (files.size() > 1) throw UsageError{Tr("mivotra-sample-db", "only one FILE can be written")};
  options.file = cmdline::Bytes(files.front());
  if (options.file.empty()) throw UsageError{Tr("mivotra-sample-db", "FILE is missing")};
  if (options.version.find('\'') != std::string::npos)
    throw UsageError{Tr("mivotra-sample-db", "--schema-version takes a code such as 1.06")};
  const std::filesystem::path path(options.file);
  if (path.extension() != ".mdb")
    throw UsageError{Tr("mivotra-sample-db", "FILE must end in .mdb")};
  return options;
}

void Run(Connection& db, const std::string& sql) {
  db.Execute(sql, nullptr);
}

void WriteVersions(Connection& db, const Options& options) {
  Run(db,
      "CREATE TABLE t_db_ver (DBVerID INTEGER CONSTRAINT PK_t_db_ver PRIMARY KEY, DBVerCode VARCHAR(10) NOT "
      "NULL, DBPatchDate DATETIME, UpdateDateTime DATETIME);");
  const std::vector<std::string> history = {"1.01", "1.02", "1.03", "1.04", "1.05"};
  const std::vector<std::string> dates = {"2007/04/02", "2007/10/15", "2008/03/03",
                                          "2008/08/18", "2009/02/09", "2009/06/01"};
  for (std::size_t i = 0; i <= history.size(); ++i) {
    const std::string code = i < history.size() ? history[i] : options.version;
    Run(db, "INSERT INTO t_db_ver (DBVerID, DBVerCode, DBPatchDate, UpdateDateTime) VALUES (" +
                std::to_string(i + 1) + ", '" + code + "', #" + dates[i] + "#, #" + dates[i] +
                " 10:00:00#);");
  }
  if (options.withCommentTable) {
    Run(db,
        "CREATE TABLE t_db_ver_comment (DBVerCommentID autoincrement(1, 1) PRIMARY KEY, DBVerID INTEGER NOT "
        "NULL CONSTRAINT FK_VERCOMMENT_DBVERID REFERENCES t_db_ver (DBVerID), DBVerComment VARCHAR(255), "
        "UpdateDateTime DATETIME);");
    Run(db,
        "INSERT INTO t_db_ver_comment (DBVerID, DBVerComment, UpdateDateTime) VALUES (6, '1.料金テーブル修正', "
        "#2009/06/01 10:00:00#);");
  }
}

void WriteSofu(Connection& db) {
  Run(db,
      "CREATE TABLE t_sofu (SofuID COUNTER CONSTRAINT PK_t_sofu PRIMARY KEY, SofuName VARCHAR(50) NOT NULL, "
      "SofuKana VARCHAR(50), CreateDateTime DATETIME NOT NULL, UpdateDateTime DATETIME);");
  for (const char* name :
       {"東日本運輸株式会社", "中日本物流", "西日本エクスプレス", "北陸トランスポート"}) {
    Run(db, std::string("INSERT INTO t_sofu (SofuName, CreateDateTime) VALUES ('") + name +
                "', now());");
  }
}

// Rows cycle over KodanID 1, 2 and 3; among the KodanID 2 rows every second
// has a wrong rate type and every other has an upper type unlike the lower.
void WriteKumiRates(Connection& db, long long rows) {
  Run(db,
      "CREATE TABLE t_kumi_rate (KumiRateID COUNTER CONSTRAINT PK_t_kumi_rate PRIMARY KEY, KodanID INTEGER NOT "
      "NULL, KumiRateTypeID INTEGER NOT NULL, KumiUpperRateTypeID INTEGER NOT NULL, KumiLowerRateTypeID "
      "INTEGER NOT NULL, KumiRate DOUBLE NOT NULL, CreateDateTime DATETIME NOT NULL, UpdateDateTime DATETIME);");
  const long long seedRows = rows < 12 ? rows : 12;
  for (long long i = 0; i < seedRows; ++i) {
    const int kodan = static_cast<int>(i % 3) + 1;
    const int type = static_cast<int>((i / 3) % 2) + 1;
    const int lower = static_cast<int>(i % 4) + 1;
    const int upper = (i / 6) % 2 == 0 ? lower : lower % 4 + 1;
    Run(db,
        "INSERT INTO t_kumi_rate (KodanID, KumiRateTypeID, KumiUpperRateTypeID, KumiLowerRateTypeID, "
        "KumiRate, CreateDateTime) VALUES (" +
            std::to_string(kodan) + ", " + std::to_string(type) + ", " + std::to_string(upper) +
            ", " + std::to_string(lower) + ", " +
            std::to_string(0.5 + static_cast<double>(i) / 100) + ", now());");
  }
  // Doubling by copying the rows already there keeps the pattern and takes
  // log2(rows) statements instead of one per row.
  long long count = seedRows;
  while (count < rows) {
    const long long copy = std::min(count, rows - count);
    Run(db,
        "INSERT INTO t_kumi_rate (KodanID, KumiRateTypeID, KumiUpperRateTypeID, KumiLowerRateTypeID, KumiRate, "
        "CreateDateTime) SELECT KodanID, KumiRateTypeID, KumiUpperRateTypeID, KumiLowerRateTypeID, KumiRate, "
        "CreateDateTime FROM t_kumi_rate WHERE KumiRateID <= " +
            std::to_string(copy) + ";");
    count += copy;
  }
}

}  // namespace

int main(int argc, char** argv) {
  l10n::InstallTranslations();
  Options options;
  try {
    options = ParseArguments(argc, argv);
  } catch (const UsageError& error) {
    std::cerr << "mivotra-sample-db: " << error.message << "\n" << UsageText();
    return 2;
  }
  const std::filesystem::path path(options.file);
  try {
    CreateDatabase(options.file, options.password, options.format);
    try {
      ConnectionPtr db;
      if (CreateConnection(db) != S_Ok) throw ComError(E_OutOfMemory);
      std::string folder = path.parent_path().string();
      if (!folder.empty()) folder += '/';
      db->Open(BuildConnectionString(folder, path.stem().string(), options.password));
      // One transaction: a failure leaves no half-written file behind.
      db->BeginTrans();
      WriteVersions(*db, options);
      WriteSofu(*db);
      WriteKumiRates(*db, options.kumiRows);
      db->CommitTrans();
      db->Close();
    } catch (...) {
      std::filesystem::remove(path);
      throw;
    }
  } catch (const ComError& error) {
    std::cerr << "mivotra-sample-db: "
              << (error.Description().empty() ? error.what() : error.Description()) << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << "mivotra-sample-db: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
