#include "target/FileSystem.h"

#include <sys/stat.h>

namespace mivotra {

namespace {

// A path with a NUL inside would be cut short by the system call and name
// some other file.
bool IsUsablePath(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

}  // namespace

bool PathExists(const std::string& path) {
  if (!IsUsablePath(path)) return false;
  // lstat of "name/" follows a symbolic link and misses a dangling one, so
  // look at the name itself; the root stays "/".
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat info {};
  return lstat(name.c_str(), &info) == 0;
}

bool CreateFolder(const std::string& path) {
  if (!IsUsablePath(path)) return false;
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  const std::size_t slash = name.rfind('/');
  const std::string parent = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : name.substr(0, slash);
  // Where other users can write, they must not read the backup either.
  struct stat info {};
  const bool shared = stat(parent.c_str(), &info) == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return mkdir(name.c_str(), shared ? 0700 : 0755) == 0;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  if (!IsUsablePath(path)) return std::nullopt;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace mivotra
