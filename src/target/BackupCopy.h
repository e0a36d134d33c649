#pragma once
// The backup copy of the database file. A copy either appears whole under
// its name or not at all: it never replaces anything already there, never
// leaves a partial file or a temporary behind, and is on disk before it
// counts as made.

#include <string>

#include "target/CopyProgress.h"

namespace mivotra {

// Where a copy goes: a folder the caller opened (and checked) and keeps, its
// path (which names it in messages), and the new file's name in it.
struct CopyDestination {
  int folder = -1;
  std::string folderPath;
  std::string name;
};

// Copies the file the caller has opened (read access) and keeps to a new
// file in the folder the caller opened and checked, so that nothing put at
// the folder's name after the check changes where the copy goes. The source
// is read by offset and never closed here: the database engine's locks are
// POSIX record locks, which the system drops for the whole process as soon as
// any descriptor of the file is closed, so a copy made under the update's
// write lock must leave closing its descriptor until the lock is given up.
//
// It writes into an unnamed file (O_TMPFILE), or a hidden temporary where
// the file system has none, by the kernel's copy where it offers one and by
// read/write otherwise, pushing each chunk to disk while the next is copied;
// reads the copy back from the disk and compares it with the source; gives it
// the source's permission bits and times; and only then gives it its name.
// True when the copy is complete and on disk; otherwise *reason (may be null)
// says why in short English. Progress goes to progress.ShowCopyProgress (0
// first, then after each chunk, last at the full size); a cancel there is a
// failure. progress.EndCopyProgress() is called once at the end, whatever the
// outcome. Named temporaries that a killed copy left in the folder (only
// those of this user that no copy holds) are removed first. `sourceName`
// names the source in *reason.
bool CopyToNewFile(int source, const std::string& sourceName, const CopyDestination& destination,
                   CopyProgress& progress, std::string* reason);

}  // namespace mivotra
