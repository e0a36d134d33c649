#pragma once
// What the console says beyond the boxes: the JSON result of a run and the
// account of a database that could not be found or opened.

#include <optional>
#include <string>
#include <vector>

#include "cli/ConsoleScreen.h"
#include "update/PatchSession.h"

namespace mivotra {

enum class Outcome { Updated, WouldUpdate, Refused, Failed, NoDatabase };

// The outcome word of the JSON result: "updated", "would-update", ...
const char* OutcomeName(Outcome outcome);

struct ConsoleResult {
  Outcome outcome = Outcome::Failed;
  int exitStatus = 1;
  std::optional<std::string> database;  // the path worked on or tried
  RunRecord run;
  std::vector<ShownMessage> messages;
  // The failure to report: the run's, or the connection's for NoDatabase.
  std::optional<ComError> error;
};

// One JSON object and a line feed, written with Qt's JSON classes.
std::string ResultJson(const ConsoleResult& result);

struct LookedAt {
  std::string settingsFile;
  bool settingsFileExists = false;
  bool settingsHoldDatabase = false;
  std::string settingsUnusable;  // why the settings that are there name no database
  bool givenOnCommandLine = false;
  std::string tried;   // the database path tried; empty when none was named
  bool found = false;  // something stood at that path
  std::string reason;  // the engine's reason, when it would not open
};

// The lines "mivotra-patch: ..." that say what was looked at and why nothing
// could be opened, and point at --database.
std::string NoDatabaseExplanation(const LookedAt& looked);

}  // namespace mivotra
