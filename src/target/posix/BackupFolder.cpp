#include "target/BackupFolder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/Translate.h"
#include "target/posix/NewFile.h"

namespace mivotra {
namespace {

bool OwnedByUserOrRoot(const struct stat& info) {
  return info.st_uid == geteuid() || info.st_uid == 0;
}

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

UniqueFd Refuse(std::string* reason, const std::string& why) {
  if (reason) *reason = why;
  return UniqueFd();
}

}  // namespace

UniqueFd OpenBackupFolder(const std::string& path, std::string* reason) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  if (name.empty() || name.find('\0') != std::string::npos)
    return Refuse(reason, Tr("backup", "no usable backup folder name"));
  struct stat entry = {};
  if (lstat(name.c_str(), &entry) != 0) {
    return Refuse(reason, Format(Tr("backup", "cannot look at the backup folder %1: %2"),
                                 {path, ErrorText(errno)}));
  }
  const bool link = S_ISLNK(entry.st_mode);
  if (link && entry.st_uid != geteuid()) {
    return Refuse(reason, Format(Tr("backup",
                                    "the backup folder's name %1 is a symbolic link that belongs "
                                    "to another user"),
                                 {path}));
  }
  if (!link && !S_ISDIR(entry.st_mode))
    return Refuse(reason,
                  Format(Tr("backup", "the backup folder's name %1 is not a folder"), {path}));

  UniqueFd folder(open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (link ? 0 : O_NOFOLLOW)));
  if (!folder.valid()) {
    return Refuse(reason, Format(Tr("backup", "cannot open the backup folder %1: %2"),
                                 {path, ErrorText(errno)}));
  }
  struct stat opened = {};
  if (fstat(folder.get(), &opened) != 0) {
    return Refuse(reason, Format(Tr("backup", "cannot look at the backup folder %1: %2"),
                                 {path, ErrorText(errno)}));
  }
  if (!link && (opened.st_dev != entry.st_dev || opened.st_ino != entry.st_ino))
    return Refuse(
        reason,
        Format(Tr("backup", "the backup folder %1 was replaced while it was opened"), {path}));
  const bool othersOwn = link ? opened.st_uid != geteuid() : !OwnedByUserOrRoot(opened);
  const bool othersWrite = (opened.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (!othersOwn && !othersWrite) return folder;
  // Where the file system keeps no owners or modes, the folder's say nothing
  // about who may write there: the database's own folder is just as open.
  const auto kept = ObserveKeptAttributes(folder.get());
  if (othersOwn && (!kept || kept->owner)) {
    return Refuse(reason,
                  Format(Tr("backup", "the backup folder %1 belongs to another user (uid %2)"),
                         {path, std::to_string(opened.st_uid)}));
  }
  if (othersWrite && (!kept || kept->mode)) {
    return Refuse(reason,
                  Format(Tr("backup", "other users can write to the backup folder %1 (mode %2)"),
                         {path, Octal(opened.st_mode)}));
  }
  return folder;
}

std::optional<std::string> FindJournalBeside(int folder, const std::string& name) {
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    const std::string beside = name + suffix;
    struct stat info = {};
    if (fstatat(folder, beside.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return beside;
  }
  return std::nullopt;
}

}  // namespace mivotra
