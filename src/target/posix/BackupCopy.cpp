#include "target/BackupCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/Translate.h"
#include "target/FileSystem.h"
#include "target/posix/FileSizeSignal.h"
#include "target/posix/NewFile.h"

namespace mivotra {

namespace {

class EndProgressOnReturn {
 public:
  explicit EndProgressOnReturn(CopyProgress& progress) : m_progress(progress) {}
  ~EndProgressOnReturn() { m_progress.EndCopyProgress(); }
  EndProgressOnReturn(const EndProgressOnReturn&) = delete;
  EndProgressOnReturn& operator=(const EndProgressOnReturn&) = delete;

 private:
  CopyProgress& m_progress;
};

// Progress is reported, and a cancel noticed, after each chunk: a sixty-fourth
// of the file, so that a small one still shows its progress, from 1 MiB (where
// the system calls would start to cost) to 16 MiB.
std::uint64_t ChunkBytes(std::uint64_t size) {
  constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
  return std::clamp<std::uint64_t>(size / 64, kMiB, 16 * kMiB);
}

class CopyJob {
 public:
  // `source` and `destination.folder` are the caller's, never closed here.
  CopyJob(int source, const std::string& sourceName, const CopyDestination& destination,
          CopyProgress& progress, std::string* reason)
      : m_source(source),
        m_sourceName(sourceName),
        m_target(destination),
        m_destination(destination.folderPath == "/"
                          ? "/" + destination.name
                          : destination.folderPath + "/" + destination.name),
        m_progress(progress),
        m_reason(reason) {}

  bool Run();

 private:
  bool Fail(const std::string& what) {
    if (m_reason) *m_reason = what;
    return false;
  }
  bool FailErrno(const std::string& what, int error) {
    return Fail(Format(Tr("backup", "%1: %2"), {what, ErrorText(error)}));
  }
  bool CopyData(int from, int to, std::uint64_t size);
  bool KernelCopy(int from, int to, std::uint64_t count, bool& declined, std::uint64_t& done);
  bool PlainCopy(int from, int to, std::uint64_t count, std::uint64_t& done);
  bool Verify(int from, int to, std::uint64_t size);
  void WriteBehind(int to, off_t chunkStart, off_t chunkEnd);

  int m_source;
  const std::string& m_sourceName;
  const CopyDestination& m_target;
  const std::string m_destination;  // folder and name, for messages
  CopyProgress& m_progress;
  std::string* m_reason;

  off_t m_offset = 0;
  off_t m_writtenBack = 0;  // everything before this is on disk
  std::vector<char> m_buffer;
};

// EFBIG: the kernel measures the range asked for, not what the source still
// holds, against a file-size limit; read/write finds out whether the file
// itself is too large.
bool IsKernelCopyDeclined(int error) {
  return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
         error == EBADF || error == EPERM || error == EFBIG;
}

bool CopyJob::Run() {
  const std::string& name = m_target.name;
  const int source = m_source;
  const int folder = m_target.folder;
  if (source < 0 || folder < 0) return Fail(Tr("backup", "no source or no destination"));
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos)
    return Fail(Format(Tr("backup", "the destination %1 names no file"), {m_destination}));
  struct stat before = {};
  if (fstat(source, &before) != 0)
    return FailErrno(Format(Tr("backup", "cannot look at %1"), {m_sourceName}), errno);
  if (!S_ISREG(before.st_mode))
    return Fail(Format(Tr("backup", "%1 is not a regular file"), {m_sourceName}));

