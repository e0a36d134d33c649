#include "PatchProgram.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "TestSupport.h"
#include "res/Texts.h"

namespace mivotra::test {

std::string BackupFolderName() {
  return std::string(texts::BackupFolderName);
}

fs::path BackupOf(const fs::path& database) {
  return database.parent_path() / BackupFolderName() /
         (database.stem().string() + std::string(texts::BackupNameSuffix) + ".mdb");
}

std::string PatchProgram() {
  return std::string(MIVOTRA_BINARY_DIR) + "/src/mivotra-patch";
}

ProgramRun StartPatch(const fs::path& home, const std::vector<std::string>& arguments,
                      const std::string& name, const std::vector<std::string>& environment) {
  return StartProgram(PatchProgram(), home, arguments, name, environment);
}

ProgramRun StartProgram(const std::string& program, const fs::path& home,
                        const std::vector<std::string>& arguments, const std::string& name,
                        const std::vector<std::string>& environment) {
  fs::create_directories(home / "config");
  fs::create_directories(home / "runtime");
  fs::permissions(home / "runtime", fs::perms::owner_all);
  ProgramRun run;
  run.out = home / (name + ".out");
  run.err = home / (name + ".err");
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::fflush(nullptr);
  // Until a new child has closed what it inherited, it holds every file the
  // test's other threads have open: to another thread's program, a use of
  // that thread's database by another process. So one child at a time, and
  // this one has let go (the end of `closed`) before the next can start.
  static std::mutex forking;
  const std::lock_guard<std::mutex> oneAtATime(forking);
  int closed[2];
  if (pipe2(closed, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  run.pid = fork();
  if (run.pid == 0) {
    close_range(3, ~0U, 0);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("DISPLAY");
    for (const auto& assignment : environment) putenv(const_cast<char*>(assignment.c_str()));
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(run.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(run.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    close_range(3, ~0U, 0);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(closed[1]);
  char ignored;
  while (read(closed[0], &ignored, 1) < 0 && errno == EINTR) {
  }
  close(closed[0]);
  return run;
}

Finished RunPatch(const fs::path& home, const std::vector<std::string>& arguments,
                  const std::string& name, const std::vector<std::string>& environment) {
  return RunProgram(PatchProgram(), home, arguments, name, environment);
}

Finished RunProgram(const std::string& program, const fs::path& home,
                    const std::vector<std::string>& arguments, const std::string& name,
                    const std::vector<std::string>& environment) {
  const ProgramRun run = StartProgram(program, home, arguments, name, environment);
  Finished finished;
  finished.outcome = WaitFor(run.pid);
  finished.out = ReadFile(run.out);
  finished.err = ReadFile(run.err);
  return finished;
}

std::string ConsoleBox(std::string_view caption, std::string_view text) {
  return "[" + std::string(caption) + "]\n" + std::string(text) + "\n\n";
}

}  // namespace mivotra::test
