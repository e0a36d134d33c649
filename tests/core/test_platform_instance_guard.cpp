// The single-instance lock lives only in a folder no other user can write
// to: the private runtime folder, else a per-user folder in the temp folder.
// Anything another user could have planted there is passed over, and the
// tool then runs unguarded rather than blocked. TMPDIR points at a test
// folder throughout, so the real temp folder is never touched.

#include <gtest/gtest.h>

#include <optional>

#include "platform/InstanceGuard.h"
#include "test_faults_support.h"

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

// A private folder owned by another user, for planting; false where this
// user cannot give a folder away.
bool MakeOthersFolder(const fs::path& folder) {
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms::owner_all);
  return chown(folder.c_str(), kNobody, kNobody) == 0;
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
  const fs::path runtime = temp / "runtime";
  fs::create_directory(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
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
  const fs::path mine = temp / "mine";
  fs::create_directory(mine);
  fs::permissions(mine, fs::perms::owner_all);
  const bool canGiveAway = MakeOthersFolder(temp / "theirs");
  struct Case {
    const char* how;
    std::function<fs::path()> make;  // returns what XDG_RUNTIME_DIR names
    fs::path watched;                // where no lock may appear
  };
  const std::vector<Case> cases = {
      {"a link to a private folder",
       [&] {
         fs::create_directory_symlink(mine, temp / "rt-link");
         return temp / "rt-link";
       },
       mine},
      {"the same link with a trailing slash",
       [&] { return fs::path((temp / "rt-link").string() + "/"); }, mine},
      {"mode 0755",
       [&] {
         fs::create_directory(temp / "rt-open");
         fs::permissions(temp / "rt-open", fs::perms::owner_all | fs::perms::group_read |
                                               fs::perms::group_exec | fs::perms::others_read |
                                               fs::perms::others_exec);
         return temp / "rt-open";
       },
       temp / "rt-open"},
      {"mode 0710",
       [&] {
         fs::create_directory(temp / "rt-group");
         fs::permissions(temp / "rt-group", fs::perms::owner_all | fs::perms::group_exec);
         return temp / "rt-group";
       },
       temp / "rt-group"},
      {"a plain file",
       [&] {
         WriteFile(temp / "rt-file", "x");
         return temp / "rt-file";
       },
       temp / "nothing"},
      {"missing", [&] { return temp / "rt-missing"; }, temp / "rt-missing"},
  };
  auto check = [&](const fs::path& named, const fs::path& watched) {
    setenv("XDG_RUNTIME_DIR", named.c_str(), 1);
    InstanceGuard guard(kInstanceGuardName);
    EXPECT_TRUE(guard.Acquired());
    EXPECT_EQ(guard.LockFilePath(), (PerUserFolder() / LockName()).string());
    EXPECT_TRUE(Listing(watched).empty()) << "a lock was written in " << watched;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    const fs::path named = c.make();
    check(named, c.watched);
  }
  if (!canGiveAway) GTEST_SKIP() << "cannot make a folder of uid " << kNobody;
  SCOPED_TRACE("another user's private folder");
  check(temp / "theirs", temp / "theirs");
}

// ---- nothing planted is used ----

TEST_F(InstanceGuardFolder, APlantedPerUserFolderIsNeverUsedAndTheToolRunsUnguarded) {
  const bool canGiveAway = MakeOthersFolder(temp / "theirs");
  struct Case {
    const char* how;
    bool needsAnotherUser;
    std::function<void(const fs::path&)> plant;
    fs::path watched;  // where no lock may appear
  };
  const fs::path own = PerUserFolder();
  const std::vector<Case> cases = {
      {"owned by another user", true,
       [](const fs::path& at) {
         fs::create_directory(at);
         fs::permissions(at, fs::perms::owner_all);
         if (chown(at.c_str(), kNobody, kNobody) != 0) throw std::runtime_error("chown");
       },
       own},
      {"ours with mode 0777", false,
       [](const fs::path& at) {
         fs::create_directory(at);
         fs::permissions(at, fs::perms::all);
       },
       own},
      {"ours with mode 0750", false,
       [](const fs::path& at) {
         fs::create_directory(at);
         fs::permissions(at, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
       },
       own},
      {"a link to another user's private folder", true,
       [&](const fs::path& at) { fs::create_directory_symlink(temp / "theirs", at); },
       temp / "theirs"},
      {"a link to a private folder of ours", false,
       [&](const fs::path& at) {
         fs::create_directory(temp / "mine");
         fs::permissions(temp / "mine", fs::perms::owner_all);
         fs::create_directory_symlink(temp / "mine", at);
       },
       temp / "mine"},
      {"a plain file", false, [](const fs::path& at) { WriteFile(at, "planted"); }, temp / "none"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    if (c.needsAnotherUser && !canGiveAway) continue;
    fs::remove_all(own);
    c.plant(own);
    {
      InstanceGuard guard(kInstanceGuardName);
      EXPECT_TRUE(guard.Acquired()) << "a planted folder stopped the tool";
      EXPECT_EQ(guard.LockFilePath(), "");
      // Nor does a second copy then find anything to refuse it.
      InstanceGuard second(kInstanceGuardName);
      EXPECT_TRUE(second.Acquired());
    }
    if (fs::is_directory(c.watched)) {
      EXPECT_TRUE(Listing(c.watched).empty()) << "a lock was written in " << c.watched;
    }
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
