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
//   MIVOTRA_FAULT_CALLER  oom: count and fail only the contexts that OpenSSL
//                         function makes (see the hooks), not every allocation
//   MIVOTRA_FAULT_CANARY  a text no write into the tree may carry; the report
//                         counts those that did and names the first
//   MIVOTRA_FAULT_OWN     oom: 1 counts and fails only the allocations the
//                         program asks for itself (see AskedByTheProgram)
//
// A driver of the sweep's inside the program's process keeps its own work
// out of the counts with mivotra_fault_pause (see the hooks).
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

#include <cstdint>

#include "preload.h"

namespace mivotra::sweep::preload {

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

// A write into the tree that carries the canary: plain text on the disk.
void CheckCanary(const char* path, off_t offset, const void* data, std::size_t size) {
  if (g_canaryLength == 0 || size < g_canaryLength) return;
  const void* found = memmem(data, size, g_canary, g_canaryLength);
  if (!found) return;
  if (g_counters->canaryWrites++ == 0) {
    Text where;
    where.Add(path);
    where.Add(" at offset ");
    where.Add(static_cast<long>(offset) +
              static_cast<long>(static_cast<const char*>(found) - static_cast<const char*>(data)));
    const std::size_t length = std::min(where.size(), sizeof g_counters->canaryWhere - 1);
    std::memcpy(g_counters->canaryWhere, where.c_str(), length);
    g_counters->canaryWhere[length] = '\0';
  }
  WriteReport("plaintext written");
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
    struct stat info = {};
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
  const off_t at = positioned ? offset : (Modelling() || g_canaryLength ? WriteOffset(fd) : 0);
  const ssize_t written = call();
  const int saved = errno;
  if (written > 0) CheckCanary(path, at, data, static_cast<std::size_t>(written));
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
  const off_t at = positioned ? offset : (Modelling() || g_canaryLength ? WriteOffset(fd) : 0);
  const ssize_t written = call();
  const int saved = errno;
  if (written > 0) {
    // Each buffer on its own: SQLite never splits a page over two.
    std::size_t done = 0;
    for (int i = 0; i < count && done < static_cast<std::size_t>(written); ++i) {
      const std::size_t part =
          std::min(vector[i].iov_len, static_cast<std::size_t>(written) - done);
      CheckCanary(path, at + static_cast<off_t>(done), vector[i].iov_base, part);
      done += part;
    }
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
    struct stat info = {};
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
  struct stat info = {};
  const int saved = errno;
  const bool exists = fstatat(dirfd, path, &info, 0) == 0;
  errno = saved;
  return exists;
}

bool TakesMode(int flags) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

// ---- allocations ----

// Whose request an allocation is, by the code of the first caller that does
// more than pass the request on. The program and its database libraries ask
// for memory themselves, and handle a failure (a null, or std::bad_alloc
// through code built for exceptions). Qt's GUI modules and the libraries
// they call are not failed: Debian builds libQt6Gui and libQt6Widgets without
// exception support, so a std::bad_alloc passing through them runs none of
// their cleanups (a painter stays open, a half-made widget is used), and a
// null from malloc is dereferenced; no program can answer either.
enum class Asker { Program, PassesOn, Other };

struct CodeSegment {
  std::uintptr_t begin;
  std::uintptr_t end;
  Asker asker;
};

bool g_ownOnly = false;
CodeSegment g_segments[512];
int g_segmentCount = 0;

Asker AskerNamed(const char* path) {
  if (path == nullptr || path[0] == '\0') return Asker::Program;  // the executable itself
  const char* slash = std::strrchr(path, '/');
  const char* name = slash ? slash + 1 : path;
  auto starts = [name](const char* prefix) {
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
  };
  if (starts("libsqlcipher.so") || starts("libcrypto.so")) return Asker::Program;
  for (const char* runtime : {"libc.so", "libm.so", "libstdc++.so", "libgcc_s.so", "libQt6Core.so",
                              "libmivotra-fault-preload.so"}) {
    if (starts(runtime)) return Asker::PassesOn;
  }
  return Asker::Other;
}

// The executable code of every object loaded at start; anything loaded
// later (Qt's plugins) is Other.
int CollectSegments(struct dl_phdr_info* info, size_t, void*) {
  const Asker asker = AskerNamed(info->dlpi_name);
  for (int i = 0; i < info->dlpi_phnum && g_segmentCount < 512; ++i) {
    const auto& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || !(header.p_flags & PF_X)) continue;
    const std::uintptr_t begin = info->dlpi_addr + header.p_vaddr;
    g_segments[g_segmentCount++] = {begin, begin + header.p_memsz, asker};
  }
  return 0;
}

Asker AskerOf(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  for (int i = 0; i < g_segmentCount; ++i)
    if (at >= g_segments[i].begin && at < g_segments[i].end) return g_segments[i].asker;
  return Asker::Other;
}

// Where the call before a return address of the program went, as far as the
// code shows it (x86-64: a direct call, or one through a PLT stub or the
// GOT); null for a call through a register.
const void* CalledFrom(std::uintptr_t returnAddress) {
  const auto* code = reinterpret_cast<const unsigned char*>(returnAddress);
  auto displacement = [](const unsigned char* at) {
    std::int32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  };
  auto slot = [](const unsigned char* at) { return *reinterpret_cast<void* const*>(at); };
  if (code[-6] == 0xFF && code[-5] == 0x15) return slot(code + displacement(code - 4));
  if (code[-5] != 0xE8) return nullptr;
  const unsigned char* target = code + displacement(code - 4);
  if (AskerOf(target) != Asker::Program) return target;
  // A PLT stub: [endbr64] [bnd] jmp *slot(%rip)
  const unsigned char* at = target;
  if (at[0] == 0xF3 && at[1] == 0x0F && at[2] == 0x1E && at[3] == 0xFA) at += 4;
  if (at[0] == 0xF2) ++at;
  if (at[0] == 0xFF && at[1] == 0x25) return slot(at + 6 + displacement(at + 2));
  return target;
}

// The walk up the stack stops at the first frame that does not pass on. A
// frame of the program that called into Qt's GUI modules is theirs: their
// own frames may be gone from the stack (a tail call into Qt Core).
_Unwind_Reason_Code NextCaller(struct _Unwind_Context* context, void* found) {
  const std::uintptr_t returnAddress = _Unwind_GetIP(context);
  Asker asker = AskerOf(reinterpret_cast<const void*>(returnAddress));
  if (asker == Asker::PassesOn) return _URC_NO_REASON;
  if (asker == Asker::Program) {
    if (const void* called = CalledFrom(returnAddress); called && AskerOf(called) == Asker::Other)
      asker = Asker::Other;
  }
  *static_cast<Asker*>(found) = asker;
  return _URC_END_OF_STACK;
}

bool AskedByTheProgram() {
  Inside inside;
  Asker found = Asker::Other;
  _Unwind_Backtrace(NextCaller, &found);
  return found == Asker::Program;
}

bool FailAllocation() {
  if (t_inside || (g_mode != Mode::Oom && g_mode != Mode::Count) ||
      !g_counters->treeOpened.load(std::memory_order_relaxed))
    return false;
  if (g_caller[0] != '\0') return false;
  // Past the fault nothing more is failed, and nothing needs telling apart.
  if (g_ownOnly && !(g_mode == Mode::Oom && g_counters->injected != 0) && !AskedByTheProgram())
    return false;
  const long n = ++g_counters->allocations;
  if (g_mode != Mode::Oom || n != g_at) return false;
  g_counters->injected = n;
  std::strncpy(g_counters->injectedWhat, "allocation", sizeof g_counters->injectedWhat - 1);
  WriteStack();
  WriteReport("injected");
  errno = ENOMEM;
  return true;
}

// One allocation of an OpenSSL context SQLCipher makes for every page it
// encrypts or decrypts (EVP_MAC_CTX_new, EVP_CIPHER_CTX_new), when only those
// of that name are swept.
bool FailPageContext(const char* name) {
  if (t_inside || g_caller[0] == '\0' || std::strcmp(g_caller, name) != 0 ||
      (g_mode != Mode::Oom && g_mode != Mode::Count) ||
      !g_counters->treeOpened.load(std::memory_order_relaxed))
    return false;
  const long n = ++g_counters->allocations;
  if (g_mode != Mode::Oom || n != g_at) return false;
  g_counters->injected = n;
  std::strncpy(g_counters->injectedWhat, name, sizeof g_counters->injectedWhat - 1);
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
  if (const char* own = getenv("MIVOTRA_FAULT_OWN")) g_ownOnly = std::strcmp(own, "1") == 0;
  if (g_ownOnly) dl_iterate_phdr(CollectSegments, nullptr);
  if (const char* canary = getenv("MIVOTRA_FAULT_CANARY")) {
    std::strncpy(g_canary, canary, sizeof g_canary - 1);
    g_canaryLength = std::strlen(g_canary);
  }
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

}  // namespace mivotra::sweep::preload

using namespace mivotra::sweep::preload;

// ---- the hooks ----

extern "C" {

// OpenSSL's, found past this library; declared here so that no OpenSSL
// header is needed. SQLCipher makes one of each for every page it encrypts
// or decrypts: the HMAC's context and the cipher's. The HMAC's method fetch,
// init and final allocate too, but a failure of any of them ends in the same
// error path of SQLCipher's as that of the context, so failing the context
// alone reaches every page's HMAC.
struct evp_mac_st;
struct evp_mac_ctx_st;
evp_mac_ctx_st* EVP_MAC_CTX_new(evp_mac_st* mac) {
  if (FailPageContext("EVP_MAC_CTX_new")) return nullptr;
  static const auto real = Next<evp_mac_ctx_st* (*)(evp_mac_st*)>("EVP_MAC_CTX_new");
  return real ? real(mac) : nullptr;
}

struct evp_cipher_ctx_st;
evp_cipher_ctx_st* EVP_CIPHER_CTX_new(void) {
  if (FailPageContext("EVP_CIPHER_CTX_new")) return nullptr;
  static const auto real = Next<evp_cipher_ctx_st* (*)()>("EVP_CIPHER_CTX_new");
  return real ? real() : nullptr;
}

// The sweep's own code inside the program's process (the window's driver)
// wraps its work in this, +1 then -1: only the program's operations count
// and fail.
__attribute__((visibility("default"))) void mivotra_fault_pause(int change) {
  t_inside += change;
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
// from the source through the program's own descriptor. The canary is not
// looked for in it: the source is the database, searched after the run.
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
