// The backup copy when the system fails it: a file-size limit, a full disk, a
// read-only file system, another file system, a kill in the middle. Each runs
// in a child process so that limits, mounts and kills stay out of the runner.

#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>

#include "CopyFile.h"
#include "TestSupport.h"
#include "target/BackupCopy.h"
#include "target/FileSystem.h"

namespace mivotra {
namespace {

namespace fs = std::filesystem;
using test::Listing;
using test::ReadFile;
using test::RecordingScreen;
using test::TempDir;
using test::WriteFile;

using test::MiB;
constexpr int SkipCode = 77;

struct ChildResult {
  bool exited = false;
  int code = -1;
  int signal = 0;
};

// Runs `body` in a child; its result is the child's exit code. Messages go to
// stderr, where the test log shows them.
ChildResult RunInChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) _exit(body());
  ChildResult result;
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return result;
  result.exited = WIFEXITED(status);
  result.code = result.exited ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

int Report(const char* what) {
  std::fprintf(stderr, "child: %s\n", what);
  return 1;
}

// A private mount namespace with a small tmpfs at `where`; false when this
// system does not allow it.
bool MountPrivateTmpfs(const fs::path& where, const char* options, unsigned long flags = 0) {
  if (unshare(CLONE_NEWNS) != 0) return false;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return mount("tmpfs", where.c_str(), "tmpfs", flags, options) == 0;
}

class BackupCopyFaults : public testing::Test {
 protected:
  TempDir dir;
};

TEST_F(BackupCopyFaults, FileSizeLimitFailsCleanly) {
  const std::string content = test::RandomBytes(4 * MiB);
  WriteFile(dir / "data.mdb", content);
  const ChildResult result = RunInChild([&] {
    const struct rlimit limit = {MiB + 100, MiB + 100};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return Report("setrlimit");
    RecordingScreen screen;
    std::string reason;
    if (test::CopyFile(dir / "data.mdb", dir / "copy.mdb", screen, &reason))
      return Report("the copy succeeded");
    if (reason.find("File too large") == std::string::npos) return Report(reason.c_str());
    // The signal is ignored only while the copy runs.
    struct sigaction now = {};
    sigaction(SIGXFSZ, nullptr, &now);
    if (now.sa_handler != SIG_DFL) return Report("SIGXFSZ left ignored");
    return 0;
  });
  EXPECT_EQ(result.signal, 0) << "killed by signal " << result.signal;
  EXPECT_TRUE(result.exited && result.code == 0);
  EXPECT_EQ(Listing(dir.path()), std::set<std::string>{"data.mdb"});
  EXPECT_TRUE(ReadFile(dir / "data.mdb") == content);
}

TEST_F(BackupCopyFaults, FullDiskFailsAndGivesTheSpaceBack) {
  const std::string content = test::RandomBytes(6 * MiB);
  WriteFile(dir / "data.mdb", content);
  fs::create_directory(dir / "small");
  const ChildResult result = RunInChild([&] {
    if (!MountPrivateTmpfs(dir / "small", "size=4m")) return SkipCode;
    struct statvfs before = {};
    statvfs((dir / "small").c_str(), &before);
    RecordingScreen screen;
    std::string reason;
    if (test::CopyFile(dir / "data.mdb", dir / "small/copy.mdb", screen, &reason))
      return Report("the copy succeeded");
    if (reason.find("No space left") == std::string::npos) return Report(reason.c_str());
    if (!fs::is_empty(dir / "small")) return Report("something was left in the folder");
    struct statvfs after = {};
    statvfs((dir / "small").c_str(), &after);
    if (after.f_bfree != before.f_bfree) return Report("space was not given back");
    // The same copy fits once there is room.
    if (mount(nullptr, (dir / "small").c_str(), nullptr, MS_REMOUNT, "size=16m") != 0)
      return Report("remount");
    if (!test::CopyFile(dir / "data.mdb", dir / "small/copy.mdb", screen, &reason))
      return Report(reason.c_str());
    return ReadFile(dir / "small/copy.mdb") == content ? 0 : Report("copy differs");
  });
  if (result.exited && result.code == SkipCode)
    GTEST_SKIP() << "no private tmpfs mount here (needs CAP_SYS_ADMIN)";
  EXPECT_TRUE(result.exited && result.code == 0);
  EXPECT_TRUE(ReadFile(dir / "data.mdb") == content);
}

TEST_F(BackupCopyFaults, ReadOnlyFileSystemFails) {
  WriteFile(dir / "data.mdb", test::RandomBytes(MiB));
  fs::create_directory(dir / "readonly");
  const ChildResult result = RunInChild([&] {
    if (!MountPrivateTmpfs(dir / "readonly", "size=4m", MS_RDONLY)) return SkipCode;
    RecordingScreen screen;
    std::string reason;
    if (test::CopyFile(dir / "data.mdb", dir / "readonly/copy.mdb", screen, &reason))
      return Report("the copy succeeded");
    if (reason.find("Read-only file system") == std::string::npos) return Report(reason.c_str());
    return fs::is_empty(dir / "readonly") ? 0 : Report("something was left");
  });
  if (result.exited && result.code == SkipCode)
    GTEST_SKIP() << "no private tmpfs mount here (needs CAP_SYS_ADMIN)";
  EXPECT_TRUE(result.exited && result.code == 0);
}

// Between file systems copy_file_range may refuse; the copy goes on by
// read/write.
TEST_F(BackupCopyFaults, CopiesToAnotherFileSystem) {
  const std::string content = test::RandomBytes(3 * MiB + 1);
  WriteFile(dir / "data.mdb", content);
  fs::create_directory(dir / "other");
  const ChildResult result = RunInChild([&] {
    if (!MountPrivateTmpfs(dir / "other", "size=16m")) return SkipCode;
    RecordingScreen screen;
    std::string reason;
    if (!test::CopyFile(dir / "data.mdb", dir / "other/copy.mdb", screen, &reason))
      return Report(reason.c_str());
    if (ReadFile(dir / "other/copy.mdb") != content) return Report("copy differs");
    return Listing(dir / "other") == std::set<std::string>{"copy.mdb"} ? 0 : Report("leftovers");
  });
  if (result.exited && result.code == SkipCode)
    GTEST_SKIP() << "no private tmpfs mount here (needs CAP_SYS_ADMIN)";
  EXPECT_TRUE(result.exited && result.code == 0);
}

// The room a copy may use: what the file system lets this process write, and
// unknown (not none) where it tells no size, as /proc and FUSE file systems
// without a statfs of their own do.
TEST(FreeBytes, IsTheRoomThisProcessMayWriteAndUnknownWhereTheFileSystemTellsNone) {
  TempDir dir;
  const ChildResult result = RunInChild([&] {
    if (!MountPrivateTmpfs(dir.path(), "size=4m")) return SkipCode;
    std::string reason;
    if (FreeBytes(dir.path().string(), &reason) != 4 * MiB) return Report("an empty 4 MiB tmpfs");
    WriteFile(dir / "data.mdb", test::RandomBytes(MiB));
    if (FreeBytes((dir / "data.mdb").string(), &reason) != 3 * MiB) return Report("1 MiB used");
    return 0;
  });
  if (result.exited && result.code == SkipCode)
    GTEST_SKIP() << "no private tmpfs mount here (needs CAP_SYS_ADMIN)";
  EXPECT_TRUE(result.exited && result.code == 0);

  const struct {
    std::string path;
    const char* reason;
  } unknown[] = {
      {"/proc", "does not tell how much room it has"},
      {(dir / "missing").string(), "No such file or directory"},
  };
  for (const auto& c : unknown) {
    SCOPED_TRACE(c.path);
    std::string reason;
    EXPECT_EQ(FreeBytes(c.path, &reason), std::nullopt);
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
  }
}

// The tool normally runs as an ordinary user, without the privileges root's
// tests have (older kernels refuse such a user the link of an unnamed file
// by descriptor; the copy then links it through /proc).
TEST_F(BackupCopyFaults, WorksForAnOrdinaryUser) {
  constexpr uid_t nobody = 65534;
  const std::string content = test::RandomBytes(2 * MiB + 3);
  WriteFile(dir / "data.mdb", content);
  fs::create_directory(dir / "user");
  ASSERT_EQ(chown((dir / "user").c_str(), nobody, nobody), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const ChildResult result = RunInChild([&] {
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) return SkipCode;
    prctl(PR_SET_DUMPABLE, 1);  // as for a program started normally
    RecordingScreen screen;
    std::string reason;
    if (!test::CopyFile(dir / "data.mdb", dir / "user/copy.mdb", screen, &reason))
      return Report(reason.c_str());
    if (test::CopyFile(dir / "data.mdb", dir / "user/copy.mdb", screen, &reason))
      return Report("copied over the first copy");
    return 0;
  });
  if (result.exited && result.code == SkipCode) GTEST_SKIP() << "cannot become another user";
  EXPECT_TRUE(result.exited && result.code == 0);
  EXPECT_TRUE(ReadFile(dir / "user/copy.mdb") == content);
  struct stat info = {};
  ASSERT_EQ(stat((dir / "user/copy.mdb").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, nobody);
  EXPECT_EQ(Listing(dir / "user"), std::set<std::string>{"copy.mdb"});
}

// A kill at any moment leaves no file under the backup's name. With the
// unnamed file nothing at all remains; with a hidden temporary name only that
// hidden file can remain, never a partial backup.
TEST_F(BackupCopyFaults, KillInTheMiddleLeavesNoBackup) {
  const std::size_t size = 256 * MiB;
  {
    std::string block = test::RandomBytes(8 * MiB);
    std::FILE* out = std::fopen((dir / "data.mdb").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    for (std::size_t written = 0; written < size; written += block.size())
      std::fwrite(block.data(), 1, block.size(), out);
    std::fclose(out);
  }
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);

  class SignallingScreen : public RecordingScreen {
   public:
    explicit SignallingScreen(int fd) : m_fd(fd) {}
    bool ShowCopyProgress(std::uint64_t copied, std::uint64_t total) override {
      if (copied > 0 && !m_told) {
        m_told = true;
        if (write(m_fd, "x", 1) != 1) _exit(3);
      }
      return RecordingScreen::ShowCopyProgress(copied, total);
    }

   private:
    int m_fd;
    bool m_told = false;
  };

  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    close(pipeFds[0]);
    SignallingScreen screen(pipeFds[1]);
    test::CopyFile(dir / "data.mdb", dir / "backup.mdb", screen, nullptr);
    _exit(2);  // finished before the kill: the test proves nothing
  }
  close(pipeFds[1]);
  char signal = 0;
  const bool started = read(pipeFds[0], &signal, 1) == 1;
  kill(child, SIGKILL);
  close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(started);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << "the copy ended before the kill";

  std::set<std::string> names = Listing(dir.path());
  EXPECT_EQ(names.count("backup.mdb"), 0u);
  names.erase("data.mdb");
  // The unnamed file went with the process; where the file system has none,
  // only a hidden temporary that the next copy removes can be left.
  for (const auto& name : names) EXPECT_EQ(name.rfind(".mivotra-copy-", 0), 0u) << name;
  EXPECT_EQ(fs::file_size(dir / "data.mdb"), size);
}

}  // namespace
}  // namespace mivotra
