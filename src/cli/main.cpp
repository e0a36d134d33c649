// mivotra-patch: the database update from the command line, for
// administrators and scripts. It never reads standard input.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <variant>

#include "base/Attempt.h"
#include "base/Translate.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleReport.h"
#include "cli/ConsoleScreen.h"
#include "l10n/Translations.h"
#include "platform/InstanceGuard.h"
#include "platform/WindowProbe.h"
#include "res/Texts.h"
#include "target/DatabaseSettings.h"
#include "target/FileSystem.h"
#include "update/PatchSession.h"

namespace {

using namespace mivotra;

enum ExitCode { kUpdated = 0, kRefusedOrFailed = 1, kUsage = 2, kNoDatabase = 3 };

std::string UsageText() {
  const std::string settings = DatabaseSettingsFile();
  const std::string backupFolder(texts::BackupFolderName);
  const std::string backupName =
      std::string(texts::BackupNameSuffix) + std::string(texts::DatabaseExtension);
  return Format(
      Tr("mivotra-patch",
         "Usage: mivotra-patch [OPTION]...\n"
         "Updates the Mivotra database from version 1.06 to 1.07, after a backup copy.\n"
         "Without --database it updates the database the main application's settings name.\n"
         "\n"
         "  --database FILE      update FILE instead, as if chosen in the window's file\n"
         "                       dialog (an extension other than .mdb in any letter case\n"
         "                       is replaced by .mdb)\n"
         "  --password-env NAME  take the database password from environment variable NAME\n"
         "                       (else the settings' Password); never from the command line\n"
         "  --dry-run            rehearse the update: every check of the real run in its\n"
         "                       order and the whole patch inside its transaction, rolled\n"
         "                       back; no backup is written and nothing on disk changes\n"
         "  --json               print one JSON object on standard output when the run ends,\n"
         "                       instead of the statement list\n"
         "  -h, --help           show this help and exit\n"
         "      --version        show the program's version and exit\n"
         "Options take their value as --opt VALUE or --opt=VALUE; -- ends the options.\n"
         "\n"
         "Settings file: %1%2\n"
         "  group [DATABASE], keys FileName (without .mdb), PathName (ending in /), Password;\n"
         "  only read.\n"
         "Backup: the folder %3/ beside the database, file <name>%4\n"
         "  (for data1.mdb: %3/data1%4). An existing backup is never replaced:\n"
         "  the run refuses until it is renamed or moved.\n"
         "\n"
         "Message boxes go to standard error as [caption], the text and an empty line.\n"
         "After an update (or a dry run that would update) the numbered statement list\n"
         "goes to standard output.\n"
         "\n"
         "Exit status:\n"
         "  0  updated (with --dry-run: the update would be made)\n"
         "  1  refused or failed: the main application or another program uses the\n"
         "     database, the version is not 1.06, the backup is already there, the copy\n"
         "     or the patch failed; the database is left as it was\n"
         "  2  usage error\n"
         "  3  no database found or opened\n"),
      {settings, PathExists(settings) ? "" : Tr("mivotra-patch", " (there is none)"), backupFolder,
       backupName});
}

int UsageError(const std::string& message) {
  const std::string text = Tr("mivotra-patch", "Try 'mivotra-patch --help' for more information.");
  std::fprintf(stderr, "mivotra-patch: %s\n%s\n", message.c_str(), text.c_str());
  return kUsage;
}

struct Arguments {
  std::optional<std::string> database;
  std::optional<std::string> passwordEnv;
  bool dryRun = false;
  bool json = false;
};

// The arguments, or the exit status to end with at once.
std::variant<Arguments, int> ParseArguments(int argc, char** argv) {
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{"h", "help"});
  const QCommandLineOption version("version");
  const QCommandLineOption database("database", {}, "FILE");
  const QCommandLineOption passwordEnv("password-env", {}, "NAME");
  const QCommandLineOption dryRun("dry-run");
  const QCommandLineOption json("json");
  parser.addOptions({help, version, database, passwordEnv, dryRun, json});
  if (const auto error = cmdline::Parse(parser, cmdline::Arguments(argc, argv),
                                        {&database, &passwordEnv}, {&database, &passwordEnv})) {
    for (const QString& name : parser.unknownOptionNames()) {
      if (name.startsWith(QLatin1String("password")) || name == QLatin1String("p"))
        return UsageError(Tr("mivotra-patch",
                             "a password is never taken from the command line; use "
                             "--password-env NAME"));
    }
    return UsageError(*error);
  }
  if (parser.isSet(help)) {
    std::fputs(UsageText().c_str(), stdout);
    return std::fflush(stdout) == 0 ? kUpdated : kRefusedOrFailed;
  }
  if (parser.isSet(version)) {
    std::fputs(cmdline::VersionText("mivotra-patch").c_str(), stdout);
    return std::fflush(stdout) == 0 ? kUpdated : kRefusedOrFailed;
  }
  if (!parser.positionalArguments().isEmpty()) {
    return UsageError(Format(
        Tr("mivotra-patch", "unexpected argument %1 (the database is named with --database FILE)"),
        {cmdline::Bytes(parser.positionalArguments().front())}));
  }
  Arguments args;
  if (parser.isSet(database)) args.database = cmdline::Value(parser, database);
  if (parser.isSet(passwordEnv)) args.passwordEnv = cmdline::Value(parser, passwordEnv);
  args.dryRun = parser.isSet(dryRun);
  args.json = parser.isSet(json);
  return args;
}

