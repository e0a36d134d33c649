#pragma once
// A file made in a folder that gets its name only once it is complete (the
// backup copy, and the files a rehearsal makes to see what the file system
// allows), and what a file system keeps of what it is told.

#include <sys/stat.h>

#include <optional>
#include <string>

#include "base/UniqueFd.h"

namespace mivotra {

// An operation the file system does not offer at all, rather than one that
// failed: ENOSYS, EOPNOTSUPP.
bool IsUnsupported(int error);

// The file being written. Until Commit() it is either unnamed (it vanishes
// with its descriptor) or has a hidden temporary name that is removed here.
class PendingFile {
 public:
  explicit PendingFile(int folder) : m_folder(folder) {}
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // An unnamed file (O_TMPFILE) where the file system has them, else one
  // under a fresh hidden temporary name; read and write access, mode 0600.
  // False with errno.
  bool Open();
  int fd() const { return m_file.get(); }
  bool anonymous() const { return m_anonymous; }

  // Gives the file `name` in the folder without ever replacing what is
  // there (errno EEXIST then): a link of the unnamed file; for a named one
  // rename(2) with RENAME_NOREPLACE, else a hard link, else, where the file
  // system has neither (exFAT and FAT through FUSE), a rename over an empty
  // placeholder made exclusively at the name just before, which replaces
  // only that placeholder. False with errno; the name is then as it was.
  bool GiveName(const std::string& name);

  // After the name is in place the temporary name (if any) goes; the new
  // name stays even if that removal fails.
  void Commit();

 private:
  bool OpenNamed();
  bool RenameOverPlaceholder(const std::string& name);

  int m_folder;
  UniqueFd m_file;
  std::string m_temporaryName;
  bool m_anonymous = false;
  bool m_committed = false;
};

// True when `name` in `folder` is the file `file` describes.
bool IsSameFile(int folder, const std::string& name, const struct stat& file);

// A fresh name of the kind PendingFile gives its temporaries, which a later
// copy takes for a leftover once no process holds it.
std::string TemporaryName();

// A copy killed where the file system has no unnamed files leaves its named
// temporary behind. Those of this user that no running copy holds (each
// holds a lock on its own) are removed; nothing else is.
void RemoveStaleTemporaries(int folder);

// Gives the new file `fd` the permission bits and times of `source`. An
// operation the file system does not offer is no failure where the file has
// them already (FAT through FUSE has no chmod and shows every file as 0700);
// false with the account in *reason otherwise.
bool TakeModeAndTimes(int fd, const struct stat& source, std::string* reason);

// What a file system keeps of the owner and the mode a file is given. Those
// that keep no permissions (exFAT and NTFS through FUSE with their default
// options) show every file as the mounting user's, mode 0777, whatever
// chmod said: there, owners and modes say nothing about who may write.
struct KeptAttributes {
  bool owner = true;
  bool mode = true;
};

// Observed on a file of our own made in `folder` and removed again; nullopt
// when no file can be made there.
std::optional<KeptAttributes> ObserveKeptAttributes(int folder);

}  // namespace mivotra
