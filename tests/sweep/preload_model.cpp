// The power-cut model of the fault library.

#include <cstdint>

#include "preload.h"

namespace mivotra::sweep::preload {

Model* g_model = nullptr;

int NewObject(const struct stat& info, bool folder, const std::string& where) {
  g_model->objects.push_back({});
  Object& object = g_model->objects.back();
  object.folder = folder;
  object.where = where;
  const int id = static_cast<int>(g_model->objects.size() - 1);
  g_model->byInode[{info.st_dev, info.st_ino}] = id;
  return id;
}

void Untracked(const char* where) {
  ++g_untracked;
  std::strncpy(g_untrackedWhere, where, sizeof g_untrackedWhere - 1);
}

int Find(const struct stat& info) {
  const auto found = g_model->byInode.find({info.st_dev, info.st_ino});
  return found == g_model->byInode.end() ? -1 : found->second;
}

// The whole current content through the program's descriptor; false when it
// cannot be read (a write-only descriptor).
bool ReadThrough(int fd, std::string& content) {
  REAL(pread64);
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || (flags & O_ACCMODE) == O_WRONLY) return false;
  struct stat info = {};
  if (fstat(fd, &info) != 0) return false;
  content.assign(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n =
        real_pread64(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void Apply(std::string& content, const Change& change) {
  if (change.truncate) {
    content.resize(static_cast<std::size_t>(change.offset), '\0');
    return;
  }
  const std::size_t end = static_cast<std::size_t>(change.offset) + change.data.size();
  if (content.size() < end) content.resize(end, '\0');
  std::memcpy(content.data() + change.offset, change.data.data(), change.data.size());
}

std::string Join(const std::string& folder, const char* name) {
  return folder + "/" + name;
}

// The folder's current entries, listed through a descriptor of the folder.
std::map<std::string, int> ListFolder(int folderFd, const std::string& where) {
  std::map<std::string, int> entries;
  REAL(openat);
  const int fd = real_openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return entries;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return entries;
  }
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    struct stat info = {};
    if (fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) continue;
    int id = Find(info);
    if (id < 0) {
      // A folder made since (mkdir is not watched: its entries count from its
      // own first fsync); a file here is one whose creation the hooks missed.
      id = NewObject(info, S_ISDIR(info.st_mode), Join(where, entry->d_name));
      if (!S_ISDIR(info.st_mode)) Untracked(Join(where, entry->d_name).c_str());
    }
    entries[entry->d_name] = id;
  }
  closedir(dir);
  return entries;
}

// The tree as it is before the program opens anything: all of it durable.
// Opening and closing files here is safe; no lock exists yet.
int Snapshot(const std::string& path) {
  struct stat info = {};
  if (lstat(path.c_str(), &info) != 0) return -1;
  if (S_ISDIR(info.st_mode)) {
    const int id = NewObject(info, true, path);
    if (DIR* dir = opendir(path.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        const int child = Snapshot(Join(path, entry->d_name));
        if (child >= 0)
          g_model->objects[static_cast<std::size_t>(id)].entries[entry->d_name] = child;
      }
      closedir(dir);
    }
    return id;
  }
  if (!S_ISREG(info.st_mode)) return -1;
  const int id = NewObject(info, false, path);
  const int fd = RawOpen(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ReadThrough(fd, g_model->objects[static_cast<std::size_t>(id)].durable);
    close(fd);
  }
  return id;
}

// The object a descriptor of a regular file or folder in the tree stands for.
int ObjectOf(int fd, const char* path) {
  struct stat info = {};
  if (fstat(fd, &info) != 0) return -1;
  int id = Find(info);
  if (id < 0) {
    id = NewObject(info, S_ISDIR(info.st_mode), path);
    if (!S_ISDIR(info.st_mode)) {
      Untracked(path);
      std::string content;
      if (ReadThrough(fd, content))
        g_model->objects[static_cast<std::size_t>(id)].durable = content;
    }
  }
  return id;
}

void Record(int fd, const char* path, Change change) {
  ModelLock lock;
  const int id = ObjectOf(fd, path);
  if (id < 0) return;
  g_model->objects[static_cast<std::size_t>(id)].pending.push_back(std::move(change));
}

void MakeDurable(int fd, const char* path) {
  ModelLock lock;
  const int id = ObjectOf(fd, path);
  if (id < 0) return;
  Object& object = g_model->objects[static_cast<std::size_t>(id)];
  object.where = path;
  if (object.folder) {
    object.entries = ListFolder(fd, object.where);
    return;
  }
  for (const auto& change : object.pending) Apply(object.durable, change);
  object.pending.clear();
  // The model must agree with the file; where the descriptor can read, check it.
  std::string actual;
  if (ReadThrough(fd, actual) && actual != object.durable) ++g_mismatches;
}

std::uint64_t Mix(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

// variant 0: every pending change dropped; 1: all kept; 2 and on: a random part.
bool Kept(int variant, int object, std::size_t change) {
  if (variant == 0) return false;
  if (variant == 1) return true;
  const std::uint64_t key = (static_cast<std::uint64_t>(variant) << 48) ^
                            (static_cast<std::uint64_t>(object) << 24) ^ change;
  return Mix(key) & 1;
}

void Build(int variant, int id, const std::string& path, int depth) {
  const Object& object = g_model->objects[static_cast<std::size_t>(id)];
  if (object.folder) {
    mkdir(path.c_str(), 0755);
    if (depth > 16) return;
    for (const auto& [name, child] : object.entries)
      Build(variant, child, path + "/" + name, depth + 1);
    return;
  }
  std::string content = object.durable;
  for (std::size_t i = 0; i < object.pending.size(); ++i) {
    if (Kept(variant, id, i)) Apply(content, object.pending[i]);
  }
  const int fd = RawOpen(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  RawWriteAll(fd, content.data(), content.size());
  close(fd);
}

[[noreturn]] void Cut(const char* what) {
  Inside inside;
  pthread_mutex_lock(&g_model->lock);  // held until the end: nothing runs on
  g_cut = true;
  std::strncpy(g_cutWhat, what, sizeof g_cutWhat - 1);
  mkdir(g_outPath, 0755);
  for (int variant = 0; variant < 2 + g_seeds; ++variant) {
    const std::string name = variant == 0   ? std::string("drop")
                             : variant == 1 ? std::string("keep")
                                            : "random" + std::to_string(variant - 1);
    Build(variant, g_model->root, std::string(g_outPath) + "/" + name, 0);
  }
  WriteReport("cut");
  _exit(kCutExitCode);
}

}  // namespace mivotra::sweep::preload
