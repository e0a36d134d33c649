#include "target/BackupCopy.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace mivotra {

namespace {

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  void Reset(int fd) {
    Close();
    m_fd = fd;
  }
  void Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd = -1;
};

// A write past RLIMIT_FSIZE raises SIGXFSZ, whose default action ends the
// process; ignored, the write fails with EFBIG and the copy can clean up.
class IgnoreFileSizeSignal {
 public:
  IgnoreFileSizeSignal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    m_restore = sigaction(SIGXFSZ, &ignore, &m_previous) == 0;
  }
  ~IgnoreFileSizeSignal() {
    if (m_restore) sigaction(SIGXFSZ, &m_previous, nullptr);
  }
  IgnoreFileSizeSignal(const IgnoreFileSizeSignal&) = delete;
  IgnoreFileSizeSignal& operator=(const IgnoreFileSizeSignal&) = delete;

 private:
  struct sigaction m_previous {};
  bool m_restore = false;
};

class EndProgressOnReturn {
 public:
  explicit EndProgressOnReturn(Screen& screen) : m_screen(screen) {}
  ~EndProgressOnReturn() { m_screen.EndCopyProgress(); }
  EndProgressOnReturn(const EndProgressOnReturn&) = delete;
  EndProgressOnReturn& operator=(const EndProgressOnReturn&) = delete;

 private:
  Screen& m_screen;
};

