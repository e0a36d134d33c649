// SIGKILL in the middle of an update. The moment is picked by watching what
// the run leaves on disk (the rollback journal, the unnamed backup being
// written) or by a hook in the screen, never by a fixed sleep. Afterwards the
// database is sound and wholly at 1.06 or wholly at 1.07, and the next run
// behaves as that version says.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <optional>

#include "PatchProgram.h"
#include "Processes.h"
#include "RawDatabase.h"
#include "ScreenHooks.h"
#include "SessionFixture.h"
#include "res/Texts.h"
#include "update/PatchSession.h"

namespace mivotra::test::faults {
namespace {

const std::string kPassword = "p;w'd \"x\"";

// Samples made once for the whole file: a large one whose patch takes over
// a second (2,000,000 rate rows, about 90 MB), and a smaller encrypted one
// for the kills at exact points. Each with the picture of itself and of its
// normal update.
struct Sample {
  fs::path file;
  std::string password;
  std::string before;  // Picture(file), for the encrypted one only
  std::string after;   // Picture of its normal update, patch times masked
};

class Samples {
 public:
  static Samples& Get() {
    static Samples samples;
    return samples;
  }
  Sample large;
  Sample small;

 private:
  Samples() {
    large = Make("large.mdb", 2'000'000, "");
    small = Make("small.mdb", 200'000, kPassword);
  }

  Sample Make(const std::string& name, long rows, const std::string& password) {
    Sample sample;
    sample.file = m_dir / name;
    sample.password = password;
    MakeSampleDatabase(sample.file, {.kumiRows = rows, .password = password});
    if (!password.empty()) sample.before = Picture(sample.file, password);
    // The reference update: the same session a user runs, on a copy.
    const fs::path folder = m_dir / ("reference-" + name);
    fs::create_directories(folder);
    const fs::path copy = folder / name;
    fs::copy_file(sample.file, copy);
    HookScreen screen;
    FakeProbe probe;
    PatchSession session(screen, probe);
    session.Database().Target().Password = password;
    session.ConnectChosenFile(copy.string());
    if (!session.OnRunUpdate()) throw std::runtime_error("the reference update failed");
    session.Database().Disconnect();
    sample.after = Picture(copy, password, true);
    return sample;
  }

  TempDir m_dir;
};

class CrashFixture : public ::testing::Test {
 protected:
  // A fresh copy of a sample in this test's folder.
  fs::path CopyOf(const Sample& sample, const std::string& name = "data1.mdb") {
    const fs::path copy = dir / name;
    fs::copy_file(sample.file, copy);
    return copy;
  }

  TempDir dir;
};

// ---- kills of the console program, watched through the rollback journal ----

// What the watcher has seen of the journal so far.
struct JournalWatch {
  fs::path journal;
  long long databaseSize = 0;
  long long last = -2;
  int steadyPolls = 0;
  bool seen = false;

  void Poll() {
    const long long size = SizeOf(journal);
    if (size > 0) seen = true;
    steadyPolls = size == last ? steadyPolls + 1 : 0;
    last = size;
  }
};

enum class Expect { V106, V107, Either };

struct KillMoment {
  const char* name;
  std::function<bool(JournalWatch&)> condition;
  Expect expect;
  bool mustLand;      // the process must still run when it is killed
  bool leavesWrites;  // the database file itself was written before the kill
};

const std::vector<KillMoment>& KillMoments() {
  static const std::vector<KillMoment> moments = {
      {"early: the journal has just appeared (first new table)",
       [](JournalWatch& w) { return w.last > 0; }, Expect::V106, true, false},
      {"middle: the journal holds half the database (the rate corrections)",
       [](JournalWatch& w) { return w.last >= w.databaseSize / 2; }, Expect::V106, true, true},
      {"late: the journal holds nearly all of it (the rate corrections end)",
       [](JournalWatch& w) { return w.last >= w.databaseSize / 10 * 9; }, Expect::V106, true, true},
      // Only the commit leaves the journal alone for a while, and it may end
      // before ten polls.
      {"very late: the journal stopped growing (version row, comments, commit)",
       [](JournalWatch& w) { return w.last >= w.databaseSize / 10 * 9 && w.steadyPolls >= 10; },
       Expect::Either, false, false},
      {"after the commit: the journal is gone again",
       [](JournalWatch& w) { return w.seen && w.last < 0; }, Expect::V107, false, false},
  };
  return moments;
}

class ConsoleKill : public CrashFixture, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(ConsoleKill, LeavesTheDatabaseWhollyAtOneVersionAndTheNextRunFollowsIt) {
  const Sample& sample = Samples::Get().large;
  const KillMoment& moment = KillMoments()[GetParam()];
  SCOPED_TRACE(moment.name);
  const fs::path database = CopyOf(sample);
  JournalWatch watch{fs::path(database.string() + "-journal"), SizeOf(database)};

