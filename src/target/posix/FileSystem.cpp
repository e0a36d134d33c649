#include "target/FileSystem.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/Translate.h"

namespace mivotra {

namespace {

// A path with a NUL inside would be cut short by the system call and name
// some other file.
bool IsUsablePath(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

std::string WithoutFinalSlashes(const std::string& path) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return name;
}

std::string ParentOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
}

bool Refuse(std::string* reason, const std::string& path, int error) {
  if (reason)
    *reason = Format(Tr("backup", "cannot make the backup folder %1: %2"),
                     {WithoutFinalSlashes(path), ErrorText(error)});
  return false;
}

}  // namespace

bool PathExists(const std::string& path) {
  if (!IsUsablePath(path)) return false;
  // lstat of "name/" follows a symbolic link and misses a dangling one, so
  // look at the name itself; the root stays "/".
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat info = {};
  return lstat(name.c_str(), &info) == 0;
}

bool CreateFolder(const std::string& path, std::string* reason) {
  if (!IsUsablePath(path)) return Refuse(reason, path, EINVAL);
  const std::string name = WithoutFinalSlashes(path);
  // Where other users can write, they must not read the backup either.
  struct stat info = {};
  const bool shared =
      stat(ParentOf(name).c_str(), &info) == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (mkdir(name.c_str(), shared ? 0700 : 0755) == 0) return true;
  return Refuse(reason, path, errno);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  if (!IsUsablePath(path)) return std::nullopt;
  struct stat info = {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

std::optional<std::uint64_t> FreeBytes(const std::string& path, std::string* reason) {
  struct statvfs space = {};
  if (!IsUsablePath(path) || statvfs(path.c_str(), &space) != 0) {
    const int error = IsUsablePath(path) ? errno : EINVAL;
    if (reason) {
      *reason = Format(Tr("backup", "cannot look at the file system of %1: %2"),
                       {path, ErrorText(error)});
    }
    return std::nullopt;
  }
  if (space.f_blocks == 0) {
    if (reason) {
      *reason =
          Format(Tr("backup", "the file system of %1 does not tell how much room it has"), {path});
    }
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
}

}  // namespace mivotra
