#include "target/posix/NewFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/Translate.h"

namespace mivotra {
namespace {

constexpr const char* kTemporaryPrefix = ".mivotra-copy-";
constexpr const char* kTemporarySuffix = ".tmp";

bool IsTemporaryName(const std::string& name) {
  const std::string prefix = kTemporaryPrefix;
  const std::string suffix = kTemporarySuffix;
  return name.size() > prefix.size() + suffix.size() &&
         name.compare(0, prefix.size(), prefix) == 0 &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool Fail(std::string* reason, const std::string& what, int error) {
  if (reason) *reason = Format(Tr("backup", "%1: %2"), {what, ErrorText(error)});
  return false;
}

// FAT keeps times in steps of two seconds.
bool NearlySameTime(const struct timespec& a, const struct timespec& b) {
  const auto apart = a.tv_sec > b.tv_sec ? a.tv_sec - b.tv_sec : b.tv_sec - a.tv_sec;
  return apart <= 2;
}

}  // namespace

bool IsUnsupported(int error) {
  return error == ENOSYS || error == EOPNOTSUPP;
}

bool IsSameFile(int folder, const std::string& name, const struct stat& file) {
  struct stat named = {};
  return fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         named.st_dev == file.st_dev && named.st_ino == file.st_ino;
}

std::string TemporaryName() {
  std::uint64_t random = 0;
  if (getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    static unsigned counter = 0;
    random ^= static_cast<std::uint64_t>(getpid()) << 32 | ++counter;
  }
  char name[48];
  std::snprintf(name, sizeof name, "%s%016llx%s", kTemporaryPrefix,
                static_cast<unsigned long long>(random), kTemporarySuffix);
  return name;
}

void RemoveStaleTemporaries(int folder) {
  const int listing = dup(folder);
  if (listing < 0) return;
  DIR* entries = fdopendir(listing);
  if (!entries) {
    close(listing);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(entries)) {
    if (IsTemporaryName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  closedir(entries);
  for (const auto& name : names) {
    UniqueFd file(openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened = {};
    if (!file.valid() || fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_uid != geteuid() || flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
      continue;
    }
    if (IsSameFile(folder, name, opened)) unlinkat(folder, name.c_str(), 0);
  }
}

PendingFile::~PendingFile() {
  m_file.Reset();
  if (!m_temporaryName.empty() && !m_committed) unlinkat(m_folder, m_temporaryName.c_str(), 0);
}

bool PendingFile::Open() {
  m_file.Reset(openat(m_folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  m_anonymous = m_file.valid();
  if (m_anonymous) return true;
  // EISDIR: a kernel that does not know O_TMPFILE.
  if (!IsUnsupported(errno) && errno != EISDIR) return false;
  return OpenNamed();
}

bool PendingFile::OpenNamed() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryName();
    const int fd =
        openat(m_folder, name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      m_file.Reset(fd);
      m_temporaryName = name;
      // Held while the copy lives, so that no later copy takes it for stale.
      flock(fd, LOCK_EX | LOCK_NB);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool PendingFile::GiveName(const std::string& name) {
  if (m_anonymous) {
    // AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH; the /proc link does not.
    if (linkat(fd(), "", m_folder, name.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(fd());
    return linkat(AT_FDCWD, self.c_str(), m_folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }
  if (m_temporaryName.empty()) {
    errno = EBADF;
    return false;
  }
  const char* temporary = m_temporaryName.c_str();
  if (renameat2(m_folder, temporary, m_folder, name.c_str(), RENAME_NOREPLACE) == 0) {
    m_temporaryName.clear();
    return true;
  }
  // FUSE gives EINVAL for flags its file system does not take.
  if (errno != EINVAL && !IsUnsupported(errno)) return false;
  // A hard link fails just as surely on an existing name; the temporary
  // name goes at Commit().
  if (linkat(m_folder, temporary, m_folder, name.c_str(), 0) == 0) return true;
  // EPERM: a file system without hard links (exFAT, FAT).
  if (errno != EPERM && errno != EMLINK && !IsUnsupported(errno)) return false;
  return RenameOverPlaceholder(name);
}

// Made only now, with the copy complete and checked, so that only the short
// step to the rename can leave the placeholder (empty) under the name.
bool PendingFile::RenameOverPlaceholder(const std::string& name) {
  struct stat placeholder = {};
  {
    UniqueFd made(
        openat(m_folder, name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!made.valid()) return false;
    if (fstat(made.get(), &placeholder) != 0) {
      const int error = errno;
      made.Reset();
      unlinkat(m_folder, name.c_str(), 0);
      errno = error;
      return false;
    }
    // Closed before the rename: a FUSE file system would otherwise keep the
    // replaced file, still open, under a hidden name of its own.
  }
  // Someone else's file at the name now is theirs to keep.
  if (!IsSameFile(m_folder, name, placeholder)) {
    errno = EEXIST;
    return false;
  }
  if (renameat(m_folder, m_temporaryName.c_str(), m_folder, name.c_str()) == 0) {
    m_temporaryName.clear();
    return true;
  }
  const int error = errno;
  if (IsSameFile(m_folder, name, placeholder)) unlinkat(m_folder, name.c_str(), 0);
  errno = error;
  return false;
}

void PendingFile::Commit() {
  m_committed = true;
  if (!m_temporaryName.empty()) unlinkat(m_folder, m_temporaryName.c_str(), 0);
  m_file.Reset();
}

bool TakeModeAndTimes(int fd, const struct stat& source, std::string* reason) {
  const mode_t mode = source.st_mode & 0777;
  struct stat now = {};
  if (fchmod(fd, mode) != 0) {
    const int error = errno;
    if (!IsUnsupported(error) || fstat(fd, &now) != 0 || (now.st_mode & 0777) != mode)
      return Fail(reason, Tr("backup", "cannot set the permissions of the copy"), error);
  }
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  if (futimens(fd, times) != 0) {
    const int error = errno;
    if (!IsUnsupported(error) || fstat(fd, &now) != 0 ||
        !NearlySameTime(now.st_mtim, source.st_mtim))
      return Fail(reason, Tr("backup", "cannot set the times of the copy"), error);
  }
  return true;
}

std::optional<KeptAttributes> ObserveKeptAttributes(int folder) {
  PendingFile probe(folder);
  if (!probe.Open()) return std::nullopt;
  // Not subject to the umask, unlike the mode given at creation.
  fchmod(probe.fd(), 0600);
  struct stat seen = {};
  if (fstat(probe.fd(), &seen) != 0) return std::nullopt;
  return KeptAttributes{seen.st_uid == geteuid(), (seen.st_mode & 07777) == 0600};
}

}  // namespace mivotra
