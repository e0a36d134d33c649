#pragma once
// Small file look-ups for the update run, on UTF-8 paths.

#include <cstdint>
#include <optional>
#include <string>

namespace mivotra {

// True when anything stands at that name: a file, a folder, a device, or a
// symbolic link even when its target is gone (a name a copy could not take).
// A folder path may end with '/'. Wildcards have no meaning here.
bool PathExists(const std::string& path);

// Creates one folder that no other user can write to: mode 0700 when its
// parent is writable by others, else 0755 less the umask. True only if it
// was created; otherwise *reason (when given) says why, in the system's words.
bool CreateFolder(const std::string& path, std::string* reason = nullptr);

// The folder part of a path without its final '/': "." for a bare name, "/"
// for a name in the root.
std::string FolderOf(const std::string& path);

// Size of the file the path leads to, nullopt when it cannot be looked at.
std::optional<std::uint64_t> FileSize(const std::string& path);

// The bytes this process may still write on the file system that holds
// `path` (f_bavail x f_frsize: blocks kept back, even those root may use, do
// not count). nullopt with the reason when that is not known: the file system
// cannot be looked at, or tells no size at all (f_blocks = 0, as FUSE file
// systems without a statfs of their own do), which is not a full disk.
std::optional<std::uint64_t> FreeBytes(const std::string& path, std::string* reason);

}  // namespace mivotra
