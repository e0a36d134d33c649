#include "platform/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <utility>

namespace mivotra {
namespace {

constexpr const char* kPrivateFolderPrefix = "MivotraPatch20091109-";

std::string WithoutTrailingSlashes(std::string path) {
  // "link/" would lead through a link that "link" shows as one.
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A folder only this user can write to, so that nobody else can plant a lock
// file in it, hold one there or remove ours. Looked at through a descriptor
// opened without following a link, so what is checked is what is there.
// `created`: the tool has just made it, and its mode is set whatever the umask.
bool IsPrivateFolder(const std::string& path, bool created = false) {
  const UniqueFd folder(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder.valid()) return false;
  struct stat info = {};
  bool usable =
      fstat(folder.get(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
  if (usable && created)
    usable = fchmod(folder.get(), S_IRWXU) == 0 && fstat(folder.get(), &info) == 0;
  return usable && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// $XDG_RUNTIME_DIR when it is private, else <temp>/MivotraPatch20091109-<uid>,
// made when missing; nothing when neither can be trusted.
std::optional<std::string> LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) {
    const std::string folder = WithoutTrailingSlashes(runtime);
    if (IsPrivateFolder(folder)) return folder;
  }
  const std::string temp =
      WithoutTrailingSlashes(QFile::encodeName(QDir::tempPath()).toStdString());
  const std::string folder = temp + "/" + kPrivateFolderPrefix + std::to_string(geteuid());
  const bool created = mkdir(folder.c_str(), S_IRWXU) == 0;
  if (IsPrivateFolder(folder, created)) return folder;
  return std::nullopt;
}

}  // namespace

InstanceGuard::InstanceGuard(const std::string& name) {
  const std::optional<std::string> folder = LockFolder();
  if (folder) {
    m_path = *folder + "/" + name + ".lock";
    m_acquired = TakeLock();
    if (!m_acquired && m_lockRefused) return;
  }
  if (!m_acquired) {
    // The folder cannot hold a lock (read-only, missing): run without a guard
    // rather than refuse to start, as the tool did when its mutex failed.
    // So too when no folder is private enough: another user's folder at our
    // name must not stop the tool, and a lock in it would prove nothing.
    m_acquired = true;
    m_lock.Reset();
  }
}

// The lock is a whole-file lock on the lock file, which the system gives up
// with the process however it ends, so a crashed copy never blocks the next.
bool InstanceGuard::TakeLock() {
  for (int attempt = 0; attempt < 10; ++attempt) {
    UniqueFd file(open(m_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid()) return false;
    const int fd = file.get();
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      m_lockRefused = errno == EWOULDBLOCK;
      return false;
    }
    // A copy that was just ending may have removed the name after we opened
    // it: a lock on a file without the name guards nothing.
    struct stat locked = {};
    struct stat named = {};
    if (fstat(fd, &locked) == 0 && lstat(m_path.c_str(), &named) == 0 &&
        locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
      // For a person looking: which process holds it.
      const std::string pid = std::to_string(getpid()) + "\n";
      if (ftruncate(fd, 0) == 0) (void)!write(fd, pid.data(), pid.size());
      m_lock = std::move(file);
      return true;
    }
  }
  return false;
}

// Nothing here allocates: it runs last, after the outcome was told, where a
// failure must not turn a finished update into a crash. The name goes before
// the lock, so the next copy never locks a file about to lose its name.
InstanceGuard::~InstanceGuard() {
  if (m_lock.valid()) unlink(m_path.c_str());
}

}  // namespace mivotra
