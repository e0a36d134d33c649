#include "platform/DatabaseUsers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <charconv>
#include <cstddef>
#include <cstring>
#include <vector>

#include "base/Translate.h"
#include "base/UniqueFd.h"

namespace mivotra {
namespace {

struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// A file whose being open means the database is in use, with the name it is reported by.
struct WatchedFile {
  FileId id;
  std::string name;
};

// A folder's entries straight from the kernel into a buffer the caller keeps,
// so that reading thousands of /proc/<pid>/fd folders allocates nothing each.
class DirectoryEntries {
 public:
  DirectoryEntries(int folder, std::vector<char>& buffer) : m_folder(folder), m_buffer(buffer) {}

  // The next name other than "." and "..", nullptr at the end or on an error
  // (a process that exits while it is read simply ends early).
  const char* Next() {
    for (;;) {
      if (m_at >= m_filled) {
        const ssize_t n = getdents64(m_folder, m_buffer.data(), m_buffer.size());
        if (n <= 0) return nullptr;
        m_filled = static_cast<std::size_t>(n);
        m_at = 0;
      }
      const char* record = m_buffer.data() + m_at;
      unsigned short length;
      std::memcpy(&length, record + offsetof(struct dirent64, d_reclen), sizeof length);
      m_at += length;
      const char* name = record + offsetof(struct dirent64, d_name);
      if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) return name;
    }
  }

 private:
  int m_folder;
  std::vector<char>& m_buffer;
  std::size_t m_at = 0;
  std::size_t m_filled = 0;
};

FileId IdOf(const struct stat& info) {
  return FileId{info.st_dev, info.st_ino};
}

// The database by its descriptor; its journal and logs by name, and only
// regular files: a journal name planted as a link to /dev/null must not make
// every process that has /dev/null open a user of the database.
std::vector<WatchedFile> WatchedFiles(const std::string& databaseFile, int databaseDescriptor) {
  std::vector<WatchedFile> watched;
  struct stat info = {};
  if (fstat(databaseDescriptor, &info) == 0 || stat(databaseFile.c_str(), &info) == 0)
    watched.push_back({IdOf(info), databaseFile});
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    const std::string name = databaseFile + suffix;
    if (stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode))
      watched.push_back({IdOf(info), name});
  }
  return watched;
}

// Identity of the file behind /proc/<pid>/fd/<n>. AT_STATX_DONT_SYNC keeps
// network and FUSE file systems from being asked, so a neighbour's hung mount
// cannot hang the scan.
std::optional<FileId> OpenFileId(int fdFolder, const char* name) {
  struct statx info = {};
  if (statx(fdFolder, name, AT_STATX_DONT_SYNC, STATX_INO, &info) != 0) return std::nullopt;
  return FileId{makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino};
}

std::string CommandOf(int procFolder, long pid) {
  const std::string path = std::to_string(pid) + "/comm";
  const UniqueFd file(openat(procFolder, path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return {};
  char buffer[64];
  const ssize_t n = read(file.get(), buffer, sizeof buffer);
  if (n <= 0) return {};
  std::string command(buffer, static_cast<std::size_t>(n));
  while (!command.empty() && command.back() == '\n') command.pop_back();
  return command;
}

std::string ProcessName(long pid, const std::string& command) {
  return command.empty()
             ? Format(Tr("platform", "process %1"), {std::to_string(pid)})
             : Format(Tr("platform", "process %1 (%2)"), {std::to_string(pid), command});
}

// Another process's record lock on any byte of the file. F_GETLK leaves out
// the calling process's own POSIX locks; an OFD lock comes back without a
// process id (so does a holder in another pid namespace).
std::optional<DatabaseUser> LockHolder(const std::string& databaseFile, int databaseDescriptor,
                                       int procFolder) {
  struct flock query = {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  query.l_start = 0;
  query.l_len = 0;
  if (fcntl(databaseDescriptor, F_GETLK, &query) != 0 || query.l_type == F_UNLCK)
    return std::nullopt;
  const bool read = query.l_type == F_RDLCK;
  DatabaseUser user;
  if (query.l_pid > 0) {
    user.pid = query.l_pid;
    user.command = procFolder >= 0 ? CommandOf(procFolder, user.pid) : std::string();
    user.reason = Format(read ? Tr("platform", "%1 holds a read lock on %2")
                              : Tr("platform", "%1 holds a write lock on %2"),
                         {ProcessName(user.pid, user.command), databaseFile});
  } else {
    user.reason = Format(read ? Tr("platform",
                                   "another process (one the system does not name) holds a read "
                                   "lock on %1")
                              : Tr("platform",
                                   "another process (one the system does not name) holds a write "
                                   "lock on %1"),
                         {databaseFile});
  }
  return user;
}

// The first watched file among one process's descriptors.
const WatchedFile* FindOpenIn(int procFolder, const char* pid,
                              const std::vector<WatchedFile>& watched, std::vector<char>& buffer) {
  const std::string path = std::string(pid) + "/fd";
  const UniqueFd fdFolder(openat(procFolder, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // Not ours to read, or already gone: such a process does not count.
  if (!fdFolder.valid()) return nullptr;
  DirectoryEntries entries(fdFolder.get(), buffer);
  while (const char* fd = entries.Next()) {
    const auto id = OpenFileId(fdFolder.get(), fd);
    if (!id) continue;
    for (const WatchedFile& file : watched)
      if (file.id == *id) return &file;
  }
  return nullptr;
}

std::optional<DatabaseUser> FindOpener(int procFolder, const std::vector<WatchedFile>& watched) {
  if (watched.empty()) return std::nullopt;
  const long self = getpid();
  std::vector<char> processes(32 * 1024);
  std::vector<char> descriptors(32 * 1024);
  DirectoryEntries entries(procFolder, processes);
  while (const char* name = entries.Next()) {
    long pid = 0;
    const char* end = name + std::strlen(name);
    const auto parsed = std::from_chars(name, end, pid);
    if (parsed.ec != std::errc() || parsed.ptr != end || pid <= 0 || pid == self) continue;
    if (const WatchedFile* file = FindOpenIn(procFolder, name, watched, descriptors)) {
      DatabaseUser user;
      user.pid = pid;
      user.command = CommandOf(procFolder, pid);
      user.reason =
          Format(Tr("platform", "%1 has %2 open"), {ProcessName(pid, user.command), file->name});
      return user;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<DatabaseUser> FindOtherDatabaseUser(const std::string& databaseFile,
                                                  int databaseDescriptor) {
  const UniqueFd proc(open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  auto lockHolder = LockHolder(databaseFile, databaseDescriptor, proc.get());
  if (lockHolder && lockHolder->pid > 0) return lockHolder;
  if (proc.valid()) {
    if (auto opener = FindOpener(proc.get(), WatchedFiles(databaseFile, databaseDescriptor)))
      return opener;
  }
  return lockHolder;
}

}  // namespace mivotra
