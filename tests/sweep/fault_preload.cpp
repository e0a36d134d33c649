// LD_PRELOAD library for the fault sweeps: counts what a run does to the
// files of one folder, fails exactly one of those operations, or cuts the
// power before one of its syncs and writes out what a disk would hold then.
//
//   MIVOTRA_FAULT_MODE    count | oom | eio | enospc | powercut
//   MIVOTRA_FAULT_AT      N, 1-based: the allocation (oom), the write, sync or
//                         truncate (eio, enospc) or the sync (powercut)
//   MIVOTRA_FAULT_TREE    the folder whose files count
//   MIVOTRA_FAULT_REPORT  file that receives key=value lines: the counts and
//                         what was done (rewritten at the fault and at exit)
//   MIVOTRA_FAULT_OUT     powercut: folder that receives one tree per variant
//   MIVOTRA_FAULT_SEEDS   powercut: random variants besides "drop" and "keep"
//
// Allocations count only once the process has opened a file in the tree, so
// that N is not dominated by start-up. A power cut ends the process with
// kCutExitCode. A power cut with N beyond the last sync comes at exit.
//
// The hooks never open and close a descriptor of a file in the tree while
// the program runs: closing any descriptor of a file drops every POSIX lock
// the process holds on it, SQLite's included. Content is read through the
// program's own descriptors with pread, folders through a descriptor of the
// folder itself.

#include <dirent.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
}

namespace {

constexpr int kCutExitCode = 86;

enum class Mode { Off, Count, Oom, Eio, Enospc, Powercut };

// Plain globals, zero before any constructor: hooks called during other
// libraries' start-up see Mode::Off.
Mode g_mode = Mode::Off;
long g_at = 0;
char g_tree[PATH_MAX];
std::size_t g_treeLength = 0;
char g_reportPath[PATH_MAX];
char g_outPath[PATH_MAX];
// "HMAC_CTX_new": count and fail only the allocations of OpenSSL's HMAC
// contexts (the ones SQLCipher makes for every page it encrypts or decrypts)
// instead of all of them; checking every allocation's caller would be far
// too slow for the million allocations of a key derivation.
char g_caller[128];
int g_seeds = 0;
bool g_ready = false;

// The counts, shared with forked children (the program checks its work in
// one) once the library has started: the Nth operation is the Nth of the
// whole family of processes, and a fault fires once, not once per child.
struct Counters {
  std::atomic<bool> treeOpened{false};
  std::atomic<long> allocations{0};
  std::atomic<long> ioOperations{0};
  std::atomic<long> syncs{0};
  std::atomic<long> writes{0};
  std::atomic<long> truncates{0};
  long injected = 0;  // the number of the operation that was failed, 0: none yet
  char injectedWhat[PATH_MAX + 64];
};
Counters g_ownCounters;
Counters* g_counters = &g_ownCounters;
long g_untracked = 0;  // powercut: files the model learnt of only afterwards
char g_untrackedWhere[PATH_MAX];
long g_mismatches = 0;  // powercut: synced content that differed from the file's
char g_cutWhat[PATH_MAX + 64];
bool g_cut = false;

// count mode: one line per open, write, sync and truncate in the tree with
// the allocation count at that moment, so that a sweep can tell where in
// the run the allocations lie. Written at exit to <report>.trace.
char g_trace[1 << 18];
std::size_t g_traceLength = 0;

__attribute__((tls_model("initial-exec"))) thread_local int t_inside =
    0;  // the library's own work: never counted, never failed

struct Inside {
  Inside() { ++t_inside; }
  ~Inside() { --t_inside; }
  Inside(const Inside&) = delete;
  Inside& operator=(const Inside&) = delete;
};

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

#define REAL(name)                         \
  static const auto real_##name = [] {     \
    Inside inside;                         \
    return Next<decltype(&::name)>(#name); \
  }()

// ---- text without allocating: the report may be written from inside malloc ----

class Text {
 public:
  void Add(const char* text) {
    while (*text && m_length + 1 < sizeof m_buffer) m_buffer[m_length++] = *text++;
    m_buffer[m_length] = '\0';
  }
  void Add(long value) {
    char digits[24];
    int n = 0;
    const bool negative = value < 0;
    unsigned long rest =
        negative ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
      digits[n++] = static_cast<char>('0' + rest % 10);
      rest /= 10;
    } while (rest);
    if (negative) digits[n++] = '-';
    char ordered[24];
    for (int i = 0; i < n; ++i) ordered[i] = digits[n - 1 - i];
    ordered[n] = '\0';
    Add(ordered);
  }
  void Line(const char* key, const char* value) {
    Add(key);
    Add("=");
    Add(value);
    Add("\n");
  }
  void Line(const char* key, long value) {
    Add(key);
    Add("=");
    Add(value);
    Add("\n");
  }
  const char* c_str() const { return m_buffer; }
  std::size_t size() const { return m_length; }

