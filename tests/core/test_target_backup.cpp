// The backup copy on real files: what it makes, and what it leaves alone.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CopyFile.h"
#include "TestSupport.h"
#include "target/BackupCopy.h"

namespace mivotra {
namespace {

namespace fs = std::filesystem;
using test::Listing;
using test::ReadFile;
using test::RecordingScreen;
using test::ScreenEvent;
using test::TempDir;
using test::WriteFile;

using test::MiB;

int EndCount(const RecordingScreen& screen) {
  return static_cast<int>(
      std::count_if(screen.events.begin(), screen.events.end(),
                    [](const auto& e) { return e.kind == ScreenEvent::CopyProgressEnd; }));
}

// Records every progress report and can act in the middle of a copy.
class ProgressScreen : public RecordingScreen {
 public:
  bool ShowCopyProgress(std::uint64_t copied, std::uint64_t total) override {
    reports.emplace_back(copied, total);
    if (onProgress) onProgress(copied);
    return RecordingScreen::ShowCopyProgress(copied, total);
  }
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
  std::function<void(std::uint64_t)> onProgress;
};

class BackupCopy : public testing::Test {
 protected:
  bool Copy(const fs::path& source, const fs::path& destination, ProgressScreen& screen,
            std::string* reason = nullptr) {
    return test::CopyFile(source, destination, screen, reason);
  }

  TempDir dir;
};

TEST_F(BackupCopy, KeepsContentPermissionsAndModificationTime) {
  const fs::path source = dir / "data.mdb";
  const std::string content = test::RandomBytes(5 * MiB + 123);
  WriteFile(source, content);
  ASSERT_EQ(chmod(source.c_str(), 0640), 0);
  const struct timespec times[2] = {{1257734096, 111111111}, {1257734096, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);

  fs::create_directory(dir / "データベース更新前データ");
  const fs::path backup = dir / "データベース更新前データ" / "dataver_1_06backup.mdb";
  ProgressScreen screen;
  std::string reason = "stale";
  ASSERT_TRUE(Copy(source, backup, screen, &reason)) << reason;
  EXPECT_EQ(reason, "");

  EXPECT_TRUE(ReadFile(backup) == content);
  struct stat copy = {};
  ASSERT_EQ(stat(backup.c_str(), &copy), 0);
  EXPECT_EQ(copy.st_mode & 07777, 0640u);
  EXPECT_EQ(copy.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(copy.st_mtim.tv_nsec, times[1].tv_nsec);
  EXPECT_EQ(Listing(backup.parent_path()), std::set<std::string>{backup.filename()});
  EXPECT_TRUE(ReadFile(source) == content) << "the source changed";

  // One report before the first byte, one per chunk, the last at the size.
  const std::uint64_t total = content.size();
  ASSERT_EQ(screen.reports.size(), 7u);
  EXPECT_EQ(screen.reports.front(), std::make_pair(std::uint64_t{0}, total));
  EXPECT_EQ(screen.reports.back(), std::make_pair(total, total));
  for (std::size_t i = 1; i < screen.reports.size(); ++i) {
    EXPECT_GT(screen.reports[i].first, screen.reports[i - 1].first);
    EXPECT_EQ(screen.reports[i].second, total);
  }
  EXPECT_EQ(EndCount(screen), 1);
}

TEST_F(BackupCopy, EmptyFileGivesEmptyCopy) {
  WriteFile(dir / "empty.mdb", "");
  ProgressScreen screen;
  ASSERT_TRUE(Copy(dir / "empty.mdb", dir / "copy.mdb", screen));
  EXPECT_EQ(fs::file_size(dir / "copy.mdb"), 0u);
  EXPECT_EQ(screen.reports, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, 0}}));
}

TEST_F(BackupCopy, CancelLeavesNothingBehind) {
  for (std::uint64_t cancelAt : {std::uint64_t{0}, 2 * MiB, 4 * MiB}) {
    SCOPED_TRACE(cancelAt);
    TempDir here;
    WriteFile(here / "data.mdb", test::RandomBytes(4 * MiB));
    ProgressScreen screen;
    screen.cancelCopyAfterBytes = cancelAt;
    std::string reason;
    EXPECT_FALSE(Copy(here / "data.mdb", here / "copy.mdb", screen, &reason));
    EXPECT_EQ(reason, "cancelled");
    EXPECT_EQ(Listing(here.path()), std::set<std::string>{"data.mdb"});
    EXPECT_EQ(EndCount(screen), 1);
    EXPECT_LE(screen.reports.back().first, cancelAt);
  }
}

// Whatever already has the name stays exactly as it was.
TEST_F(BackupCopy, NeverReplacesWhatIsAtTheName) {
  const fs::path source = dir / "data.mdb";
  WriteFile(source, test::RandomBytes(MiB + 7));
  WriteFile(dir / "target.txt", "target");

  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    std::function<void(const fs::path&)> check;
  } cases[] = {
      {"file", [](const fs::path& p) { WriteFile(p, "old backup"); },
       [](const fs::path& p) { EXPECT_EQ(ReadFile(p), "old backup"); }},
      {"symbolic link", [&](const fs::path& p) { fs::create_symlink(dir / "target.txt", p); },
       [&](const fs::path& p) {
         EXPECT_EQ(fs::read_symlink(p), dir / "target.txt");
         EXPECT_EQ(ReadFile(dir / "target.txt"), "target");
       }},
      {"dangling symbolic link", [&](const fs::path& p) { fs::create_symlink(dir / "nowhere", p); },
       [&](const fs::path& p) {
         EXPECT_EQ(fs::read_symlink(p), dir / "nowhere");
         EXPECT_FALSE(fs::exists(dir / "nowhere"));
       }},
      {"folder", [](const fs::path& p) { fs::create_directory(p); },
       [](const fs::path& p) { EXPECT_TRUE(fs::is_empty(p)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path backup = dir / "backup.mdb";
    c.make(backup);
    const auto before = Listing(dir.path());
    ProgressScreen screen;
    std::string reason;
    EXPECT_FALSE(Copy(source, backup, screen, &reason));
    EXPECT_NE(reason.find("File exists"), std::string::npos) << reason;
    c.check(backup);
    EXPECT_TRUE(screen.reports.empty()) << "a name known to be taken is refused before copying";
    EXPECT_EQ(Listing(dir.path()), before);
    EXPECT_EQ(EndCount(screen), 1);
    fs::remove(backup);
  }
}

// The name checked at the start can be taken while the copy runs.
TEST_F(BackupCopy, ANameTakenDuringTheCopyIsNotReplaced) {
  WriteFile(dir / "data.mdb", test::RandomBytes(3 * MiB));
  const fs::path backup = dir / "backup.mdb";
  ProgressScreen screen;
  screen.onProgress = [&](std::uint64_t copied) {
    if (copied >= MiB && !fs::exists(backup)) WriteFile(backup, "someone else");
  };
  std::string reason;
  EXPECT_FALSE(Copy(dir / "data.mdb", backup, screen, &reason));
  EXPECT_NE(reason.find("File exists"), std::string::npos) << reason;
  EXPECT_EQ(ReadFile(backup), "someone else");
  EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"backup.mdb", "data.mdb"}));
}

