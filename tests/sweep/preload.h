#pragma once
// What the parts of the fault library share: its settings and counts, the
// report it writes, and the power-cut model. No allocation on the paths a
// hook takes before it knows it counts: hooks run inside malloc.

#include <dirent.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <stdarg.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>
#include <unwind.h>

#include <algorithm>
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

namespace mivotra::sweep::preload {

constexpr int kCutExitCode = 86;

enum class Mode { Off, Count, Oom, Eio, Enospc, Powercut };

// Plain globals, zero before any constructor: hooks called during other
// libraries' start-up see Mode::Off.
extern Mode g_mode;
extern long g_at;
extern char g_tree[PATH_MAX];
extern std::size_t g_treeLength;
extern char g_reportPath[PATH_MAX];
extern char g_outPath[PATH_MAX];
// "EVP_MAC_CTX_new" or "EVP_CIPHER_CTX_new": count and fail only the
// allocations of that OpenSSL context (SQLCipher makes one of each for every
// page it encrypts or decrypts) instead of all of them; checking every
// allocation's caller would be far too slow for the million allocations of a
// key derivation.
extern char g_caller[128];
extern int g_seeds;
// A text that must never reach a file of the tree as it is: every write into
// the tree is searched for it as it goes to the disk, so that files deleted
// at once (SQLite's temporary files) or overwritten later count too.
extern char g_canary[64];
extern std::size_t g_canaryLength;
extern bool g_ready;

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
  std::atomic<long> canaryWrites{0};  // writes that carried the canary
  char canaryWhere[PATH_MAX + 64];    // the first of them: file and offset
};
extern Counters g_ownCounters;
extern Counters* g_counters;
extern long g_untracked;  // powercut: files the model learnt of only afterwards
extern char g_untrackedWhere[PATH_MAX];
extern long g_mismatches;  // powercut: synced content that differed from the file's
extern char g_cutWhat[PATH_MAX + 64];
extern bool g_cut;

// count mode: one line per open, write, sync and truncate in the tree with
// the allocation count at that moment, so that a sweep can tell where in
// the run the allocations lie. Written at exit to <report>.trace.
extern char g_trace[1 << 18];
extern std::size_t g_traceLength;

extern __attribute__((tls_model("initial-exec"))) thread_local int t_inside;
// the library's own work: never counted, never failed

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

// ---- the report and the trace (preload_report.cpp) ----
int RawOpen(const char* path, int flags, mode_t mode = 0);
bool RawWriteAll(int fd, const char* data, std::size_t size);
const char* ModeName();
void WriteReport(const char* state);
// Where the failed operation came from, for the one who reads a violation.
void WriteStack();
void Trace(const char* kind, const char* path);
void WriteTrace();
// The descriptor's path, also for a file without a name ("…/#12 (deleted)").
bool PathOf(int fd, char* path, std::size_t size);
bool InTree(const char* path);
bool FdInTree(int fd, char* path = nullptr, std::size_t size = 0);

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

extern Model* g_model;  // never freed: it must outlive every destructor

struct ModelLock {
  ModelLock() { pthread_mutex_lock(&g_model->lock); }
  ~ModelLock() { pthread_mutex_unlock(&g_model->lock); }
  ModelLock(const ModelLock&) = delete;
  ModelLock& operator=(const ModelLock&) = delete;
};

// The model's operations (preload_model.cpp).
int NewObject(const struct stat& info, bool folder, const std::string& where);
void Untracked(const char* where);
int Snapshot(const std::string& path);
int ObjectOf(int fd, const char* path);
void Record(int fd, const char* path, Change change);
void MakeDurable(int fd, const char* path);
[[noreturn]] void Cut(const char* what);

}  // namespace mivotra::sweep::preload
