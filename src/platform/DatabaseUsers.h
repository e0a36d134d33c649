#pragma once
// Who else uses the database: a process that has the file, its rollback
// journal or its write-ahead log open, or that holds a record lock on it.
// The update must not start while anyone does.

#include <optional>
#include <string>

namespace mivotra {

// Another process found using the database.
struct DatabaseUser {
  long pid = -1;        // -1 when the holder of a lock is not known (an OFD lock)
  std::string command;  // from /proc/<pid>/comm, empty when unknown
  std::string reason;   // one English line for the console, e.g. "process 4242 (sqlcipher) has
                        // /x/data1.mdb-journal open"
};

// The first other process that has `databaseFile`, its journal (`-journal`) or its log (`-wal`,
// `-shm`) open, among the processes whose /proc/<pid>/fd this user may read (others cannot be read
// and do not count), or that holds a POSIX or OFD lock on the file. `databaseDescriptor` is an open
// descriptor of the database file owned by the caller (the engine's own): it is used for the lock
// query (F_GETLK, which does not report the calling process's own locks) and for the file's
// identity, and is never closed — closing any descriptor of a file drops the whole process's POSIX
// locks on it. Files are compared by device and inode (stat of /proc/<pid>/fd/<n>), not by name, so
// hard links, bind mounts and other spellings of the path count. The calling process itself never
// counts. nullopt: nobody else.
//
// A lock holder whose process id is known is reported first; an OFD lock, which names no process,
// only when no process is seen with the files open. OFD locks the calling process took itself
// cannot be told apart from others' (the tool takes none: SQLite locks with POSIX locks). Looking
// at other processes' files never waits for a file system (statx without syncing), so a hung
// network or FUSE mount of a neighbour cannot hang the scan.
std::optional<DatabaseUser> FindOtherDatabaseUser(const std::string& databaseFile,
                                                  int databaseDescriptor);

}  // namespace mivotra