// A backup of a file that changed half-way would be neither the old nor the
// new state.
TEST_F(BackupCopy, ASourceThatChangesOrVanishesIsAFailure) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> change;
  } cases[] = {
      {"truncated", [](const fs::path& p) { fs::resize_file(p, MiB / 2); }},
      {"grown", [](const fs::path& p) { fs::resize_file(p, 5 * MiB); }},
      {"removed", [](const fs::path& p) { fs::remove(p); }},
      {"rewritten in place",
       [](const fs::path& p) {
         const int fd = open(p.c_str(), O_WRONLY);
         ASSERT_EQ(pwrite(fd, "x", 1, 0), 1);
         const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
         futimens(fd, later);
         close(fd);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir here;
    const fs::path source = here / "data.mdb";
    WriteFile(source, test::RandomBytes(3 * MiB));
    ProgressScreen screen;
    bool changed = false;
    screen.onProgress = [&](std::uint64_t copied) {
      if (copied >= MiB && !changed) {
        changed = true;
        c.change(source);
      }
    };
    std::string reason;
    EXPECT_FALSE(Copy(source, here / "copy.mdb", screen, &reason));
    EXPECT_NE(reason.find("changed or vanished"), std::string::npos) << reason;
    EXPECT_FALSE(fs::exists(here / "copy.mdb"));
    auto names = Listing(here.path());
    names.erase("data.mdb");
    EXPECT_TRUE(names.empty()) << *names.begin();
  }
}

// A byte changed behind the copy with the file's size and times put back
// passes every look at the file's status; only the comparison finds it.
TEST_F(BackupCopy, AChangeThatKeepsSizeAndTimesIsFoundByTheComparison) {
  const fs::path source = dir / "data.mdb";
  const std::string content = test::RandomBytes(3 * MiB);
  WriteFile(source, content);
  struct stat before = {};
  ASSERT_EQ(stat(source.c_str(), &before), 0);
  ProgressScreen screen;
  screen.onProgress = [&](std::uint64_t copied) {
    if (copied != content.size()) return;
    const int fd = open(source.c_str(), O_WRONLY);
    ASSERT_EQ(pwrite(fd, content[MiB] == 'x' ? "y" : "x", 1, MiB + 7), 1);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(futimens(fd, times), 0);
    close(fd);
  };
  std::string reason;
  EXPECT_FALSE(Copy(source, dir / "copy.mdb", screen, &reason));
  EXPECT_NE(reason.find("the copy differs from " + source.string() + " after byte 1048576"),
            std::string::npos)
      << reason;
  EXPECT_EQ(Listing(dir.path()), std::set<std::string>{"data.mdb"});
}

// Only the copy's own leftovers go: hidden temporaries of this user that no
// running copy holds.
TEST_F(BackupCopy, TemporariesLeftByAKilledCopyAreRemovedAndNothingElse) {
  const fs::path source = dir / "data.mdb";
  WriteFile(source, test::RandomBytes(MiB));
  fs::create_directory(dir / "backup");
  const fs::path stale = dir / "backup" / ".mivotra-copy-00000000deadbeef.tmp";
  const fs::path held = dir / "backup" / ".mivotra-copy-00000000cafef00d.tmp";
  const fs::path foreign = dir / "backup" / ".mivotra-copy-0000000012345678.tmp";
  const fs::path lookalike = dir / "backup" / ".mivotra-copy-notes.txt";
  for (const auto& file : {stale, held, foreign, lookalike}) WriteFile(file, "partial copy");
  ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
  fs::create_symlink(source, dir / "backup" / ".mivotra-copy-00000000000link.tmp");
  // A running copy keeps a lock on its temporary.
  const int holder = open(held.c_str(), O_RDONLY);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    // The lock stays with the child's inherited descriptor once the parent closes its own.
    close(ready[0]);
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(holder);

  ProgressScreen screen;
  std::string reason;
  ASSERT_TRUE(Copy(source, dir / "backup" / "copy.mdb", screen, &reason)) << reason;
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(Listing(dir / "backup"),
            (std::set<std::string>{"copy.mdb", held.filename(), foreign.filename(),
                                   lookalike.filename(), ".mivotra-copy-00000000000link.tmp"}));
  EXPECT_EQ(ReadFile(source).size(), MiB) << "the link's target is left alone";
}

TEST_F(BackupCopy, UnusablePathsFailAndCreateNothing) {
  WriteFile(dir / "data.mdb", "data");
  WriteFile(dir / "plain", "a file, not a folder");
  fs::create_directory(dir / "folder");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::string d = dir.path().string();

  struct Case {
    std::string source;
    std::string destination;
  } cases[] = {
      {d + "/missing.mdb", d + "/copy.mdb"},
      {d + "/folder", d + "/copy.mdb"},
      {d + "/fifo", d + "/copy.mdb"},
      {d + "/data.mdb", d + "/missing/copy.mdb"},
      {d + "/data.mdb", d + "/plain/copy.mdb"},
      {d + "/data.mdb", d + "/folder/"},
      {d + "/data.mdb", d + "/folder/.."},
      {d + "/data.mdb", d + "/copy.mdb" + std::string(1, '\0') + "x"},
      {d + "/data.mdb", d + "/" + std::string(300, 'n')},
  };
  const auto before = Listing(dir.path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source + " -> " + c.destination);
    ProgressScreen screen;
    std::string reason;
    EXPECT_FALSE(Copy(c.source, c.destination, screen, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(EndCount(screen), 1);
  }
  EXPECT_EQ(Listing(dir.path()), before);
  EXPECT_TRUE(fs::is_empty(dir / "folder"));
  EXPECT_EQ(ReadFile(dir / "plain"), "a file, not a folder");
}

}  // namespace
}  // namespace mivotra
