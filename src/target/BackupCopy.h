#pragma once
// The backup copy of the database file. A copy either appears whole under
// its name or not at all: it never replaces anything already there, never
// leaves a partial file or a temporary behind, and is on disk before it
// counts as made.

#include <cstdint>
#include <string>

#include "target/CopyProgress.h"

namespace mivotra {

struct CopyOptions {
  // Progress is reported, and a cancel noticed, after each chunk.
  std::uint64_t chunkBytes = std::uint64_t{16} << 20;
  // Write into an unnamed file (O_TMPFILE) that only gets its name when
  // complete. Off, or where the file system lacks it: a hidden temporary
  // name in the same folder, removed on failure.
  bool anonymousTemporary = true;
  // Give a hidden temporary its name with rename's RENAME_NOREPLACE or a
  // hard link. Off, or where the file system has neither: a rename over an
  // empty placeholder made exclusively at the name once the copy is checked.
  bool exclusiveRename = true;
  // Let the kernel copy (copy_file_range, a clone where the file system can);
  // read/write otherwise, and wherever the kernel declines.
  bool kernelCopy = true;
  // Push each chunk to disk while the next one is copied, rather than all of
  // it at the final fsync.
  bool writeBehind = true;
  // Before the copy gets its name, read it back from the disk and compare it
  // with the source byte for byte.
  bool verify = true;
};

// Where a copy goes: a folder and the new file's name in it. `folder` is a
// descriptor the caller opened (and checked) and keeps; -1 opens
// `folderPath`, which also names the folder in messages.
struct CopyDestination {
  int folder = -1;
  std::string folderPath;
  std::string name;
};

// Copies `source` to the new file `destination`. Returns 1 when the copy is
// complete and on disk, 0 otherwise; an empty source or destination gives 0
// with nothing copied and nothing shown. The copy keeps the source's
// permission bits and times. Progress goes to progress.ShowCopyProgress
// (0 first, then after each chunk, last at the full size); a cancel there is a
// failure. progress.EndCopyProgress() is called once at the end, whatever the
// outcome. No message is shown: the caller tells the user. `title` names the
// operation for a progress display; the progress has no title, so it
// is not used.
int ShellCopyFile(const std::string& source, const std::string& destination,
                  const std::string& title, CopyProgress& progress);

// The same, putting a short English account of a failure into *reason (for
// logs and the console), left empty on success.
int ShellCopyFile(const std::string& source, const std::string& destination,
                  const std::string& title, CopyProgress& progress, std::string* reason);

// The copy itself with its knobs. Calls progress.EndCopyProgress() once on
// every return; `reason` may be null. Named temporaries that a killed copy
// left in the folder (only those of this user that no copy holds) are
// removed first.
bool CopyToNewFile(const std::string& source, const std::string& destination,
                   CopyProgress& progress, const CopyOptions& options, std::string* reason);

// The same from a source the caller has opened (read access) and keeps: it is
// read by offset and never closed here. The database engine's locks are POSIX
// record locks, which the system drops for the whole process as soon as any
// descriptor of the file is closed, so a copy made under the update's write
// lock must leave closing its descriptor until the lock is given up.
// `sourceName` names the source in *reason.
bool CopyToNewFile(int source, const std::string& sourceName, const std::string& destination,
                   CopyProgress& progress, const CopyOptions& options, std::string* reason);

// The same into a folder the caller opened and checked, so that nothing put
// at the folder's name after the check changes where the copy goes.
bool CopyToNewFile(int source, const std::string& sourceName, const CopyDestination& destination,
                   CopyProgress& progress, const CopyOptions& options, std::string* reason);

}  // namespace mivotra
