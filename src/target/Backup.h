#pragma once
// The backup the update makes before it changes anything, and the few file
// checks around it: the backup is of exactly the file the engine changes,
// lands only in a folder of the user's own, and is on disk before it counts.

#include <memory>
#include <string>

#include "base/UniqueFd.h"
#include "target/CopyProgress.h"

namespace mivotra {

class IgnoreFileSizeSignal;

struct BackupJob {
  // The engine's own descriptor of the database; read, never closed.
  int databaseDescriptor = -1;
  std::string databaseFile;
  std::string backupFile;
  // The folder that holds the backup folder; written to disk after the copy.
  std::string backupParent;
};

// Makes the backup. Refused, with the reason, when the database's name no
// longer leads to the file the engine has open, when the file has another
// name (a hard link, which the update would change too), when the backup's
// folder is not the user's own or others can write to it, or when a journal
// or log lies beside the backup's name. The copy is compared with the
// database before it gets its name.
bool MakeBackup(const BackupJob& job, CopyProgress& progress, std::string* reason);

// What MakeBackup would meet, leaving nothing changed: the same checks it
// makes before it copies, and the copy's own steps tried on a file of its
// own where the backup goes (made, given the database's mode and times, and
// named without replacing anything as the backup would be, then removed); a
// backup folder that is not there yet is made for this and removed again.
// Then the file system that would hold the backup must have room for it
// (FreeBytes), under the session's file-size limit too. True when nothing
// stands in the way; *reason then says what could not be known (a file
// system that tells no free room), or is left as it was.
bool CheckBackup(const BackupJob& job, std::string* reason);

// True while `path` still leads to the file `descriptor` is open on.
bool StillNamedBy(int descriptor, const std::string& path);

// A folder opened now so that its entries can be written to disk later, even
// when no descriptor is left by then.
class FolderToSync {
 public:
  bool Open(const std::string& folder, std::string* reason);
  // Writes the folder's entries to disk; false with the reason when that fails.
  bool Sync(std::string* reason);
  void Close() { m_folder.Reset(); }
  bool IsOpen() const { return m_folder.valid(); }

 private:
  UniqueFd m_folder;
  std::string m_path;
};

// Held while a run writes files: a write past a file-size limit then fails
// (and is reported like a full disk) instead of ending the process silently.
class FileSizeLimitAsFailure {
 public:
  FileSizeLimitAsFailure();
  ~FileSizeLimitAsFailure();
  FileSizeLimitAsFailure(const FileSizeLimitAsFailure&) = delete;
  FileSizeLimitAsFailure& operator=(const FileSizeLimitAsFailure&) = delete;

 private:
  std::unique_ptr<IgnoreFileSizeSignal> m_ignore;
};

}  // namespace mivotra