  const ProgramRun run = StartPatch(dir.path(), {"--database", database.string()}, "killed");
  const bool reached = PollUntil(run.pid, [&] {
    watch.Poll();
    return moment.condition(watch);
  });
  kill(run.pid, SIGKILL);
  const Outcome outcome = WaitFor(run.pid);
  if (moment.mustLand) {
    ASSERT_TRUE(reached) << "the run ended before the moment came\n" << ReadFile(run.err);
    ASSERT_TRUE(outcome.Killed()) << "the run ended before the kill";
  } else {
    ASSERT_TRUE(reached || outcome.Succeeded()) << ReadFile(run.err);
  }

  // Far enough in, changed pages have gone to the file itself (the page
  // cache is a few MB), so only the journal can bring 1.06 back.
  const bool written = !SameBytes(database, sample.file);
  if (moment.leavesWrites) {
    EXPECT_TRUE(written) << "the kill came before anything reached the file";
  }
  std::printf("  killed: %s; database file written before recovery: %s\n",
              outcome.Killed() ? "yes" : "no, it had ended", written ? "yes" : "no");

  // The backup was complete before the patch began.
  ASSERT_TRUE(fs::is_regular_file(BackupOf(database)));
  EXPECT_TRUE(SameBytes(BackupOf(database), sample.file));

  // Sound, and wholly one version or the other.
  EXPECT_EQ(IntegrityCheck(database), "ok");
  EXPECT_TRUE(NoHotJournal(database));
  const std::string version = VersionOf(database);
  std::printf("  version after recovery: %s\n", version.c_str());
  if (moment.expect == Expect::V106) {
    EXPECT_EQ(version, "1.06");
  } else if (moment.expect == Expect::V107) {
    EXPECT_EQ(version, "1.07");
  }
  if (version == "1.06") {
    EXPECT_TRUE(SameBytes(database, sample.file)) << "not wholly at 1.06";
  } else {
    ASSERT_EQ(version, "1.07");
    EXPECT_EQ(Picture(database, "", true), sample.after) << "not wholly at 1.07";
  }

