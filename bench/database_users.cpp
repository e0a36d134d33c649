// One scan for other users of the database (FindOtherDatabaseUser) against
// `fuser FILE` (psmisc), with a few hundred sleeping processes that each have
// a few files open, none of them the database: both sides must look at
// every process. The order alternates between rounds.
//
//   bench_database_users [--processes N] [--files N] [--runs N] FOLDER
//
// Prints the median of each side and the ratio ours / fuser (target <= 1.00).

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/DatabaseUsers.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// `fuser FILE`, its list of process ids to `out`; its exit code, -1 when it
// could not be run. It names this process too, which has the file open.
int Fuser(const std::string& file, const std::string& out = "/dev/null") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {"fuser", file.c_str(), nullptr};
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, "fuser", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Sleeping processes, each with `files` of the given names open, ended with
// the benchmark.
class Sleepers {
 public:
  ~Sleepers() {
    for (const pid_t pid : m_pids) kill(pid, SIGKILL);
    for (const pid_t pid : m_pids) waitpid(pid, nullptr, 0);
  }
  bool Start(const std::vector<std::string>& files) {
    int ready[2];
    if (pipe(ready) != 0) return false;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      close(ready[0]);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      for (const auto& file : files) open(file.c_str(), O_RDONLY);
      const char byte = 'r';
      if (write(ready[1], &byte, 1) != 1) _exit(1);
      close(ready[1]);
      for (;;) pause();
    }
    close(ready[1]);
    char byte = 0;
    const bool started = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    m_pids.push_back(pid);
    return started;
  }
  pid_t Last() const { return m_pids.back(); }

 private:
  std::vector<pid_t> m_pids;
};

int ProcessCount() {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") == std::string::npos) ++count;
  }
  return count;
}

int Usage() {
  std::fprintf(stderr,
               "usage: bench_database_users [--processes N] [--files N] [--runs N] FOLDER\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int processes = 300;
  int files = 8;
  int runs = 21;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--processes" || arg == "--files" || arg == "--runs") && i + 1 < argc) {
      const int value = std::atoi(argv[++i]);
      (arg == "--processes" ? processes : arg == "--files" ? files : runs) = value;
    } else if (folder.empty() && arg.rfind("--", 0) != 0) {
      folder = arg;
    } else {
      return Usage();
    }
  }
  if (folder.empty() || processes < 1 || files < 1 || runs < 1) return Usage();

  const std::string database = folder + "/data.mdb";
  std::ofstream(database) << std::string(8192, 'x');
  std::vector<std::string> names;
  for (int i = 0; i < files; ++i) {
    names.push_back(folder + "/other" + std::to_string(i));
    std::ofstream(names.back()) << "x";
  }
  Sleepers sleepers;
  for (int i = 0; i < processes; ++i) {
    if (!sleepers.Start(names)) {
      std::fprintf(stderr, "bench_database_users: cannot start process %d\n", i + 1);
      return 1;
    }
  }
  // Opened after the sleepers started, so that none of them has it.
  const int own = open(database.c_str(), O_RDONLY | O_CLOEXEC);
  if (own < 0) return Usage();
  std::printf(
      "database users benchmark: %d sleeping processes with %d open files each "
      "(%d processes in all), %d rounds\n",
      processes, files, ProcessCount(), runs);

  // Both sides see a user when there is one, and nobody otherwise.
  {
    Sleepers user;
    std::vector<std::string> withDatabase = names;
    withDatabase.push_back(database);
    if (!user.Start(withDatabase)) return 1;
    const auto found = mivotra::FindOtherDatabaseUser(database, own);
    const std::string listed = folder + "/fuser.out";
    const bool fuserRan = Fuser(database, listed) == 0;
    std::string pids;
    std::getline(std::ifstream(listed), pids, '\0');
    if (!found || found->pid != user.Last() || !fuserRan ||
        (" " + pids + " ").find(" " + std::to_string(user.Last()) + " ") == std::string::npos) {
      std::fprintf(stderr, "bench_database_users: a user of the database was not found\n");
      return 1;
    }
  }
  if (mivotra::FindOtherDatabaseUser(database, own)) {
    std::fprintf(stderr, "bench_database_users: a user was found where there is none\n");
    return 1;
  }

  std::vector<double> ours;
  std::vector<double> theirs;
  for (int run = 0; run < runs; ++run) {
    for (int side = 0; side < 2; ++side) {
      const bool oursNow = (side == 0) == (run % 2 == 0);
      const auto start = Clock::now();
      if (oursNow) {
        if (mivotra::FindOtherDatabaseUser(database, own)) return 1;
        ours.push_back(MillisecondsSince(start));
      } else {
        if (Fuser(database) < 0) return 1;
        theirs.push_back(MillisecondsSince(start));
      }
    }
    std::printf("  round %d: ours %.2f ms, fuser %.2f ms\n", run + 1, ours.back(), theirs.back());
  }
  close(own);
  const double a = Median(ours);
  const double b = Median(theirs);
  std::printf("ours (FindOtherDatabaseUser, one scan of every process): median %.2f ms\n", a);
  std::printf("baseline (fuser FILE, its start included): median %.2f ms\n", b);
  std::printf("ratio ours/fuser: %.3f (target <= 1.00) %s\n", a / b, a <= b ? "ok" : "MISSED");
  return 0;
}
