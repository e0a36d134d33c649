#include "Processes.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace mivotra::test {

Outcome WaitFor(pid_t pid) {
  Outcome outcome;
  int status = 0;
  pid_t got;
  while ((got = waitpid(pid, &status, 0)) == -1 && errno == EINTR) {
  }
  if (got != pid) return outcome;
  outcome.exited = WIFEXITED(status);
  outcome.code = outcome.exited ? WEXITSTATUS(status) : -1;
  outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return outcome;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

ChildRun RunInChild(const std::function<int(int report)>& body) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    close(fds[0]);
    const int code = body(fds[1]);
    close(fds[1]);
    _exit(code);
  }
  close(fds[1]);
  ChildRun run;
  run.report = ReadAll(fds[0]);
  close(fds[0]);
  run.outcome = WaitFor(child);
  return run;
}

bool Ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

bool PollUntil(pid_t pid, const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (condition()) return true;
    if (pid > 0 && Ended(pid)) return false;
    const struct timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
  }
  return false;
}

long long SizeOf(const fs::path& file) {
  struct stat info = {};
  return stat(file.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

std::vector<OpenFile> OpenFilesIn(pid_t pid, const fs::path& folder) {
  std::vector<OpenFile> files;
  std::error_code error;
  const std::string prefix = folder.string() + "/";
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    std::error_code ignored;
    std::string target = fs::read_symlink(entry.path(), ignored).string();
    if (target.rfind(prefix, 0) == 0) files.push_back({entry.path(), std::move(target)});
  }
  return files;
}

bool HasOpenFileIn(pid_t pid, const fs::path& folder) {
  return !OpenFilesIn(pid, folder).empty();
}

}  // namespace mivotra::test