 private:
  char m_buffer[8192] = {};
  std::size_t m_length = 0;
};

int RawOpen(const char* path, int flags, mode_t mode = 0) {
  REAL(openat);
  return real_openat(AT_FDCWD, path, flags, mode);
}

bool RawWriteAll(int fd, const char* data, std::size_t size) {
  REAL(write);
  while (size > 0) {
    const ssize_t n = real_write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

const char* ModeName() {
  switch (g_mode) {
    case Mode::Count:
      return "count";
    case Mode::Oom:
      return "oom";
    case Mode::Eio:
      return "eio";
    case Mode::Enospc:
      return "enospc";
    case Mode::Powercut:
      return "powercut";
    case Mode::Off:
      break;
  }
  return "off";
}

void WriteReport(const char* state) {
  if (!g_ready || g_reportPath[0] == '\0') return;
  Inside inside;
  const int saved = errno;
  Text text;
  text.Line("mode", ModeName());
  text.Line("at", g_at);
  text.Line("state", state);
  text.Line("pid", static_cast<long>(getpid()));
  text.Line("allocations", g_counters->allocations.load());
  text.Line("io", g_counters->ioOperations.load());
  text.Line("writes", g_counters->writes.load());
  text.Line("syncs", g_counters->syncs.load());
  text.Line("truncates", g_counters->truncates.load());
  text.Line("injected", g_counters->injected);
  if (g_counters->injected) text.Line("injected_what", g_counters->injectedWhat);
  if (g_mode == Mode::Powercut) {
    text.Line("cut", g_cut ? g_cutWhat : "none");
    text.Line("untracked", g_untracked);
    if (g_untracked) text.Line("untracked_where", g_untrackedWhere);
    text.Line("mismatches", g_mismatches);
  }
  const int fd = RawOpen(g_reportPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd >= 0) {
    RawWriteAll(fd, text.c_str(), text.size());
    close(fd);
  }
  errno = saved;
}

// Where the failed operation came from, for the one who reads a violation.
void WriteStack() {
  if (g_reportPath[0] == '\0') return;
  Inside inside;
  char path[PATH_MAX + 8];
  const std::size_t length = std::strlen(g_reportPath);
  if (length + 7 >= sizeof path) return;
  std::memcpy(path, g_reportPath, length);
  std::memcpy(path + length, ".stack", 7);
  void* frames[48];
  const int count = backtrace(frames, 48);
  const int fd = RawOpen(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  backtrace_symbols_fd(frames, count, fd);
  close(fd);
}

void Trace(const char* kind, const char* path) {
  if (g_mode != Mode::Count) return;
  Text line;
  line.Add(g_counters->allocations.load());
  line.Add(" ");
  line.Add(kind);
  line.Add(" ");
  line.Add(path);
  line.Add("\n");
  if (g_traceLength + line.size() >= sizeof g_trace) return;
  std::memcpy(g_trace + g_traceLength, line.c_str(), line.size());
  g_traceLength += line.size();
}

void WriteTrace() {
  if (g_mode != Mode::Count || g_reportPath[0] == '\0') return;
  char path[PATH_MAX + 8];
  const std::size_t length = std::strlen(g_reportPath);
  if (length + 7 >= sizeof path) return;
  std::memcpy(path, g_reportPath, length);
  std::memcpy(path + length, ".trace", 7);
  const int fd = RawOpen(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  RawWriteAll(fd, g_trace, g_traceLength);
  close(fd);
}

// ---- which descriptors count ----

// The descriptor's path, also for a file without a name ("…/#12 (deleted)").
bool PathOf(int fd, char* path, std::size_t size) {
  char link[40] = "/proc/self/fd/";
  char digits[16];
  int n = 0;
  unsigned value = static_cast<unsigned>(fd);
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  std::size_t at = std::strlen(link);
  while (n) link[at++] = digits[--n];
  link[at] = '\0';
  const ssize_t got = readlink(link, path, size - 1);
  if (got < 0) return false;
  path[got] = '\0';
  return true;
}

bool InTree(const char* path) {
  return g_treeLength > 0 && std::strncmp(path, g_tree, g_treeLength) == 0 &&
         (path[g_treeLength] == '/' || path[g_treeLength] == '\0');
}

bool FdInTree(int fd, char* path = nullptr, std::size_t size = 0) {
  if (!g_ready || g_mode == Mode::Off || fd < 0) return false;
  char own[PATH_MAX];
  if (!path) {
    path = own;
    size = sizeof own;
  }
  const int saved = errno;
  const bool inside = PathOf(fd, path, size) && InTree(path);
  if (!inside) path[0] = '\0';
  errno = saved;
  return inside;
}

// ---- the power-cut model ----
//
// Every file and folder the run can touch is an object. A file's durable
// content is what its last fsync saw; the writes and truncates since are
// pending, in order. A folder's durable entries are what it held at its last
// fsync. At the cut the tree is rebuilt from the durable entries down, each
// file from its durable content plus none, all or a random part of its
// pending changes.

struct Change {
  bool truncate = false;
  off_t offset = 0;  // the write's offset, or the truncate's length
  std::string data;
};

struct Object {
  bool folder = false;
  std::string where;  // its path when last seen, for the report
  std::string durable;
  std::vector<Change> pending;
  std::map<std::string, int> entries;  // folders: durable name -> object
};

struct Model {
  std::vector<Object> objects;
  std::map<std::pair<dev_t, ino_t>, int> byInode;
  int root = -1;
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
};

Model* g_model = nullptr;  // never freed: it must outlive every destructor

struct ModelLock {
  ModelLock() { pthread_mutex_lock(&g_model->lock); }
  ~ModelLock() { pthread_mutex_unlock(&g_model->lock); }
  ModelLock(const ModelLock&) = delete;
  ModelLock& operator=(const ModelLock&) = delete;
};

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
  struct stat info {};
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
    struct stat info {};
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
  struct stat info {};
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
  struct stat info {};
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

// ---- counting and failing ----

// Called before each write, sync or truncate; an errno to fail it with, or 0.
int BeforeIo(int fd, const char* kind, char* path, std::size_t size) {
  const bool sync = std::strcmp(kind, "sync") == 0;
  if (t_inside || !FdInTree(fd, path, size)) return 0;
  const long n = ++g_counters->ioOperations;
  Trace(kind, path);
  long s = 0;
  if (sync) s = ++g_counters->syncs;
  if (g_mode == Mode::Powercut && sync && s == g_at) {
    char what[PATH_MAX + 64] = "before sync ";
    std::strncat(what, path, sizeof what - std::strlen(what) - 1);
    Cut(what);
  }
  if ((g_mode == Mode::Eio || g_mode == Mode::Enospc) && n == g_at) {
    g_counters->injected = n;
    std::strncpy(g_counters->injectedWhat, kind, sizeof g_counters->injectedWhat - 1);
    std::strncat(g_counters->injectedWhat, " ",
                 sizeof g_counters->injectedWhat - std::strlen(g_counters->injectedWhat) - 1);
    std::strncat(g_counters->injectedWhat, path,
                 sizeof g_counters->injectedWhat - std::strlen(g_counters->injectedWhat) - 1);
    WriteStack();
    WriteReport("injected");
    return g_mode == Mode::Eio ? EIO : ENOSPC;
  }
  return 0;
}

bool Modelling() {
  return g_mode == Mode::Powercut && g_model && !t_inside;
}

// The data of a write, for the model: kept only where a power cut may need it.
void AfterWrite(int fd, const char* path, off_t offset, const void* data, ssize_t written) {
  if (written <= 0) return;
  ++g_counters->writes;
  if (!Modelling()) return;
  Inside inside;
  Change change;
  change.offset = offset;
  change.data.assign(static_cast<const char*>(data), static_cast<std::size_t>(written));
  Record(fd, path, std::move(change));
}

off_t WriteOffset(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0 && (flags & O_APPEND)) {
    struct stat info {};
    return fstat(fd, &info) == 0 ? info.st_size : 0;
  }
  return lseek(fd, 0, SEEK_CUR);
}

template <typename Call>
ssize_t CountedWrite(int fd, const void* data, off_t offset, bool positioned, Call call) {
  char path[PATH_MAX];
  path[0] = '\0';
  if (const int error = BeforeIo(fd, "write", path, sizeof path)) {
    errno = error;
    return -1;
  }
  if (t_inside || path[0] == '\0') return call();
  const off_t at = positioned ? offset : (Modelling() ? WriteOffset(fd) : 0);
  const ssize_t written = call();
  const int saved = errno;
  AfterWrite(fd, path, at, data, written);
  errno = saved;
  return written;
}

std::string Gather(const struct iovec* vector, int count) {
  std::string data;
  for (int i = 0; i < count; ++i)
    data.append(static_cast<const char*>(vector[i].iov_base), vector[i].iov_len);
  return data;
}

template <typename Call>
ssize_t CountedVectorWrite(int fd, const struct iovec* vector, int count, off_t offset,
                           bool positioned, Call call) {
  char path[PATH_MAX];
  path[0] = '\0';
  if (const int error = BeforeIo(fd, "write", path, sizeof path)) {
    errno = error;
    return -1;
  }
  if (t_inside || path[0] == '\0') return call();
  const off_t at = positioned ? offset : (Modelling() ? WriteOffset(fd) : 0);
  const ssize_t written = call();
  const int saved = errno;
  if (written > 0) {
    std::string data;
    if (Modelling()) {
      Inside inside;
      data = Gather(vector, count);
    }
    AfterWrite(fd, path, at, data.data(), written);
  }
  errno = saved;
  return written;
}

template <typename Call>
int CountedSync(int fd, Call call) {
  char path[PATH_MAX];
  path[0] = '\0';
  if (const int error = BeforeIo(fd, "sync", path, sizeof path)) {
    errno = error;
    return -1;
  }
  const int result = call();
  if (result == 0 && path[0] != '\0' && Modelling()) {
    const int saved = errno;
    Inside inside;
    MakeDurable(fd, path);
    errno = saved;
  }
  return result;
}

template <typename Call>
int CountedTruncate(int fd, off_t length, Call call) {
  char path[PATH_MAX];
  path[0] = '\0';
  if (const int error = BeforeIo(fd, "truncate", path, sizeof path)) {
    errno = error;
    return -1;
  }
  const int result = call();
  if (result == 0 && path[0] != '\0') {
    ++g_counters->truncates;
    if (Modelling()) {
      const int saved = errno;
      Inside inside;
      Change change;
      change.truncate = true;
      change.offset = length;
      Record(fd, path, std::move(change));
      errno = saved;
    }
  }
  return result;
}

// After every successful open: the first one in the tree starts the
// allocation count; in the model a created file starts empty.
void AfterOpen(int fd, int flags, bool existed) {
  if (fd < 0 || t_inside || !g_ready || g_mode == Mode::Off) return;
  char path[PATH_MAX];
  if (!FdInTree(fd, path, sizeof path)) return;
  g_counters->treeOpened.store(true);
  Trace("open", path);
  if (!Modelling()) return;
  const int saved = errno;
  Inside inside;
  {
    ModelLock lock;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
      const bool anonymous = (flags & O_TMPFILE) == O_TMPFILE;
      if (anonymous || ((flags & O_CREAT) && !existed)) {
        NewObject(info, false, path);
      } else {
        const int id = ObjectOf(fd, path);
        if (id >= 0 && (flags & O_TRUNC)) {
          Change change;
          change.truncate = true;
          g_model->objects[static_cast<std::size_t>(id)].pending.push_back(change);
        }
      }
    }
  }
  errno = saved;
}

bool ExistsBefore(int dirfd, const char* path, int flags) {
  if (!Modelling() || !(flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) return true;
  struct stat info {};
  const int saved = errno;
  const bool exists = fstatat(dirfd, path, &info, 0) == 0;
  errno = saved;
  return exists;
}

bool TakesMode(int flags) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

// ---- allocations ----

bool FailAllocation() {
  if (t_inside || (g_mode != Mode::Oom && g_mode != Mode::Count) ||
      !g_counters->treeOpened.load(std::memory_order_relaxed))
    return false;
  if (g_caller[0] != '\0') return false;
  const long n = ++g_counters->allocations;
  if (g_mode != Mode::Oom || n != g_at) return false;
  g_counters->injected = n;
  std::strncpy(g_counters->injectedWhat, "allocation", sizeof g_counters->injectedWhat - 1);
  WriteStack();
  WriteReport("injected");
  errno = ENOMEM;
  return true;
}

// One HMAC context allocation, when only those are swept.
bool FailHmacContext() {
  if (t_inside || g_caller[0] == '\0' || std::strcmp(g_caller, "HMAC_CTX_new") != 0 ||
      (g_mode != Mode::Oom && g_mode != Mode::Count) ||
      !g_counters->treeOpened.load(std::memory_order_relaxed))
    return false;
  const long n = ++g_counters->allocations;
  if (g_mode != Mode::Oom || n != g_at) return false;
  g_counters->injected = n;
  std::strncpy(g_counters->injectedWhat, "HMAC context", sizeof g_counters->injectedWhat - 1);
  WriteStack();
  WriteReport("injected");
  errno = ENOMEM;
  return true;
}

// ---- start and end ----

__attribute__((constructor)) void Start() {
  Inside inside;
  const char* mode = getenv("MIVOTRA_FAULT_MODE");
  const char* tree = getenv("MIVOTRA_FAULT_TREE");
  if (!mode || !tree) return;
  if (std::strcmp(mode, "count") == 0)
    g_mode = Mode::Count;
  else if (std::strcmp(mode, "oom") == 0)
    g_mode = Mode::Oom;
  else if (std::strcmp(mode, "eio") == 0)
    g_mode = Mode::Eio;
  else if (std::strcmp(mode, "enospc") == 0)
    g_mode = Mode::Enospc;
  else if (std::strcmp(mode, "powercut") == 0)
    g_mode = Mode::Powercut;
  else
    return;
  if (const char* at = getenv("MIVOTRA_FAULT_AT")) g_at = std::strtol(at, nullptr, 10);
  if (const char* seeds = getenv("MIVOTRA_FAULT_SEEDS")) g_seeds = std::atoi(seeds);
  if (const char* report = getenv("MIVOTRA_FAULT_REPORT"))
    std::strncpy(g_reportPath, report, sizeof g_reportPath - 1);
  if (const char* caller = getenv("MIVOTRA_FAULT_CALLER"))
    std::strncpy(g_caller, caller, sizeof g_caller - 1);
  if (const char* out = getenv("MIVOTRA_FAULT_OUT"))
    std::strncpy(g_outPath, out, sizeof g_outPath - 1);
  if (!realpath(tree, g_tree)) return;
  g_treeLength = std::strlen(g_tree);
  void* shared =
      mmap(nullptr, sizeof(Counters), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared != MAP_FAILED) {
    auto* counters = new (shared) Counters;
    counters->treeOpened = g_ownCounters.treeOpened.load();
    counters->allocations = g_ownCounters.allocations.load();
    counters->ioOperations = g_ownCounters.ioOperations.load();
    counters->syncs = g_ownCounters.syncs.load();
    counters->writes = g_ownCounters.writes.load();
    counters->truncates = g_ownCounters.truncates.load();
    g_counters = counters;
  }
  // Children (none expected) would count on their own: keep them out.
  unsetenv("LD_PRELOAD");
  // backtrace loads its unwinder on first use; not inside a failing malloc.
  void* frame[2];
  backtrace(frame, 2);
  if (g_mode == Mode::Powercut) {
    if (g_outPath[0] == '\0') return;
    g_model = new Model;
    g_model->root = Snapshot(g_tree);
    if (g_model->root < 0) return;
  }
  g_ready = true;
  WriteReport("started");
}

__attribute__((destructor)) void Stop() {
  if (!g_ready) return;
  if (g_mode == Mode::Powercut && !g_cut) Cut("at exit");
  WriteTrace();
  WriteReport("exited");
}

}  // namespace

// ---- the hooks ----

extern "C" {

// OpenSSL's, found past this library; declared here so that no OpenSSL
// header is needed.
struct hmac_ctx_st;
hmac_ctx_st* HMAC_CTX_new(void) {
  if (FailHmacContext()) return nullptr;
  static const auto real = Next<hmac_ctx_st* (*)()>("HMAC_CTX_new");
  return real ? real() : nullptr;
}

void* malloc(size_t size) {
  if (FailAllocation()) return nullptr;
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  if (FailAllocation()) return nullptr;
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
  if (FailAllocation()) return nullptr;
  return __libc_realloc(pointer, size);
}

void* reallocarray(void* pointer, size_t count, size_t size) {
  size_t total = 0;
  if (__builtin_mul_overflow(count, size, &total)) {
    errno = ENOMEM;
    return nullptr;
  }
  if (FailAllocation()) return nullptr;
  return __libc_realloc(pointer, total);
}

int posix_memalign(void** result, size_t alignment, size_t size) {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  if (FailAllocation()) return ENOMEM;
  void* pointer = __libc_memalign(alignment, size);
  if (!pointer) return ENOMEM;
  *result = pointer;
  return 0;
}

void* aligned_alloc(size_t alignment, size_t size) {
  if (FailAllocation()) return nullptr;
  return __libc_memalign(alignment, size);
}

void* memalign(size_t alignment, size_t size) {
  if (FailAllocation()) return nullptr;
  return __libc_memalign(alignment, size);
}

void* valloc(size_t size) {
  if (FailAllocation()) return nullptr;
  return __libc_valloc(size);
}

void* pvalloc(size_t size) {
  if (FailAllocation()) return nullptr;
  return __libc_pvalloc(size);
}

int open(const char* path, int flags, ...) {
  REAL(open);
  mode_t mode = 0;
  if (TakesMode(flags)) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  const bool existed = ExistsBefore(AT_FDCWD, path, flags);
  const int fd = real_open(path, flags, mode);
  AfterOpen(fd, flags, existed);
  return fd;
}

int open64(const char* path, int flags, ...) {
  REAL(open64);
  mode_t mode = 0;
  if (TakesMode(flags)) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  const bool existed = ExistsBefore(AT_FDCWD, path, flags);
  const int fd = real_open64(path, flags, mode);
  AfterOpen(fd, flags, existed);
  return fd;
}

int openat(int dirfd, const char* path, int flags, ...) {
  REAL(openat);
  mode_t mode = 0;
  if (TakesMode(flags)) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  const bool existed = ExistsBefore(dirfd, path, flags);
  const int fd = real_openat(dirfd, path, flags, mode);
  AfterOpen(fd, flags, existed);
  return fd;
}

int openat64(int dirfd, const char* path, int flags, ...) {
  REAL(openat64);
  mode_t mode = 0;
  if (TakesMode(flags)) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  const bool existed = ExistsBefore(dirfd, path, flags);
  const int fd = real_openat64(dirfd, path, flags, mode);
  AfterOpen(fd, flags, existed);
  return fd;
}

// The fortified forms (_FORTIFY_SOURCE) of open without a mode.
int __open_2(const char* path, int flags) {
  return open(path, flags);
}
int __open64_2(const char* path, int flags) {
  return open64(path, flags);
}
int __openat_2(int dirfd, const char* path, int flags) {
  return openat(dirfd, path, flags);
}
int __openat64_2(int dirfd, const char* path, int flags) {
  return openat64(dirfd, path, flags);
}

int creat(const char* path, mode_t mode) {
  return open(path, O_CREAT | O_WRONLY | O_TRUNC, mode);
}
int creat64(const char* path, mode_t mode) {
  return open64(path, O_CREAT | O_WRONLY | O_TRUNC, mode);
}

ssize_t write(int fd, const void* data, size_t size) {
  REAL(write);
  return CountedWrite(fd, data, 0, false, [&] { return real_write(fd, data, size); });
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  REAL(pwrite);
  return CountedWrite(fd, data, offset, true, [&] { return real_pwrite(fd, data, size, offset); });
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
  REAL(pwrite64);
  return CountedWrite(fd, data, offset, true,
                      [&] { return real_pwrite64(fd, data, size, offset); });
}

ssize_t writev(int fd, const struct iovec* vector, int count) {
  REAL(writev);
  return CountedVectorWrite(fd, vector, count, 0, false,
                            [&] { return real_writev(fd, vector, count); });
}

ssize_t pwritev(int fd, const struct iovec* vector, int count, off_t offset) {
  REAL(pwritev);
  return CountedVectorWrite(fd, vector, count, offset, true,
                            [&] { return real_pwritev(fd, vector, count, offset); });
}

ssize_t pwritev64(int fd, const struct iovec* vector, int count, off64_t offset) {
  REAL(pwritev64);
  return CountedVectorWrite(fd, vector, count, offset, true,
                            [&] { return real_pwritev64(fd, vector, count, offset); });
}

// A kernel copy is a write to its destination; the model takes the data
// from the source through the program's own descriptor.
ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t size,
                        unsigned int flags) {
  REAL(copy_file_range);
  char path[PATH_MAX];
  path[0] = '\0';
  if (const int error = BeforeIo(out, "write", path, sizeof path)) {
    errno = error;
    return -1;
  }
  if (t_inside || path[0] == '\0')
    return real_copy_file_range(in, inOffset, out, outOffset, size, flags);
  const off_t from = inOffset ? *inOffset : lseek(in, 0, SEEK_CUR);
  const off_t to = outOffset ? *outOffset : WriteOffset(out);
  const ssize_t copied = real_copy_file_range(in, inOffset, out, outOffset, size, flags);
  const int saved = errno;
  if (copied > 0) {
    ++g_counters->writes;
    if (Modelling()) {
      Inside inside;
      REAL(pread64);
      Change change;
      change.offset = to;
      change.data.assign(static_cast<std::size_t>(copied), '\0');
      std::size_t done = 0;
      while (done < change.data.size()) {
        const ssize_t n = real_pread64(in, change.data.data() + done, change.data.size() - done,
                                       from + static_cast<off_t>(done));
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      if (done != change.data.size()) ++g_mismatches;
      Record(out, path, std::move(change));
    }
  }
  errno = saved;
  return copied;
}

int fsync(int fd) {
  REAL(fsync);
  return CountedSync(fd, [&] { return real_fsync(fd); });
}

int fdatasync(int fd) {
  REAL(fdatasync);
  return CountedSync(fd, [&] { return real_fdatasync(fd); });
}

int ftruncate(int fd, off_t length) {
  REAL(ftruncate);
  return CountedTruncate(fd, length, [&] { return real_ftruncate(fd, length); });
}

int ftruncate64(int fd, off64_t length) {
  REAL(ftruncate64);
  return CountedTruncate(fd, length, [&] { return real_ftruncate64(fd, length); });
}

}  // extern "C"