  // Checked again by the link at the end; this only spares a long copy that
  // could never be placed.
  struct stat existing = {};
  if (fstatat(folder, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
    return FailErrno(m_destination, EEXIST);

  RemoveStaleTemporaries(folder);
  IgnoreFileSizeSignal fileSizeSignal;
  PendingFile pending(folder);
  if (!pending.Open()) {
    return FailErrno(Format(Tr("backup", "cannot create a file in %1"), {m_target.folderPath}),
                     errno);
  }

  posix_fadvise(source, 0, 0, POSIX_FADV_SEQUENTIAL);
  if (!CopyData(source, pending.fd(), static_cast<std::uint64_t>(before.st_size))) return false;

  // A backup taken while the file changed or was replaced is no backup.
  struct stat after = {};
  if (fstat(source, &after) != 0)
    return FailErrno(Format(Tr("backup", "cannot look at %1"), {m_sourceName}), errno);
  if (after.st_size != before.st_size || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
      after.st_mtim.tv_nsec != before.st_mtim.tv_nsec || after.st_nlink == 0 ||
      m_offset != before.st_size)
    return Fail(Format(Tr("backup", "%1 changed or vanished while it was copied"), {m_sourceName}));

  if (!TakeModeAndTimes(pending.fd(), before, m_reason)) return false;
  if (fsync(pending.fd()) != 0)
    return FailErrno(Tr("backup", "cannot write the copy to disk"), errno);
  if (!Verify(source, pending.fd(), static_cast<std::uint64_t>(before.st_size))) return false;

  if (!pending.GiveName(name)) {
    if (errno == EEXIST) return FailErrno(m_destination, EEXIST);
    return FailErrno(Format(Tr("backup", "cannot give the copy its name %1"), {m_destination}),
                     errno);
  }

  // The name is only durable once the folder is; if that fails, take the name
  // back rather than report a backup that may not survive a crash.
  if (fsync(folder) != 0) {
    const int error = errno;
    struct stat written = {};
    if (fstat(pending.fd(), &written) == 0 && IsSameFile(folder, name, written))
      unlinkat(folder, name.c_str(), 0);
    return FailErrno(
        Format(Tr("backup", "cannot write the folder %1 to disk"), {m_target.folderPath}), error);
  }
  pending.Commit();
  if (m_reason) m_reason->clear();
  return true;
}

// The copy is read back from the disk, not from the page cache, and compared
// with the source: only the bytes of the database decide what the backup
// holds, and a copy the disk did not keep is found before it is counted.
bool CopyJob::Verify(int from, int to, std::uint64_t size) {
  posix_fadvise(to, 0, 0, POSIX_FADV_DONTNEED);
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  std::vector<char> original(kChunk);
  std::vector<char> copy(kChunk);
  for (std::uint64_t at = 0; at < size;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - at));
    const auto offset = static_cast<off_t>(at);
    const ssize_t a = pread(from, original.data(), want, offset);
    if (a < 0 && errno == EINTR) continue;
    if (a < 0)
      return FailErrno(Format(Tr("backup", "cannot read %1 again"), {m_sourceName}), errno);
    const ssize_t b = a == 0 ? 0 : pread(to, copy.data(), static_cast<std::size_t>(a), offset);
    if (b < 0 && errno == EINTR) continue;
    if (b < 0) return FailErrno(Tr("backup", "cannot read the copy back"), errno);
    if (a == 0 || b != a ||
        std::memcmp(original.data(), copy.data(), static_cast<std::size_t>(a)) != 0)
      return Fail(Format(Tr("backup", "the copy differs from %1 after byte %2"),
                         {m_sourceName, std::to_string(at)}));
    at += static_cast<std::uint64_t>(a);
  }
  return true;
}

bool CopyJob::CopyData(int from, int to, std::uint64_t size) {
  const std::uint64_t chunk = ChunkBytes(size);
  bool kernel = true;

  if (!m_progress.ShowCopyProgress(0, size)) return Fail(Tr("backup", "cancelled"));
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
    WriteBehind(to, m_offset - static_cast<off_t>(done), m_offset);
    if (!m_progress.ShowCopyProgress(copied, std::max(size, copied)))
      return Fail(Tr("backup", "cancelled"));
  }
  return true;
}

// Starts writing the chunk just copied and waits for what lies a few chunks
// behind it, so the final fsync has little left to do, dirty memory stays
// bounded, and the progress shown is close to what is on disk. Waiting for
// the chunk just before kept a single chunk in flight, and the disk wrote at
// well under half the speed it reaches with several queued. Only a hint:
// errors surface at fsync.
void CopyJob::WriteBehind(int to, off_t chunkStart, off_t chunkEnd) {
  constexpr off_t kChunksInFlight = 8;
  sync_file_range(to, chunkStart, chunkEnd - chunkStart, SYNC_FILE_RANGE_WRITE);
  const off_t waitUpTo = chunkStart - (kChunksInFlight - 1) * (chunkEnd - chunkStart);
  if (waitUpTo > m_writtenBack) {
    sync_file_range(
        to, m_writtenBack, waitUpTo - m_writtenBack,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    m_writtenBack = waitUpTo;
  }
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
      return FailErrno(Format(Tr("backup", "cannot copy to %1"), {m_destination}), errno);
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
      return FailErrno(Format(Tr("backup", "cannot read %1"), {m_sourceName}), errno);
    }
    if (n == 0) break;
    for (ssize_t written = 0; written < n;) {
      const ssize_t w = pwrite(to, m_buffer.data() + written, static_cast<std::size_t>(n - written),
                               m_offset + written);
      if (w < 0) {
        if (errno == EINTR) continue;
        return FailErrno(Format(Tr("backup", "cannot write to %1"), {m_destination}), errno);
      }
      written += w;
    }
    m_offset += n;
    done += static_cast<std::uint64_t>(n);
  }
  return true;
}

}  // namespace

bool CopyToNewFile(int source, const std::string& sourceName, const CopyDestination& destination,
                   CopyProgress& progress, std::string* reason) {
  EndProgressOnReturn end(progress);
  return CopyJob(source, sourceName, destination, progress, reason).Run();
}

}  // namespace mivotra