// The file being written. Until Commit() it is either unnamed (it vanishes
// with its descriptor) or has a hidden temporary name that is removed here.
class PendingFile {
 public:
  explicit PendingFile(int folder) : m_folder(folder) {}
  ~PendingFile() {
    m_file.Close();
    if (!m_temporaryName.empty() && !m_committed) unlinkat(m_folder, m_temporaryName.c_str(), 0);
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  int fd() const { return m_file.get(); }
  bool anonymous() const { return m_anonymous; }
  const std::string& temporaryName() const { return m_temporaryName; }

  bool OpenAnonymous() {
    m_file.Reset(openat(m_folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    m_anonymous = m_file.valid();
    return m_anonymous;
  }

  bool OpenNamed() {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::uint64_t random = 0;
      if (getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
        random ^= static_cast<std::uint64_t>(getpid()) << 32 | static_cast<unsigned>(attempt);
      char name[48];
      std::snprintf(name, sizeof name, ".mivotra-copy-%016llx.tmp",
                    static_cast<unsigned long long>(random));
      const int fd =
          openat(m_folder, name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600);
      if (fd >= 0) {
        m_file.Reset(fd);
        m_temporaryName = name;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  void TemporaryNameGone() { m_temporaryName.clear(); }

  // After the name is in place the temporary name (if any) goes; the new
  // name stays even if that removal fails.
  void Commit() {
    m_committed = true;
    if (!m_temporaryName.empty()) unlinkat(m_folder, m_temporaryName.c_str(), 0);
    m_file.Close();
  }

 private:
  int m_folder;
  FileDescriptor m_file;
  std::string m_temporaryName;
  bool m_anonymous = false;
  bool m_committed = false;
};

class CopyJob {
 public:
  CopyJob(const std::string& source, const std::string& destination, Screen& screen,
          const CopyOptions& options, std::string* reason, int givenSource = -1)
      : m_source(source),
        m_destination(destination),
        m_screen(screen),
        m_options(options),
        m_reason(reason),
        m_givenSource(givenSource) {}

  bool Run();

 private:
  bool Fail(const std::string& what) {
    if (m_reason) *m_reason = what;
    return false;
  }
  bool FailErrno(const std::string& what, int error) {
    return Fail(what + ": " + std::strerror(error));
  }
  bool CopyData(int from, int to, std::uint64_t size);
  bool KernelCopy(int from, int to, std::uint64_t count, bool& declined, std::uint64_t& done);
  bool PlainCopy(int from, int to, std::uint64_t count, std::uint64_t& done);
  bool LinkIntoPlace(PendingFile& pending, int folder, const std::string& name);
  void WriteBehind(int to, off_t chunkStart, off_t chunkEnd);

  const std::string& m_source;
  const std::string& m_destination;
  Screen& m_screen;
  const CopyOptions& m_options;
  std::string* m_reason;
  int m_givenSource;  // the caller's descriptor, never closed here; -1: open m_source

  off_t m_offset = 0;
  off_t m_writtenBack = 0;  // everything before this is on disk
  std::vector<char> m_buffer;
};

bool IsKernelCopyDeclined(int error) {
  return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
         error == EBADF || error == EPERM;
}

bool CopyJob::Run() {
  if ((m_source.empty() && m_givenSource < 0) || m_destination.empty())
    return Fail("no source or no destination");
  // A path with a NUL would be cut short by the system and name another file.
  if (m_source.find('\0') != std::string::npos || m_destination.find('\0') != std::string::npos)
    return Fail("a path holds a NUL character");

  const std::size_t slash = m_destination.rfind('/');
  const std::string folderPath = slash == std::string::npos ? std::string(".")
                                 : slash == 0               ? std::string("/")
                                                            : m_destination.substr(0, slash);
  const std::string name =
      slash == std::string::npos ? m_destination : m_destination.substr(slash + 1);
  if (name.empty() || name == "." || name == "..")
    return Fail("the destination " + m_destination + " names a folder, not a file");

  FileDescriptor ownSource;
  int source = m_givenSource;
  if (source < 0) {
    // O_NONBLOCK: a FIFO at the source's name must not hang the copy.
    ownSource.Reset(open(m_source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!ownSource.valid()) return FailErrno("cannot open " + m_source, errno);
    source = ownSource.get();
  }
  struct stat before {};
  if (fstat(source, &before) != 0) return FailErrno("cannot look at " + m_source, errno);
  if (!S_ISREG(before.st_mode)) return Fail(m_source + " is not a regular file");

  FileDescriptor folder(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return FailErrno("cannot open the folder " + folderPath, errno);

  // Checked again by the link at the end; this only spares a long copy that
  // could never be placed.
  struct stat existing {};
  if (fstatat(folder.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
    return FailErrno(m_destination, EEXIST);

  IgnoreFileSizeSignal fileSizeSignal;
  PendingFile pending(folder.get());
  bool opened = m_options.anonymousTemporary && pending.OpenAnonymous();
  if (!opened && m_options.anonymousTemporary && errno != EOPNOTSUPP && errno != EISDIR)
    return FailErrno("cannot create a file in " + folderPath, errno);
  if (!opened && !pending.OpenNamed())
    return FailErrno("cannot create a file in " + folderPath, errno);

  posix_fadvise(source, 0, 0, POSIX_FADV_SEQUENTIAL);
  if (!CopyData(source, pending.fd(), static_cast<std::uint64_t>(before.st_size))) return false;

  // A backup taken while the file changed or was replaced is no backup.
  struct stat after {};
  if (fstat(source, &after) != 0) return FailErrno("cannot look at " + m_source, errno);
  if (after.st_size != before.st_size || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
      after.st_mtim.tv_nsec != before.st_mtim.tv_nsec || after.st_nlink == 0 ||
      m_offset != before.st_size)
    return Fail(m_source + " changed or vanished while it was copied");

  if (fchmod(pending.fd(), before.st_mode & 0777) != 0)
    return FailErrno("cannot set the permissions of the copy", errno);
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  if (futimens(pending.fd(), times) != 0)
    return FailErrno("cannot set the times of the copy", errno);
  if (fsync(pending.fd()) != 0) return FailErrno("cannot write the copy to disk", errno);

  if (!LinkIntoPlace(pending, folder.get(), name)) return false;

  // The name is only durable once the folder is; if that fails, take the name
  // back rather than report a backup that may not survive a crash.
  if (fsync(folder.get()) != 0) {
    const int error = errno;
    struct stat placed {};
    struct stat written {};
    if (fstatat(folder.get(), name.c_str(), &placed, AT_SYMLINK_NOFOLLOW) == 0 &&
        fstat(pending.fd(), &written) == 0 && placed.st_ino == written.st_ino &&
        placed.st_dev == written.st_dev)
      unlinkat(folder.get(), name.c_str(), 0);
    return FailErrno("cannot write the folder " + folderPath + " to disk", error);
  }
  pending.Commit();
  if (m_reason) m_reason->clear();
  return true;
}

bool CopyJob::CopyData(int from, int to, std::uint64_t size) {
  const std::uint64_t chunk = std::max<std::uint64_t>(m_options.chunkBytes, 1);
  bool kernel = m_options.kernelCopy;

  if (!m_screen.ShowCopyProgress(0, size)) return Fail("cancelled");
  for (;;) {
    std::uint64_t done = 0;
    if (kernel) {
      bool declined = false;
      if (!KernelCopy(from, to, chunk, declined, done)) return false;
      // Some file systems report an empty file through copy_file_range;
      // read/write finds out for sure.
      if (declined || (done == 0 && m_offset == 0 && size > 0)) kernel = false;
    }
    if (!kernel && done < chunk) {
      std::uint64_t more = 0;
      if (!PlainCopy(from, to, chunk - done, more)) return false;
      done += more;
    }
    const auto copied = static_cast<std::uint64_t>(m_offset);
    if (done == 0) break;  // end of file
    if (m_options.writeBehind) WriteBehind(to, m_offset - static_cast<off_t>(done), m_offset);
    if (!m_screen.ShowCopyProgress(copied, std::max(size, copied))) return Fail("cancelled");
  }
  return true;
}

// Starts writing the chunk just copied and waits for the one before it, so
// the final fsync has little left to do, dirty memory stays at about two
// chunks, and the progress shown is close to what is on disk. Only a hint:
// errors surface at fsync.
void CopyJob::WriteBehind(int to, off_t chunkStart, off_t chunkEnd) {
  sync_file_range(to, chunkStart, chunkEnd - chunkStart, SYNC_FILE_RANGE_WRITE);
  if (chunkStart > m_writtenBack)
    sync_file_range(
        to, m_writtenBack, chunkStart - m_writtenBack,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
  m_writtenBack = chunkStart;
}

bool CopyJob::KernelCopy(int from, int to, std::uint64_t count, bool& declined,
                         std::uint64_t& done) {
  done = 0;
  while (done < count) {
    off_t in = m_offset;
    off_t out = m_offset;
    const ssize_t n = copy_file_range(from, &in, to, &out, count - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (IsKernelCopyDeclined(errno)) {
        declined = true;
        return true;
      }
      return FailErrno("cannot copy to " + m_destination, errno);
    }
    if (n == 0) break;
    m_offset += n;
    done += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool CopyJob::PlainCopy(int from, int to, std::uint64_t count, std::uint64_t& done) {
  done = 0;
  if (m_buffer.empty()) m_buffer.resize(std::size_t{1} << 20);
  while (done < count) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(count - done, m_buffer.size()));
    const ssize_t n = pread(from, m_buffer.data(), want, m_offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailErrno("cannot read " + m_source, errno);
    }
    if (n == 0) break;
    for (ssize_t written = 0; written < n;) {
      const ssize_t w = pwrite(to, m_buffer.data() + written, static_cast<std::size_t>(n - written),
                               m_offset + written);
      if (w < 0) {
        if (errno == EINTR) continue;
        return FailErrno("cannot write to " + m_destination, errno);
      }
      written += w;
    }
    m_offset += n;
    done += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool CopyJob::LinkIntoPlace(PendingFile& pending, int folder, const std::string& name) {
  if (pending.anonymous()) {
    // AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH; the /proc link does not.
    if (linkat(pending.fd(), "", folder, name.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return FailErrno(m_destination, EEXIST);
    const std::string self = "/proc/self/fd/" + std::to_string(pending.fd());
    if (linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    return FailErrno("cannot give the copy its name " + m_destination, errno);
  }
  const char* temporary = pending.temporaryName().c_str();
  if (renameat2(folder, temporary, folder, name.c_str(), RENAME_NOREPLACE) == 0) {
    pending.TemporaryNameGone();
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS)
    return FailErrno("cannot give the copy its name " + m_destination, errno);
  // No RENAME_NOREPLACE here: a hard link fails just as surely on an
  // existing name.
  if (linkat(folder, temporary, folder, name.c_str(), 0) == 0) return true;
  return FailErrno("cannot give the copy its name " + m_destination, errno);
}

}  // namespace

bool CopyToNewFile(const std::string& source, const std::string& destination, Screen& screen,
                   const CopyOptions& options, std::string* reason) {
  EndProgressOnReturn end(screen);
  return CopyJob(source, destination, screen, options, reason).Run();
}

bool CopyToNewFile(int source, const std::string& sourceName, const std::string& destination,
                   Screen& screen, const CopyOptions& options, std::string* reason) {
  EndProgressOnReturn end(screen);
  if (source < 0) {
    if (reason) *reason = "cannot open " + sourceName;
    return false;
  }
  return CopyJob(sourceName, destination, screen, options, reason, source).Run();
}

int ShellCopyFile(const std::string& source, const std::string& destination,
                  const std::string& title, Screen& screen, std::string* reason) {
  (void)title;
  if (source.empty() || destination.empty()) {
    if (reason) *reason = "no source or no destination";
    return 0;
  }
  return CopyToNewFile(source, destination, screen, CopyOptions{}, reason) ? 1 : 0;
}

int ShellCopyFile(const std::string& source, const std::string& destination,
                  const std::string& title, Screen& screen) {
  return ShellCopyFile(source, destination, title, screen, nullptr);
}

}  // namespace mivotra
