// The single-instance lock lives only in a folder no other user can write
// to: the private runtime folder, else a per-user folder in the temp folder.
// Anything another user could have planted there is passed over, and the
// tool then runs unguarded rather than blocked. TMPDIR points at a test
// folder throughout, so the real temp folder is never touched.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <optional>

#include "Processes.h"
#include "TestSupport.h"
#include "platform/InstanceGuard.h"

namespace mivotra::test::faults {
namespace {

constexpr uid_t kNobody = 65534;

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

fs::perms ModeOf(const fs::path& path) {
  return fs::symlink_status(path).permissions() & fs::perms::mask;
}

fs::path Folder(const fs::path& folder, fs::perms mode) {
  fs::create_directory(folder);
  fs::permissions(folder, mode);
  return folder;
}

// A private folder owned by another user, for planting; false where this
// user cannot give a folder away.
bool MakeOthersFolder(const fs::path& folder) {
  return chown(Folder(folder, fs::perms::owner_all).c_str(), kNobody, kNobody) == 0;
}

class InstanceGuardFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TMPDIR", temp.path().c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
  }
  void TearDown() override {
    Restore("TMPDIR", m_tmpdir);
    Restore("XDG_RUNTIME_DIR", m_runtime);
  }

  // The folder of one's own in the temp folder.
  fs::path PerUserFolder() const {
    return temp / ("MivotraPatch20091109-" + std::to_string(geteuid()));
  }
  static std::string LockName() { return std::string(kInstanceGuardName) + ".lock"; }

 private:
  // Saved before TempDir, which is made under the test's own temp folder.
  std::optional<std::string> m_tmpdir = Variable("TMPDIR");
  std::optional<std::string> m_runtime = Variable("XDG_RUNTIME_DIR");

 protected:
  TempDir temp;
};

// ---- where the lock is ----

TEST_F(InstanceGuardFolder, APrivateRuntimeFolderHoldsTheLock) {
  const fs::path runtime = Folder(temp / "runtime", fs::perms::owner_all);
  for (const std::string& spelling : {runtime.string(), runtime.string() + "//"}) {
    SCOPED_TRACE(spelling);
    setenv("XDG_RUNTIME_DIR", spelling.c_str(), 1);
    {
      InstanceGuard guard(kInstanceGuardName);
      EXPECT_TRUE(guard.Acquired());
      EXPECT_EQ(guard.LockFilePath(), (runtime / LockName()).string());
      EXPECT_TRUE(fs::exists(runtime / LockName()));
    }
    EXPECT_FALSE(fs::exists(runtime / LockName())) << "the lock outlived its guard";
  }
  EXPECT_FALSE(fs::exists(PerUserFolder()));
}

TEST_F(InstanceGuardFolder, WithoutARuntimeFolderAPerUserFolderIsMadeForTheLockWhateverTheUmask) {
  for (const mode_t mask : {mode_t{022}, mode_t{0}, mode_t{0277}}) {
    SCOPED_TRACE("umask " + std::to_string(mask));
    fs::remove_all(PerUserFolder());
    const mode_t before = umask(mask);
    {
      InstanceGuard guard(kInstanceGuardName);
      EXPECT_TRUE(guard.Acquired());
      EXPECT_EQ(guard.LockFilePath(), (PerUserFolder() / LockName()).string());
      EXPECT_TRUE(fs::exists(PerUserFolder() / LockName()));
    }
    umask(before);
    EXPECT_EQ(ModeOf(PerUserFolder()), fs::perms::owner_all);
    // Made once, used again.
    InstanceGuard again(kInstanceGuardName);
    EXPECT_EQ(again.LockFilePath(), (PerUserFolder() / LockName()).string());
  }
}

