// The fault library's settings and counts, and what it writes for the sweep to
// read: the report, the trace of a counted run, the stack of a failed call.

#include "preload.h"

namespace mivotra::sweep::preload {

Mode g_mode = Mode::Off;
long g_at = 0;
char g_tree[PATH_MAX];
std::size_t g_treeLength = 0;
char g_reportPath[PATH_MAX];
char g_outPath[PATH_MAX];
char g_caller[128];
int g_seeds = 0;
char g_canary[64];
std::size_t g_canaryLength = 0;
bool g_ready = false;
Counters g_ownCounters;
Counters* g_counters = &g_ownCounters;
long g_untracked = 0;  // powercut: files the model learnt of only afterwards
char g_untrackedWhere[PATH_MAX];
long g_mismatches = 0;  // powercut: synced content that differed from the file's
char g_cutWhat[PATH_MAX + 64];
bool g_cut = false;
char g_trace[1 << 18];
std::size_t g_traceLength = 0;
__attribute__((tls_model("initial-exec"))) thread_local int t_inside = 0;

int RawOpen(const char* path, int flags, mode_t mode) {
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
  if (g_canaryLength) {
    text.Line("canary_writes", g_counters->canaryWrites.load());
    if (g_counters->canaryWrites.load()) text.Line("canary_where", g_counters->canaryWhere);
  }
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

bool FdInTree(int fd, char* path, std::size_t size) {
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

}  // namespace mivotra::sweep::preload
