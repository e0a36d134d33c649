#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "base/UniqueFd.h"

namespace mivotra {
namespace {

// The program's end, seen through its pidfd; false once `limit` has passed.
bool EndsWithin(int pidfd, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    struct pollfd ended = {pidfd, POLLIN, 0};
    const int events = poll(&ended, 1, static_cast<int>(left.count()));
    if (events < 0 && errno == EINTR) continue;
    return events > 0;
  }
}

std::vector<char*> NullTerminated(const std::vector<std::string>& strings,
                                  const std::string* first = nullptr) {
  std::vector<char*> list;
  if (first) list.push_back(const_cast<char*>(first->c_str()));
  for (const std::string& text : strings) list.push_back(const_cast<char*>(text.c_str()));
  list.push_back(nullptr);
  return list;
}

// The descriptors and signals the program starts with, set in the new
// process between its creation and the exec: no descriptor of the caller's
// beyond standard error, no signal of the caller's blocked or ignored.
class SpawnSettings {
 public:
  SpawnSettings() {
    posix_spawn_file_actions_init(&m_actions);
    posix_spawnattr_init(&m_attributes);
    m_ok = posix_spawn_file_actions_addopen(&m_actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
           posix_spawn_file_actions_addopen(&m_actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
           posix_spawn_file_actions_addclosefrom_np(&m_actions, 3) == 0;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    m_ok = m_ok && posix_spawnattr_setsigmask(&m_attributes, &none) == 0 &&
           posix_spawnattr_setsigdefault(&m_attributes, &all) == 0 &&
           posix_spawnattr_setflags(&m_attributes,
                                    POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  }
  ~SpawnSettings() {
    posix_spawnattr_destroy(&m_attributes);
    posix_spawn_file_actions_destroy(&m_actions);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  bool ok() const { return m_ok; }
  const posix_spawn_file_actions_t* actions() const { return &m_actions; }
  const posix_spawnattr_t* attributes() const { return &m_attributes; }

 private:
  posix_spawn_file_actions_t m_actions;
  posix_spawnattr_t m_attributes;
  bool m_ok = false;
};

}  // namespace

std::optional<int> ExitStatusOfProgram(const std::string& path,
                                       const std::vector<std::string>& args,
                                       const std::vector<std::string>& environment,
                                       std::chrono::milliseconds limit) {
  SpawnSettings settings;
  if (!settings.ok()) return std::nullopt;
  const std::vector<char*> argv = NullTerminated(args, &path);
  const std::vector<char*> envp = NullTerminated(environment);
  pid_t child = -1;
  if (posix_spawn(&child, path.c_str(), settings.actions(), settings.attributes(), argv.data(),
                  envp.data()) != 0) {
    return std::nullopt;
  }
  // Close-on-exec by nature, so no program another thread starts inherits it.
  // Without pidfds (Linux before 5.3) the program is not waited for: no answer.
  // (The system call itself: glibc 2.36's <sys/pidfd.h> lacks extern "C".)
  const UniqueFd pidfd(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
  const bool ended = pidfd.valid() && EndsWithin(pidfd.get(), limit);
  if (!ended) kill(child, SIGKILL);
  int status = 0;
  pid_t reaped;
  while ((reaped = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  if (!ended || reaped != child || !WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

}  // namespace mivotra
