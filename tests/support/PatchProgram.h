#pragma once
// The real mivotra-patch as a script runs it, and where it puts the backup.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Processes.h"

namespace mivotra::test {

std::string BackupFolderName();

// The backup the session makes for `database` (a path ending in ".mdb").
fs::path BackupOf(const fs::path& database);

std::string PatchProgram();

struct ProgramRun {
  pid_t pid = -1;
  fs::path out;
  fs::path err;
};

// Starts mivotra-patch with its own settings and runtime folders under
// `home` (so that no other test's instance lock is in the way), without a
// display, standard input closed.
ProgramRun StartPatch(const fs::path& home, const std::vector<std::string>& arguments,
                      const std::string& name, const std::vector<std::string>& environment = {});
// The same for another program (its path).
ProgramRun StartProgram(const std::string& program, const fs::path& home,
                        const std::vector<std::string>& arguments, const std::string& name,
                        const std::vector<std::string>& environment = {});

struct Finished {
  Outcome outcome;
  std::string out;
  std::string err;
};

Finished RunPatch(const fs::path& home, const std::vector<std::string>& arguments,
                  const std::string& name, const std::vector<std::string>& environment = {});
Finished RunProgram(const std::string& program, const fs::path& home,
                    const std::vector<std::string>& arguments, const std::string& name,
                    const std::vector<std::string>& environment = {});

// The console's form of a message box: "[caption]\ntext\n\n".
std::string ConsoleBox(std::string_view caption, std::string_view text);

}  // namespace mivotra::test
