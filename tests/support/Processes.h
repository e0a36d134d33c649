#pragma once
// Child processes that report back, waiting for a condition instead of sleeping,
// and what a process has open.

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace mivotra::test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Outcome {
  bool exited = false;
  int code = -1;
  int signal = 0;
  bool Killed() const { return signal == SIGKILL; }
  bool Succeeded() const { return exited && code == 0; }
};

Outcome WaitFor(pid_t pid);

std::string ReadAll(int fd);

bool WriteAll(int fd, const std::string& text);

struct ChildRun {
  Outcome outcome;
  std::string report;  // what the child wrote to its report descriptor
};

// Runs body in a forked child; body writes what the parent should see to the
// descriptor it is given and returns the exit code. Mounts, limits and kills
// stay in the child.
ChildRun RunInChild(const std::function<int(int report)>& body);

// True once the child has ended (it is not reaped here).
bool Ended(pid_t pid);

// Polls `condition` every millisecond until it holds (true), or until `pid`
// has ended or `limit` has passed (false). No fixed sleeps: the test acts
// the moment the state it waits for is there.
bool PollUntil(pid_t pid, const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(60));

long long SizeOf(const fs::path& file);

struct OpenFile {
  fs::path descriptor;  // /proc/PID/fd/N: stat follows it even to a file without a name
  std::string target;   // the file's path, with " (deleted)" once it has none
};

// The process's descriptors open on files inside `folder`.
std::vector<OpenFile> OpenFilesIn(pid_t pid, const fs::path& folder);

bool HasOpenFileIn(pid_t pid, const fs::path& folder);

}  // namespace mivotra::test
