// Other processes on the same database: one that holds the write lock while
// the user presses Run, and one that tries to write while the backup is
// being copied. The first stops the run at once, as the main application
// would; the second waits for the update, and the backup is the database as
// it was when the copy began.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>

#include "DatabaseHelpers.h"
#include "PatchProgram.h"
#include "Processes.h"
#include "RawDatabase.h"
#include "ScreenHooks.h"
#include "SessionFixture.h"
#include "jet/ConnectionString.h"
#include "jet/Engine.h"
#include "res/Texts.h"
#include "target/BackupCopy.h"
#include "update/PatchSession.h"

namespace mivotra::test::faults {
namespace {

// ---- helper processes ----
// The other processes are this executable started again in a role, so they
// are fresh processes: SQLite's lock bookkeeping must not be shared through
// fork with the test's own open connection.

constexpr const char* kRoleVariable = "MIVOTRA_FAULTS_ROLE";

int EnvNumber(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::atoi(value) : -1;
}

// Our own engine in another process: BeginTrans (BEGIN IMMEDIATE), "held" on
// the report descriptor, then holds the lock until its release descriptor
// is closed.
int HoldWithEngine() {
  const fs::path file = std::getenv("FAULTS_FILE");
  const int report = EnvNumber("FAULTS_REPORT");
  const int release = EnvNumber("FAULTS_RELEASE");
  alarm(60);  // never outlive a broken test
  try {
    ConnectionPtr connection;
    if (CreateConnection(connection) != S_Ok) return 3;
    connection->Open(
        BuildConnectionString(file.parent_path().string() + "/", file.stem().string(), ""));
    connection->BeginTrans();
    WriteAll(report, "held\n");
    ReadAll(release);
    connection->RollbackTrans();
    connection->Close();
    return 0;
  } catch (const ComError& error) {
    WriteAll(report, "error: " + error.Description() + "\n");
    return 4;
  }
}

// A program that only has the database open, as an idle main application on
// a desktop without X11 windows would: no lock, no transaction.
int KeepOpen() {
  const fs::path file = std::getenv("FAULTS_FILE");
  const int report = EnvNumber("FAULTS_REPORT");
  const int release = EnvNumber("FAULTS_RELEASE");
  alarm(60);
  const int fd = open(file.c_str(), O_RDONLY);
  if (fd < 0) return 3;
  WriteAll(report, "held\n");
  ReadAll(release);
  close(fd);
  return 0;
}

struct Patience {
  int report;
  long long milliseconds;
  Clock::time_point start;
  bool told = false;
};

int BusyHandler(void* context, int) {
  auto& patience = *static_cast<Patience*>(context);
  if (!patience.told) {
    patience.told = true;
    WriteAll(patience.report, "waiting\n");
  }
  if (Clock::now() - patience.start > std::chrono::milliseconds(patience.milliseconds)) return 0;
  const struct timespec pause = {0, 2000000};
  nanosleep(&pause, nullptr);
  return 1;
}

// Another program that writes one row, through SQLite itself. It says
// "waiting" the first time it finds the database locked, and reports "ok"
// or the error it gave up with.
int WriteOneRow() {
  const fs::path file = std::getenv("FAULTS_FILE");
  Patience patience{EnvNumber("FAULTS_REPORT"), std::atoll(std::getenv("FAULTS_PATIENCE_MS")),
                    Clock::now()};
  alarm(60);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 3;
  sqlite3_busy_handler(db, BusyHandler, &patience);
  char* message = nullptr;
  const int rc = sqlite3_exec(
      db, "INSERT INTO t_sofu (SofuName, CreateDateTime) VALUES ('writer', '2020-01-01 00:00:00')",
      nullptr, nullptr, &message);
  // The monotonic clock is the same in every process: the test compares.
  const auto now =
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
  WriteAll(patience.report,
           rc == SQLITE_OK ? std::string("ok\n") : "error: " + std::string(message) + "\n");
  WriteAll(patience.report, std::to_string(now.count()) + "\n");
  sqlite3_free(message);
  sqlite3_close(db);
  return 0;
}

const int kRoleDispatch = [] {
  const char* role = std::getenv(kRoleVariable);
  if (!role) return 0;
  const std::string name = role;
  std::_Exit(name == "engine-lock" ? HoldWithEngine()
             : name == "writer"    ? WriteOneRow()
             : name == "open"      ? KeepOpen()
                                   : 2);
}();

struct Helper {
  pid_t pid = -1;
  int report = -1;   // the helper's reports
  int release = -1;  // closed to let it go
};

Helper StartRole(const std::string& role, const fs::path& file,
                 const std::vector<std::pair<std::string, std::string>>& settings = {}) {
  int reportPipe[2];
  int releasePipe[2];
  if (pipe(reportPipe) != 0 || pipe(releasePipe) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  Helper helper;
  helper.pid = fork();
  if (helper.pid == 0) {
    close(reportPipe[0]);
    close(releasePipe[1]);
    setenv(kRoleVariable, role.c_str(), 1);
    setenv("FAULTS_FILE", file.c_str(), 1);
    setenv("FAULTS_REPORT", std::to_string(reportPipe[1]).c_str(), 1);
    setenv("FAULTS_RELEASE", std::to_string(releasePipe[0]).c_str(), 1);
    for (const auto& [name, value] : settings) setenv(name.c_str(), value.c_str(), 1);
    execl("/proc/self/exe", "faults-helper", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(reportPipe[1]);
  close(releasePipe[0]);
  helper.report = reportPipe[0];
  helper.release = releasePipe[1];
  return helper;
}

// One line from the helper ("" when it ended without one).
std::string ReadLine(int fd) {
  std::string line;
  char c;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

Outcome Finish(Helper& helper) {
  if (helper.release >= 0) close(helper.release);
  helper.release = -1;
  const Outcome outcome = WaitFor(helper.pid);
  close(helper.report);
  return outcome;
}

// The sqlcipher shell holding BEGIN EXCLUSIVE until its input ends.
struct Shell {
  pid_t pid = -1;
  int in = -1;
  int out = -1;
};

Shell StartExclusiveShell(const fs::path& file) {
  int inPipe[2];
  int outPipe[2];
  if (pipe(inPipe) != 0 || pipe(outPipe) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  Shell shell;
  shell.pid = fork();
  if (shell.pid == 0) {
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    close(inPipe[1]);
    close(outPipe[0]);
    alarm(60);
    execlp("sqlcipher", "sqlcipher", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  shell.in = inPipe[1];
  shell.out = outPipe[0];
  WriteAll(shell.in, "BEGIN EXCLUSIVE;\nSELECT 'held';\n");
  return shell;
}

class OtherProcess : public SessionFixture {
 protected:
  void SetUp() override {
    SessionFixture::SetUp();
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  }
};

// ---- a write lock held by another process ----

// Any other process that has the database open or locked counts as the main
// application: the run stops at once with M1, touches nothing, and the
// console names the process.
TEST_F(OtherProcess, AProcessHoldingTheWriteLockStopsTheRunAtOnceAsTheMainApplicationWould) {
  enum class Holder { EngineImmediate, ShellExclusive, OpenOnly };
  for (const Holder holder : {Holder::EngineImmediate, Holder::ShellExclusive, Holder::OpenOnly}) {
    SCOPED_TRACE(holder == Holder::EngineImmediate  ? "our engine in BEGIN IMMEDIATE"
                 : holder == Holder::ShellExclusive ? "the sqlcipher shell in BEGIN EXCLUSIVE"
                                                    : "a program that only has it open");
    fs::remove_all(dir / BackupFolderName());
    fs::remove(database);
    screen = RecordingScreen{};
    StartWithSample();
    const std::string before = ReadFile(database);
    const bool runWasEnabled = screen.runEnabled;

    Helper helper;
    Shell shell;
    pid_t other = -1;
    if (holder != Holder::ShellExclusive) {
      helper = StartRole(holder == Holder::OpenOnly ? "open" : "engine-lock", database);
      ASSERT_EQ(ReadLine(helper.report), "held");
      other = helper.pid;
    } else {
      shell = StartExclusiveShell(database);
      ASSERT_EQ(ReadLine(shell.out), "held");
      other = shell.pid;
    }

    const auto start = Clock::now();
    EXPECT_FALSE(session->OnRunUpdate());
    const double waited = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_LT(waited, 1.0) << "no busy wait: the other process is seen";
    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), 1u) << EncodeMessages(screen);
    EXPECT_EQ(messages[0].text, texts::M1MainApplicationRunning);
    EXPECT_EQ(messages[0].caption, texts::RefusalCaption);
    EXPECT_EQ(messages[0].icon, MessageIcon::Stop);
    EXPECT_NE(session->LastRun().reason.find("process " + std::to_string(other)), std::string::npos)
        << session->LastRun().reason;
    EXPECT_EQ(screen.runEnabled, runWasEnabled) << "the controls are not touched";
    EXPECT_FALSE(fs::exists(dir / BackupFolderName()));

    if (holder != Holder::ShellExclusive) {
      EXPECT_TRUE(Finish(helper).Succeeded());
    } else {
      WriteAll(shell.in, "ROLLBACK;\n");
      close(shell.in);
      EXPECT_TRUE(WaitFor(shell.pid).Succeeded());
      close(shell.out);
    }
    EXPECT_EQ(ReadFile(database), before);

    // Once the other process is gone the same window updates normally.
    screen.Clear();
    EXPECT_TRUE(session->OnRunUpdate()) << screen.Messages().back().text;
    EXPECT_EQ(VersionOf(database), "1.07");
    session.reset();
  }
}

// ---- another process writing while the backup is copied ----

TEST_F(OtherProcess,
       AWriterDuringTheCopyWaitsForTheUpdateAndTheBackupIsTheDatabaseAtTheCopysStart) {
  for (const bool patient : {true, false}) {
    SCOPED_TRACE(patient ? "a writer that waits 30 s" : "a writer that waits 1 s");
    fs::remove_all(dir / BackupFolderName());
    fs::remove(database);
    HookScreen hooks;
    PatchSession patchSession(hooks, probe);
    MakeSampleDatabase(database, {.kumiRows = 20000});
    patchSession.ConnectChosenFile(database.string());
    ASSERT_TRUE(patchSession.Database().IsConnected());
    const std::string before = Picture(database);

    Helper writer;
    bool waitedDuringCopy = false;
    std::string writerResult;
    long long writerDone = 0;
    long long lastStatementDone = 0;
    auto readResult = [&] {
      writerResult = ReadLine(writer.report);
      writerDone = std::atoll(ReadLine(writer.report).c_str());
    };
    hooks.onCopyProgress = [&](std::uint64_t copied, std::uint64_t) {
      if (copied != 0 || writer.pid > 0) return;
      writer = StartRole("writer", database, {{"FAULTS_PATIENCE_MS", patient ? "30000" : "1000"}});
      waitedDuringCopy = ReadLine(writer.report) == "waiting";
      // The impatient one gives up while the copy still waits here.
      if (!patient) readResult();
    };
    hooks.onAdvance = [&](int position) {
      if (position == 3)
        lastStatementDone =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                .count();
    };

    EXPECT_TRUE(patchSession.OnRunUpdate()) << EncodeMessages(hooks);
    patchSession.Database().Disconnect();
    if (patient) readResult();
    EXPECT_TRUE(Finish(writer).Succeeded());

    EXPECT_TRUE(waitedDuringCopy) << "the writer was never kept waiting";
    // Only the commit lets it through: the lock is not lost when the copy
    // closes its view of the file.
    if (patient) {
      EXPECT_GT(writerDone, lastStatementDone);
    }
    EXPECT_EQ(Picture(BackupOf(database)), before)
        << "the backup is not the database the copy began with";
    EXPECT_EQ(VersionOf(database), "1.07");
    EXPECT_EQ(IntegrityCheck(database), "ok");
    RawDatabase db(database);
    if (patient) {
      EXPECT_EQ(writerResult, "ok");
      EXPECT_EQ(db.Text("SELECT count(*) FROM t_sofu WHERE SofuName = 'writer'"), "1");
    } else {
      EXPECT_EQ(writerResult, "error: database is locked");
      EXPECT_EQ(db.Text("SELECT count(*) FROM t_sofu WHERE SofuName = 'writer'"), "0");
    }
  }
}

// ---- the copy under the lock, on its own ----

// Whether another process sees a write lock on the file's first byte.
bool OthersSeeALock(const fs::path& file) {
  const ChildRun run = RunInChild([&](int) {
    const int fd = open(file.c_str(), O_RDWR);
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_len = 1;
    if (fd < 0 || fcntl(fd, F_GETLK, &probe) != 0) return 2;
    return probe.l_type == F_UNLCK ? 0 : 1;
  });
  return run.outcome.exited && run.outcome.code == 1;
}

TEST(CopyFromAHeldDescriptor, LeavesTheCallersDescriptorAndTheProcesssLocksInPlace) {
  TempDir dir;
  const std::string content(3 * 1024 * 1024 + 17, 'x');
  WriteFile(dir / "data.mdb", content);
  // A record lock taken through one descriptor, as the engine takes its own.
  const int locked = open((dir / "data.mdb").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(locked, 0);
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_len = 1;
  ASSERT_EQ(fcntl(locked, F_SETLK, &lock), 0);
  ASSERT_TRUE(OthersSeeALock(dir / "data.mdb"));

  const int source = open((dir / "data.mdb").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(source, 0);
  RecordingScreen screen;
  std::string reason;
  const int folder = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_TRUE(CopyToNewFile(source, (dir / "data.mdb").string(),
                            CopyDestination{folder, dir.path().string(), "copy.mdb"}, screen,
                            &reason))
      << reason;
  close(folder);

  EXPECT_TRUE(ReadFile(dir / "copy.mdb") == content);
  EXPECT_TRUE(OthersSeeALock(dir / "data.mdb")) << "the copy gave the lock away";
  // The descriptor is still the caller's, at the offset it had.
  EXPECT_EQ(lseek(source, 0, SEEK_CUR), 0);
  EXPECT_EQ(fcntl(source, F_GETFD), FD_CLOEXEC);
  close(source);
  EXPECT_FALSE(OthersSeeALock(dir / "data.mdb")) << "closing a descriptor drops the lock";
  close(locked);
}

}  // namespace
}  // namespace mivotra::test::faults