  // The next run takes over the dead run's instance lock and goes by the version.
  const Finished next = RunPatch(dir.path(), {"--database", database.string()}, "next");
  EXPECT_EQ(next.outcome.code, 1) << next.err;
  if (version == "1.06") {
    EXPECT_NE(next.err.find(ConsoleBox(texts::UpdateDateLabel, texts::M3BackupNotice) +
                            ConsoleBox(texts::UpdateDateLabel, texts::M4BackupExists)),
              std::string::npos)
        << next.err;
    EXPECT_TRUE(SameBytes(database, sample.file));
  } else {
    EXPECT_NE(next.err.find("現在のデータベースバージョンは「 1.07 」です。"), std::string::npos)
        << next.err;
  }
}

std::string MomentName(const ::testing::TestParamInfo<std::size_t>& info) {
  static const char* const names[] = {"Early", "Middle", "Late", "VeryLate", "AfterCommit"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Moments, ConsoleKill, ::testing::Range<std::size_t>(0, 5), MomentName);

TEST_F(CrashFixture, AfterAKilledPatchAndTheBackupMovedAwayAFullUpdateSucceeds) {
  const Sample& sample = Samples::Get().large;
  const fs::path database = CopyOf(sample);
  JournalWatch watch{fs::path(database.string() + "-journal"), SizeOf(database)};
  const ProgramRun run = StartPatch(dir.path(), {"--database", database.string()}, "killed");
  ASSERT_TRUE(PollUntil(run.pid, [&] {
    watch.Poll();
    return watch.last >= watch.databaseSize / 2;
  }));
  kill(run.pid, SIGKILL);
  ASSERT_TRUE(WaitFor(run.pid).Killed());

  // What the user does after M4: give the old backup another name.
  fs::rename(BackupOf(database), BackupOf(database).string() + ".old");
  const Finished next = RunPatch(dir.path(), {"--database", database.string()}, "next");
  EXPECT_EQ(next.outcome.code, 0) << next.err;
  EXPECT_NE(next.err.find(
                ConsoleBox(std::string(texts::UpdateDateLabel) + "更新", texts::UpdateFinished)),
            std::string::npos)
      << next.err;
  EXPECT_EQ(IntegrityCheck(database), "ok");
  EXPECT_EQ(Picture(database, "", true), sample.after);
  // The new backup is the database as the killed run left it: 1.06 exactly.
  EXPECT_TRUE(SameBytes(BackupOf(database), sample.file));
}

// ---- a kill of the console program while the backup is being written ----

// The size of the unnamed file the copy writes in `folder`, or -1.
long long UnnamedCopySize(pid_t pid, const fs::path& folder) {
  for (const auto& file : OpenFilesIn(pid, folder)) {
    if (file.target.find("(deleted)") != std::string::npos) return SizeOf(file.descriptor);
  }
  return -1;
}

TEST_F(CrashFixture, AKillDuringTheBackupCopyLeavesNoFileAndANewRunWorks) {
  const Sample& sample = Samples::Get().large;
  const fs::path database = CopyOf(sample);
  const fs::path folder = database.parent_path() / BackupFolderName();
  const long long size = SizeOf(database);

  const ProgramRun run = StartPatch(dir.path(), {"--database", database.string()}, "killed");
  long long copied = -1;
  const bool reached = PollUntil(run.pid, [&] {
    copied = UnnamedCopySize(run.pid, folder);
    return copied > 0 && copied < size / 2;
  });
  kill(run.pid, SIGKILL);
  const Outcome outcome = WaitFor(run.pid);
  ASSERT_TRUE(reached) << "the copy was never seen half done\n" << ReadFile(run.err);
  ASSERT_TRUE(outcome.Killed());

  // Neither the backup's name nor a temporary file; the database as it was.
  ASSERT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_FALSE(fs::exists(database.string() + "-journal"));
  EXPECT_TRUE(SameBytes(database, sample.file));

  const Finished next = RunPatch(dir.path(), {"--database", database.string()}, "next");
  EXPECT_EQ(next.outcome.code, 0) << next.err;
  EXPECT_TRUE(SameBytes(BackupOf(database), sample.file));
  EXPECT_EQ(Picture(database, "", true), sample.after);
}

// ---- kills at exact points of the patch, through the screen's progress ----

// Runs the update of `database` in a child that stops at the given progress
// position and is killed there.
Outcome KillAtProgress(const fs::path& database, const std::string& password, int position) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    HookScreen screen;
    FakeProbe probe;
    screen.onAdvance = [&](int reached) {
      if (reached != position) return;
      WriteAll(fds[1], "k");
      for (;;) pause();
    };
    PatchSession session(screen, probe);
    session.Database().Target().Password = password;
    session.ConnectChosenFile(database.string());
    session.OnRunUpdate();
    _exit(2);  // never stopped: the test proves nothing
  }
  close(fds[1]);
  char signal = 0;
  const bool stopped = read(fds[0], &signal, 1) == 1;
  close(fds[0]);
  if (stopped) kill(child, SIGKILL);
  return WaitFor(child);
}

TEST_F(CrashFixture, KillsAtEachProgressPointLeaveVersion106AndTheProgramRecoversIt) {
  const Sample& sample = Samples::Get().small;
  const struct {
    int position;
    const char* moment;
  } points[] = {
      {1, "both new tables made"},
      {2, "the rate table corrected"},
      {3, "every statement run, the commit not yet made"},
  };
  for (const auto& point : points) {
    SCOPED_TRACE(point.moment);
    const fs::path database = CopyOf(sample, "data" + std::to_string(point.position) + ".mdb");
    ASSERT_TRUE(KillAtProgress(database, sample.password, point.position).Killed());
    ASSERT_TRUE(fs::exists(database.string() + "-journal")) << "killed with nothing to roll back";

    // The program itself is the first to open the file again.
    HookScreen screen;
    FakeProbe probe;
    PatchSession session(screen, probe);
    session.Database().Target().Password = sample.password;
    session.ConnectChosenFile(database.string());
    ASSERT_TRUE(session.Database().IsConnected()) << screen.caption;
    EXPECT_FALSE(session.OnRunUpdate());
    EXPECT_EQ(MessageTexts(screen), (std::vector<std::string>{std::string(texts::M3BackupNotice),
                                                              std::string(texts::M4BackupExists)}));
    EXPECT_TRUE(NoHotJournal(database));
    EXPECT_EQ(IntegrityCheck(database, sample.password), "ok");
    // Pages put back are encrypted anew, so the file's bytes differ while its content does not.
    EXPECT_EQ(Picture(database, sample.password), sample.before) << "not wholly at 1.06";
    EXPECT_TRUE(SameBytes(BackupOf(database), sample.file));

    fs::rename(BackupOf(database), BackupOf(database).string() + ".old");
    screen.Clear();
    EXPECT_TRUE(session.OnRunUpdate()) << screen.Messages().back().text;
    session.Database().Disconnect();
    EXPECT_EQ(Picture(database, sample.password, true), sample.after);
  }
}

}  // namespace
}  // namespace mivotra::test::faults