Outcome OutcomeOf(const RunRecord& run) {
  switch (run.end) {
    case RunRecord::End::Updated:
      return Outcome::Updated;
    case RunRecord::End::WouldUpdate:
      return Outcome::WouldUpdate;
    case RunRecord::End::Refused:
      return Outcome::Refused;
    case RunRecord::End::Failed:
    case RunRecord::End::None:
      break;
  }
  return Outcome::Failed;
}

// The whole program; `status` holds the exit status the run has earned so
// far, for when reporting it runs out of memory.
int Run(int argc, char** argv, int& status) {
  const auto parsed = ParseArguments(argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const Arguments& args = std::get<Arguments>(parsed);

  std::optional<std::string> password;
  if (args.passwordEnv) {
    const char* value = std::getenv(args.passwordEnv->c_str());
    if (!value) {
      return UsageError(
          Format(Tr("mivotra-patch", "environment variable %1 is not set"), {*args.passwordEnv}));
    }
    password = value;
  }

  ConsoleScreen screen(stdout, stderr, isatty(STDERR_FILENO) == 1, !args.json);
  ConsoleResult result;
  const auto finish = [&](Outcome outcome, int status) {
    result.outcome = outcome;
    result.exitStatus = status;
    result.messages = screen.Messages();
    if (args.json) screen.WriteOut(ResultJson(result));
    if (const int error = screen.OutputError()) {
      const std::string text =
          Format(Tr("mivotra-patch",
                    "standard output could not be written (%1); the exit status tells the outcome"),
                 {ErrorText(error)});
      std::fprintf(stderr, "mivotra-patch: %s\n", text.c_str());
    }
    return status;
  };

  InstanceGuard guard(kInstanceGuardName);
  if (!guard.Acquired()) {
    ShowAppMessage(screen, texts::AlreadyRunning);
    return finish(Outcome::Refused, kRefusedOrFailed);
  }
  const auto probe = MakeWindowProbe(std::string(texts::MainApplicationWindowClass));
  PatchSession session(screen, *probe);

  LookedAt looked;
  looked.settingsFile = DatabaseSettingsFile();
  looked.settingsFileExists = PathExists(looked.settingsFile);
  looked.settingsHoldDatabase = session.ReadSettings(&looked.settingsUnusable);
  if (password) session.Database().Target().Password = *password;
  if (args.database) {
    looked.givenOnCommandLine = true;
    session.ConnectChosenFile(*args.database);
  } else {
    session.OpenLocatedDatabase();
  }
  const TargetDatabase& target = session.Database().Target();
  const bool named = looked.givenOnCommandLine || looked.settingsHoldDatabase;
  if (named) result.database = target.DatabaseFile();
  if (!session.Database().IsConnected()) {
    if (named) {
      looked.tried = target.DatabaseFile();
      looked.found = PathExists(looked.tried);
      looked.reason = session.Database().LastConnectFailure();
    }
    std::fputs(NoDatabaseExplanation(looked).c_str(), stderr);
    result.error = session.Database().LastConnectError();
    return finish(Outcome::NoDatabase, kNoDatabase);
  }

  const bool ok = args.dryRun ? session.RehearseUpdate() : session.OnRunUpdate();
  status = ok ? kUpdated : kRefusedOrFailed;
  result.run = session.LastRun();
  if (!result.run.reason.empty())
    std::fprintf(stderr, "mivotra-patch: %s\n", result.run.reason.c_str());
  session.Database().Disconnect();
  result.error = result.run.error;
  return finish(OutcomeOf(result.run), status);
}

}  // namespace

int main(int argc, char** argv) {
  // The statement list is written after the commit: a reader that has gone
  // must not end the program over an updated database.
  std::signal(SIGPIPE, SIG_IGN);
  l10n::InstallTranslations();
  int status = kRefusedOrFailed;
  try {
    return Run(argc, argv, status);
  } catch (...) {
    // What is left to do is telling; the database's state is settled, and
    // the exit status still says what it is.
    std::string text;
    if (Attempt([&] {
          text =
              "mivotra-patch: " + Tr("mivotra-patch", "out of memory while reporting the result") +
              "\n";
        })) {
      std::fputs(text.c_str(), stderr);
    } else {
      std::fputs("mivotra-patch: out of memory while reporting the result\n", stderr);
    }
    return status;
  }
}
