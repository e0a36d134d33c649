// A fixed run of file operations in a folder, for the test of the fault
// library itself (test_fault_library.cpp): each write, sync and truncate is
// numbered on standard output with its result, so that a test can tell which
// one was failed, and a power cut before each sync has a state known in
// advance. C calls only: nothing here may allocate behind the test's back.
//
//   mivotra-sweep-fsprobe TREE OUTSIDE
// TREE holds "old" (OLD-CONTENT) and "gone" (GONE) when it starts; OUTSIDE
// is a file outside the tree, whose writes and syncs never count.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int g_operation = 0;

void Say(const char* what, long result) {
  char line[128];
  const int n = std::snprintf(line, sizeof line, "%d %s %ld %d\n", ++g_operation, what, result,
                              result < 0 ? errno : 0);
  if (write(STDOUT_FILENO, line, static_cast<std::size_t>(n)) != n) _exit(3);
}

void Path(char* out, std::size_t size, const char* tree, const char* name) {
  std::snprintf(out, size, "%s/%s", tree, name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const char* tree = argv[1];
  char path[4096];

  Path(path, sizeof path, tree, "a");
  const int a = open(path, O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  // The first file opened in the tree: allocations count from here.
  char line[64];
  for (int i = 1; i <= 5; ++i) {
    void* p = std::malloc(16);
    const int n = std::snprintf(line, sizeof line, "malloc %d %s\n", i, p ? "ok" : "null");
    if (write(STDOUT_FILENO, line, static_cast<std::size_t>(n)) != n) return 3;
    std::free(p);
  }
  // Never counted: a file outside the tree.
  const int outside = open(argv[2], O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
  if (write(outside, "x", 1) != 1 || fsync(outside) != 0) return 4;
  close(outside);

  Say("pwrite a AAAA", pwrite(a, "AAAA", 4, 0));  // 1
  Say("fsync a", fsync(a));                       // 2, sync 1
  Say("pwrite a BB@2", pwrite(a, "BB", 2, 2));    // 3
  Path(path, sizeof path, tree, "sub");
  mkdir(path, 0755);
  const int sub = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int b = openat(sub, "b", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  Say("write b bee", write(b, "bee", 3));  // 4
  Say("fsync b", fsync(b));                // 5, sync 2
  Say("fsync sub", fsync(sub));            // 6, sync 3
  const int top = open(tree, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Say("fsync tree", fsync(top));  // 7, sync 4

  Path(path, sizeof path, tree, "old");
  const int old = open(path, O_RDWR | O_CLOEXEC);
  Path(path, sizeof path, tree, "c");
  const int c = open(path, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  off64_t from = 0;
  off64_t to = 0;
  Say("copy old to c", copy_file_range(old, &from, c, &to, 64, 0));  // 8
  Say("pwrite old NEW", pwrite(old, "NEW", 3, 0));                   // 9
  Say("ftruncate old 5", ftruncate(old, 5));                         // 10
  Path(path, sizeof path, tree, "gone");
  unlink(path);
  const int t = openat(sub, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  Say("write t tmp!", write(t, "tmp!", 4));  // 11
  Say("fsync t", fsync(t));                  // 12, sync 5
  // AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH; the /proc link does not.
  if (linkat(t, "", sub, "t", AT_EMPTY_PATH) != 0) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", t);
    linkat(AT_FDCWD, self, sub, "t", AT_SYMLINK_FOLLOW);
  }
  Say("fsync sub", fsync(sub));             // 13, sync 6
  Say("fdatasync old", fdatasync(old));     // 14, sync 7
  Say("fsync c", fsync(c));                 // 15, sync 8
  Say("fsync tree", fsync(top));            // 16, sync 9
  Say("pwrite a Z", pwrite(a, "Z", 1, 0));  // 17
  return 0;
}