TEST_F(InstanceGuardFolder, ARuntimeFolderOthersCouldWriteToOrThatIsNoFolderIsPassedOver) {
  const fs::path mine = Folder(temp / "mine", fs::perms::owner_all);
  fs::create_directory_symlink(mine, temp / "link");
  Folder(temp / "open", fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  Folder(temp / "group", fs::perms::owner_all | fs::perms::group_exec);
  WriteFile(temp / "file", "x");
  const bool canGiveAway = MakeOthersFolder(temp / "theirs");
  struct Case {
    const char* how;
    std::string named;  // what XDG_RUNTIME_DIR names
    fs::path watched;   // where no lock may appear
  };
  const std::vector<Case> cases = {
      {"a link to a private folder", temp / "link", mine},
      {"the same link with a trailing slash", (temp / "link").string() + "/", mine},
      {"mode 0705", temp / "open", temp / "open"},
      {"mode 0710", temp / "group", temp / "group"},
      {"a plain file", temp / "file", temp / "nothing"},
      {"missing", temp / "missing", temp / "missing"},
      {"another user's private folder", temp / "theirs", temp / "theirs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    if (c.watched == temp / "theirs" && !canGiveAway) continue;
    setenv("XDG_RUNTIME_DIR", c.named.c_str(), 1);
    InstanceGuard guard(kInstanceGuardName);
    EXPECT_TRUE(guard.Acquired());
    EXPECT_EQ(guard.LockFilePath(), (PerUserFolder() / LockName()).string());
    EXPECT_TRUE(Listing(c.watched).empty()) << "a lock was written in " << c.watched;
  }
  if (!canGiveAway) GTEST_SKIP() << "cannot make a folder of uid " << kNobody;
}

// ---- nothing planted is used ----

TEST_F(InstanceGuardFolder, APlantedPerUserFolderIsNeverUsedAndTheToolRunsUnguarded) {
  const bool canGiveAway = MakeOthersFolder(temp / "theirs");
  const fs::path mine = Folder(temp / "mine", fs::perms::owner_all);
  const fs::path own = PerUserFolder();
  struct Case {
    const char* how;
    std::function<void()> plant;
    fs::path watched;  // where no lock may appear
  };
  const std::vector<Case> cases = {
      {"another user's folder", [&] { MakeOthersFolder(own); }, own},
      {"ours with mode 0777", [&] { Folder(own, fs::perms::all); }, own},
      {"ours with mode 0750",
       [&] { Folder(own, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec); },
       own},
      {"a link to another user's private folder",
       [&] { fs::create_directory_symlink(temp / "theirs", own); }, temp / "theirs"},
      {"a link to a private folder of ours", [&] { fs::create_directory_symlink(mine, own); },
       mine},
      {"a plain file", [&] { WriteFile(own, "planted"); }, temp / "nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    if (!canGiveAway && std::string(c.how).find("another user") != std::string::npos) continue;
    fs::remove_all(own);
    c.plant();
    {
      InstanceGuard guard(kInstanceGuardName);
      EXPECT_TRUE(guard.Acquired()) << "a planted folder stopped the tool";
      EXPECT_EQ(guard.LockFilePath(), "");
      // Nor does a second copy then find anything to refuse it.
      EXPECT_TRUE(InstanceGuard(kInstanceGuardName).Acquired());
    }
    EXPECT_TRUE(Listing(c.watched).empty()) << "a lock was written in " << c.watched;
    if (fs::is_regular_file(fs::symlink_status(own))) {
      EXPECT_EQ(ReadFile(own), "planted");
    }
  }
  if (!canGiveAway) GTEST_SKIP() << "cannot make a folder of uid " << kNobody;
}

// ---- one copy at a time ----

struct Copy {
  pid_t pid = -1;
  int release = -1;  // closed to let the copy end normally
};

// Another copy of the tool: takes the guard and reports whether it got it
// ("held" or "refused"), then keeps it until released or killed.
Copy StartCopy(std::string& answer) {
  int report[2];
  int release[2];
  if (pipe(report) != 0 || pipe(release) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  Copy copy;
  copy.pid = fork();
  if (copy.pid == 0) {
    close(report[0]);
    close(release[1]);
    alarm(60);
    {
      InstanceGuard guard(kInstanceGuardName);
      WriteAll(report[1], guard.Acquired() ? "held" : "refused");
      close(report[1]);
      ReadAll(release[0]);
    }
    _exit(0);
  }
  close(report[1]);
  close(release[0]);
  answer = ReadAll(report[0]);
  close(report[0]);
  copy.release = release[1];
  return copy;
}

TEST_F(InstanceGuardFolder, ASecondCopyIsRefusedWhileTheFirstRuns) {
  {
    SCOPED_TRACE("two guards in one process");
    InstanceGuard first(kInstanceGuardName);
    ASSERT_TRUE(first.Acquired());
    InstanceGuard second(kInstanceGuardName);
    EXPECT_FALSE(second.Acquired());
    EXPECT_EQ(second.LockFilePath(), first.LockFilePath());
  }
  {
    SCOPED_TRACE("another process holds it");
    std::string answer;
    Copy copy = StartCopy(answer);
    ASSERT_EQ(answer, "held");
    EXPECT_FALSE(InstanceGuard(kInstanceGuardName).Acquired());
    close(copy.release);
    EXPECT_TRUE(WaitFor(copy.pid).Succeeded());
    EXPECT_FALSE(fs::exists(PerUserFolder() / LockName()));
    EXPECT_TRUE(InstanceGuard(kInstanceGuardName).Acquired()) << "its end did not free the guard";
  }
  {
    SCOPED_TRACE("this process holds it");
    InstanceGuard mine(kInstanceGuardName);
    ASSERT_TRUE(mine.Acquired());
    std::string answer;
    Copy copy = StartCopy(answer);
    EXPECT_EQ(answer, "refused");
    close(copy.release);
    WaitFor(copy.pid);
  }
}

TEST_F(InstanceGuardFolder, TheStaleLockOfAKilledCopyIsTakenOver) {
  std::string answer;
  Copy copy = StartCopy(answer);
  ASSERT_EQ(answer, "held");
  kill(copy.pid, SIGKILL);
  EXPECT_TRUE(WaitFor(copy.pid).Killed());
  close(copy.release);
  ASSERT_TRUE(fs::exists(PerUserFolder() / LockName())) << "nothing was left to take over";

  InstanceGuard next(kInstanceGuardName);
  EXPECT_TRUE(next.Acquired()) << "a crashed copy blocks the next start";
  EXPECT_EQ(next.LockFilePath(), (PerUserFolder() / LockName()).string());
  // And it really holds it now.
  std::string third;
  Copy after = StartCopy(third);
  EXPECT_EQ(third, "refused");
  close(after.release);
  WaitFor(after.pid);
}

}  // namespace
}  // namespace mivotra::test::faults
