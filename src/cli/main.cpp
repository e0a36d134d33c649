// mivotra-patch: the database update from the command line, for
// administrators and scripts. It never reads standard input.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/ConsoleScreen.h"
#include "platform/InstanceGuard.h"
#include "platform/WindowProbe.h"
#include "res/Texts.h"
#include "update/PatchReport.h"
#include "update/PatchSession.h"

namespace {

using namespace mivotra;

enum ExitCode { kUpdated = 0, kRefusedOrFailed = 1, kUsage = 2, kNoDatabase = 3 };

constexpr const char* kUsageText =
    "Usage: mivotra-patch [--database FILE] [--password-env NAME] [--dry-run]\n"
    "       mivotra-patch --help | --version\n"
    "Updates the Mivotra database from version 1.06 to 1.07, after a backup copy.\n"
    "  --database FILE      update FILE instead of the database in the Mivotra settings\n"
    "                       (its extension is replaced by .mdb, as in the window's file dialog)\n"
    "  --password-env NAME  take the database password from environment variable NAME\n"
    "  --dry-run            check the version and list the statements that would run; change "
    "nothing\n"
    "Exit status: 0 updated (or dry run passed), 1 refused or failed, 2 usage error,\n"
    "3 no database found or opened.\n";

struct Arguments {
  std::string database;
  bool haveDatabase = false;
  std::string passwordEnv;
  bool dryRun = false;
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "mivotra-patch: %s\n%s", message.c_str(), kUsageText);
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsageText, stdout);
      return kUpdated;
    }
    if (arg == "--version") {
      std::printf("%s %s (update %s)\n", texts::DisplayName.data(), "1.0.0.1",
                  texts::UpdateDateLabel.data());
      return kUpdated;
    }
    if (arg == "--dry-run") {
      args.dryRun = true;
    } else if (arg == "--database" || arg == "--password-env") {
      if (i + 1 >= argc) return UsageError(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--database") {
        if (value.empty()) return UsageError("--database needs a file name");
        args.database = value;
        args.haveDatabase = true;
      } else {
        args.passwordEnv = value;
      }
    } else if (arg.rfind("--password", 0) == 0) {
      return UsageError("a password is never taken from the command line; use --password-env NAME");
    } else {
      return UsageError("unknown argument " + arg);
    }
  }

  std::optional<std::string> password;
  if (!args.passwordEnv.empty()) {
    const char* value = std::getenv(args.passwordEnv.c_str());
    if (!value) return UsageError("environment variable " + args.passwordEnv + " is not set");
    password = value;
  }

  ConsoleScreen screen(stdout, stderr, isatty(STDERR_FILENO) == 1);
  InstanceGuard guard(kInstanceGuardName);
  if (!guard.Acquired()) {
    ShowAppMessage(screen, texts::AlreadyRunning);
    return kRefusedOrFailed;
  }
  const auto probe = MakeWindowProbe(std::string(texts::MainApplicationWindowClass));
  PatchSession session(screen, *probe);

  session.ReadSettings();
  if (password) session.Database().Target().Password = *password;
  if (args.haveDatabase) {
    session.ConnectChosenFile(args.database);
  } else {
    session.OpenLocatedDatabase();
  }
  if (!session.Database().IsConnected()) {
    const std::string& why = session.Database().LastConnectFailure();
    if (!why.empty()) std::fprintf(stderr, "mivotra-patch: %s\n", why.c_str());
    return kNoDatabase;
  }

  int result = kRefusedOrFailed;
  if (args.dryRun) {
    if (const auto plan = session.PlanUpdate()) {
      screen.CopyTextToClipboard(NumberedStatementList(*plan));
      result = kUpdated;
    }
  } else {
    if (session.OnRunUpdate()) result = kUpdated;
    if (!session.LastFailureReason().empty())
      std::fprintf(stderr, "mivotra-patch: %s\n", session.LastFailureReason().c_str());
  }
  session.Database().Disconnect();
  return result;
}
