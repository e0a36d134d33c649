#include "target/Backup.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "target/BackupCopy.h"
#include "target/BackupFolder.h"
#include "target/FileSystem.h"
#include "target/posix/FileSizeSignal.h"

namespace mivotra {
namespace {

bool Refuse(std::string* reason, const std::string& why) {
  if (reason) *reason = why;
  return false;
}

// The copy reads the very file the engine has open and will change, through
// the engine's own descriptor: a name that now leads elsewhere must not give
// a backup of another file.
bool CheckDatabaseFile(const BackupJob& job, struct stat* held, std::string* reason) {
  const std::string& source = job.databaseFile;
  if (job.databaseDescriptor < 0 || fstat(job.databaseDescriptor, held) != 0)
    return Refuse(reason, "the engine's own access to " + source + " cannot be found");
  if (held->st_nlink == 0 || !StillNamedBy(job.databaseDescriptor, source))
    return Refuse(reason, source + " was moved, replaced or deleted after it was opened");
  // Every other name of the file would change with it: a snapshot made with
  // hard links would be updated too.
  if (held->st_nlink > 1) {
    return Refuse(reason, source + " has " + std::to_string(held->st_nlink) +
                              " names (hard links); updating it would change the file under every "
                              "one of them, so it is left as it is");
  }
  return true;
}

// The database's name may hold a '/' of its own: the folder checked is the
// one the backup really goes into.
std::string BackupFolderOf(const BackupJob& job) {
  return FolderOf(job.backupFile);
}

std::string BackupNameOf(const BackupJob& job) {
  return job.backupFile.substr(job.backupFile.rfind('/') + 1);
}

bool CheckFolderContents(int folder, const std::string& name, std::string* reason) {
  if (const auto planted = FindJournalBeside(folder, name)) {
    return Refuse(reason, "the file " + *planted +
                              " lies in the backup folder; SQLite would take it for the backup's "
                              "journal and change the backup with it");
  }
  return true;
}

}  // namespace

bool CheckBackup(const BackupJob& job, std::string* reason) {
  struct stat held = {};
  if (!CheckDatabaseFile(job, &held, reason)) return false;
  const std::string folderPath = BackupFolderOf(job);
  // Where the backup's file system is looked at: the folder, or the one it
  // would be made in.
  std::string where = folderPath;
  if (!PathExists(folderPath)) {
    if (!CouldCreateFolder(folderPath, reason)) return false;
    where = FolderOf(folderPath);
  } else {
    UniqueFd folder = OpenBackupFolder(folderPath, reason);
    if (!folder.valid() || !CheckFolderContents(folder.get(), BackupNameOf(job), reason))
      return false;
    if (access(folderPath.c_str(), W_OK | X_OK) != 0) {
      return Refuse(reason, "cannot write into the backup folder " + folderPath + ": " +
                                std::strerror(errno));
    }
  }
  const auto needed = static_cast<std::uint64_t>(held.st_size);
  std::string unknownRoom;
  const auto room = FreeBytes(where, &unknownRoom);
  if (room && *room < needed) {
    return Refuse(reason, "no room for the backup on the file system of " + where + ": " +
                              std::to_string(needed) + " bytes are needed, " +
                              std::to_string(*room) + " are free");
  }
  struct rlimit limit = {};
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur < needed) {
    return Refuse(reason, "the file size limit of this session (ulimit -f) is below the " +
                              std::to_string(needed) + " bytes of the backup");
  }
  // What could not be counted is told rather than promised.
  if (!room && reason) {
    *reason = unknownRoom + "; whether the " + std::to_string(needed) +
              " bytes of the backup fit is not known";
  }
  return true;
}

bool MakeBackup(const BackupJob& job, CopyProgress& progress, std::string* reason) {
  const std::string& source = job.databaseFile;
  struct stat held = {};
  if (!CheckDatabaseFile(job, &held, reason)) {
    progress.EndCopyProgress();
    return false;
  }
  const std::string folderPath = BackupFolderOf(job);
  const std::string name = BackupNameOf(job);
  UniqueFd folder = OpenBackupFolder(folderPath, reason);
  if (!folder.valid() || !CheckFolderContents(folder.get(), name, reason)) {
    progress.EndCopyProgress();
    return false;
  }
  if (!CopyToNewFile(job.databaseDescriptor, source,
                     CopyDestination{folder.get(), folderPath, name}, progress, CopyOptions{},
                     reason)) {
    return false;
  }
  // The backup folder itself is an entry of its parent, which may have just
  // been made: on disk too, or the backup may vanish in a power cut.
  FolderToSync parent;
  if (!parent.Open(job.backupParent, reason) || !parent.Sync(reason)) {
    // Only the copy just made goes; the database is as it was.
    unlinkat(folder.get(), name.c_str(), 0);
    return false;
  }
  return true;
}

bool StillNamedBy(int descriptor, const std::string& path) {
  struct stat held = {};
  struct stat named = {};
  return fstat(descriptor, &held) == 0 && stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool FolderToSync::Open(const std::string& folder, std::string* reason) {
  m_path = folder.empty() ? "." : folder;
  m_folder.Reset(open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (m_folder.valid()) return true;
  return Refuse(reason, "cannot open the folder " + m_path + ": " + std::strerror(errno));
}

bool FolderToSync::Sync(std::string* reason) {
  if (m_folder.valid() && fsync(m_folder.get()) == 0) return true;
  return Refuse(reason, "cannot write the folder " + m_path + " to disk: " + std::strerror(errno));
}

FileSizeLimitAsFailure::FileSizeLimitAsFailure()
    : m_ignore(std::make_unique<IgnoreFileSizeSignal>()) {}
FileSizeLimitAsFailure::~FileSizeLimitAsFailure() = default;

}  // namespace mivotra
