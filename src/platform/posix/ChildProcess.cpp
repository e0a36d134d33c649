#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace mivotra {
namespace {

constexpr int kAnswerDescriptor = 3;

// The child keeps nothing of the caller's open but the answer pipe (the
// database above all: a neighbour looking for users of it would see the
// child), and dies with the caller and on a deadline of its own should the
// caller never get to kill it.
[[noreturn]] void AnswerInChild(int answer, pid_t caller, const std::function<char()>& body,
                                std::chrono::milliseconds limit) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != caller) _exit(1);
  signal(SIGALRM, SIG_DFL);
  sigset_t alarmOnly;
  sigemptyset(&alarmOnly);
  sigaddset(&alarmOnly, SIGALRM);
  sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
  alarm(static_cast<unsigned>(std::chrono::ceil<std::chrono::seconds>(limit).count()) + 2);
  if (answer != kAnswerDescriptor && dup2(answer, kAnswerDescriptor) != kAnswerDescriptor) _exit(1);
  close_range(kAnswerDescriptor + 1, ~0U, 0);
  char byte = 0;
  try {
    byte = body();
  } catch (...) {
    _exit(1);
  }
  while (write(kAnswerDescriptor, &byte, 1) < 0 && errno == EINTR) {
  }
  _exit(0);
}

// The child's one byte; nothing when it ends without one or the limit passes.
std::optional<char> AwaitAnswer(int answer, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    struct pollfd ready = {answer, POLLIN, 0};
    const int events = poll(&ready, 1, static_cast<int>(left.count()));
    if (events < 0 && errno == EINTR) continue;
    if (events <= 0) return std::nullopt;
    char byte;
    const ssize_t n = read(answer, &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1) return std::nullopt;
    return byte;
  }
}

}  // namespace

std::optional<char> AnswerFromChild(const std::function<char()>& body,
                                    std::chrono::milliseconds limit) {
  int answer[2];
  if (pipe2(answer, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t caller = getpid();
  const pid_t child = fork();
  if (child == 0) {
    close(answer[0]);
    AnswerInChild(answer[1], caller, body, limit);
  }
  close(answer[1]);
  const std::optional<char> byte = child > 0 ? AwaitAnswer(answer[0], limit) : std::nullopt;
  close(answer[0]);
  if (child > 0) {
    // Answered or not, the child has nothing left to do; a blocked one is ended here.
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  return byte;
}

}  // namespace mivotra
