#include "target/Backup.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/Translate.h"
#include "target/BackupCopy.h"
#include "target/BackupFolder.h"
#include "target/FileSystem.h"
#include "target/posix/FileSizeSignal.h"
#include "target/posix/NewFile.h"

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
    return Refuse(reason,
                  Format(Tr("backup", "the engine's own access to %1 cannot be found"), {source}));
  if (held->st_nlink == 0 || !StillNamedBy(job.databaseDescriptor, source))
    return Refuse(
        reason,
        Format(Tr("backup", "%1 was moved, replaced or deleted after it was opened"), {source}));
  // Every other name of the file would change with it: a snapshot made with
  // hard links would be updated too.
  if (held->st_nlink > 1) {
    return Refuse(reason, Format(Tr("backup",
                                    "%1 has %2 names (hard links); updating it would change the "
                                    "file under every one of them, so it is left as it is"),
                                 {source, std::to_string(held->st_nlink)}));
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
    return Refuse(reason, Format(Tr("backup",
                                    "the file %1 lies in the backup folder; SQLite would take it "
                                    "for the backup's journal and change the backup with it"),
                                 {*planted}));
  }
  return true;
}

// The update makes the backup folder where there is none; the rehearsal
// makes it too, since only the file system tells whether it takes that name
// (FAT through FUSE takes no Japanese names), and removes it again.
class RehearsalFolder {
 public:
  RehearsalFolder() = default;
  ~RehearsalFolder() {
    if (!m_path.empty()) rmdir(m_path.c_str());
  }
  RehearsalFolder(const RehearsalFolder&) = delete;
  RehearsalFolder& operator=(const RehearsalFolder&) = delete;

  bool Make(const std::string& path, std::string* reason) {
    if (!CreateFolder(path, reason)) return false;
    m_path = path;
    return true;
  }
  // False, with what is left, when a folder made here cannot be removed.
  bool Remove(std::string* left) {
    if (m_path.empty()) return true;
    const std::string path = std::exchange(m_path, std::string());
    if (rmdir(path.c_str()) == 0) return true;
    const int error = errno;
    *left = Format(Tr("backup", "the dry run made the backup folder %1 and cannot remove it: %2"),
                   {path, ErrorText(error)});
    return false;
  }

 private:
  std::string m_path;
};

// The copy's own steps on a file of the rehearsal's: made where the backup
// goes, given the database's mode and times, written to disk and named as
// the backup would be (under a hidden name of its own), then removed.
bool RehearseCopy(int folder, const std::string& folderPath, const std::string& backupFile,
                  const struct stat& database, std::string* reason) {
  PendingFile file(folder);
  if (!file.Open()) {
    const int error = errno;
    return Refuse(reason, Format(Tr("backup", "cannot create a file in %1: %2"),
                                 {folderPath, ErrorText(error)}));
  }
  if (!TakeModeAndTimes(file.fd(), database, reason)) return false;
  if (fsync(file.fd()) != 0) {
    const int error = errno;
    return Refuse(reason,
                  Format(Tr("backup", "cannot write the copy to disk: %1"), {ErrorText(error)}));
  }
  const std::string name = TemporaryName();
  if (!file.GiveName(name)) {
    const int error = errno;
    return Refuse(reason, Format(Tr("backup", "cannot give the copy its name %1: %2"),
                                 {backupFile, ErrorText(error)}));
  }
  struct stat made = {};
  if (fstat(file.fd(), &made) == 0 && IsSameFile(folder, name, made))
    unlinkat(folder, name.c_str(), 0);
  return true;
}

}  // namespace

bool CheckBackup(const BackupJob& job, std::string* reason) {
  struct stat held = {};
  if (!CheckDatabaseFile(job, &held, reason)) return false;
  const std::string folderPath = BackupFolderOf(job);
  RehearsalFolder made;
  if (!PathExists(folderPath) && !made.Make(folderPath, reason)) return false;
  UniqueFd folder = OpenBackupFolder(folderPath, reason);
  if (!folder.valid() || !CheckFolderContents(folder.get(), BackupNameOf(job), reason) ||
      !RehearseCopy(folder.get(), folderPath, job.backupFile, held, reason))
    return false;
  const auto needed = static_cast<std::uint64_t>(held.st_size);
  std::string unknownRoom;
  const auto room = FreeBytes(folderPath, &unknownRoom);
  if (room && *room < needed) {
    return Refuse(reason, Format(Tr("backup",
                                    "no room for the backup on the file system of %1: %2 bytes "
                                    "are needed, %3 are free"),
                                 {folderPath, std::to_string(needed), std::to_string(*room)}));
  }
  struct rlimit limit = {};
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur < needed) {
    return Refuse(reason, Format(Tr("backup",
                                    "the file size limit of this session (ulimit -f) is below the "
                                    "%1 bytes of the backup"),
                                 {std::to_string(needed)}));
  }
  // What could not be known is told rather than promised.
  std::string notKnown;
  if (!room) {
    notKnown = Format(Tr("backup", "%1; whether the %2 bytes of the backup fit is not known"),
                      {unknownRoom, std::to_string(needed)});
  }
  std::string notRemoved;
  if (!made.Remove(&notRemoved)) {
    notKnown =
        notKnown.empty() ? notRemoved : Format(Tr("backup", "%1; %2"), {notKnown, notRemoved});
  }
  if (!notKnown.empty() && reason) *reason = notKnown;
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
                     CopyDestination{folder.get(), folderPath, name}, progress, reason)) {
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
  return Refuse(reason,
                Format(Tr("backup", "cannot open the folder %1: %2"), {m_path, ErrorText(errno)}));
}

bool FolderToSync::Sync(std::string* reason) {
  if (m_folder.valid() && fsync(m_folder.get()) == 0) return true;
  return Refuse(reason, Format(Tr("backup", "cannot write the folder %1 to disk: %2"),
                               {m_path, ErrorText(errno)}));
}

FileSizeLimitAsFailure::FileSizeLimitAsFailure()
    : m_ignore(std::make_unique<IgnoreFileSizeSignal>()) {}
FileSizeLimitAsFailure::~FileSizeLimitAsFailure() = default;

}  // namespace mivotra
