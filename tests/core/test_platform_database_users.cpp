// Who else uses the database: real processes holding real files and locks,
// found by the file they have open whatever name they opened it by, and by
// their locks even where their open files cannot be seen.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>

#include "Processes.h"
#include "TestSupport.h"
#include "platform/DatabaseUsers.h"

namespace mivotra::test::faults {
namespace {

constexpr uid_t kNobody = 65534;
constexpr off_t kSqlitePendingByte = 0x40000000;

// A child that names itself, runs `prepare` (opens files, takes locks) and
// keeps all it has until it is killed. None of the test's own descriptors
// go with it, so it uses exactly what `prepare` opens.
class Holder {
 public:
  Holder(const std::string& command, const std::function<bool()>& prepare) {
    int ready[2];
    if (pipe(ready) != 0) throw std::runtime_error("pipe");
    std::fflush(nullptr);
    m_pid = fork();
    if (m_pid < 0) throw std::runtime_error("fork");
    if (m_pid == 0) {
      close(ready[0]);
      if (ready[1] != 3 && dup2(ready[1], 3) != 3) _exit(1);
      close_range(4, ~0U, 0);
      prctl(PR_SET_NAME, command.c_str());
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      alarm(120);  // never outlive a broken test
      const char answer = prepare() ? 'r' : 'f';
      WriteAll(3, std::string(1, answer));
      for (;;) pause();
    }
    close(ready[1]);
    // One byte, not to the end: what the child starts may keep the pipe open.
    char answer = 0;
    while (read(ready[0], &answer, 1) < 0 && errno == EINTR) {
    }
    m_ready = answer == 'r';
    close(ready[0]);
  }
  ~Holder() {
    kill(m_pid, SIGKILL);
    WaitFor(m_pid);
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  pid_t pid() const { return m_pid; }
  bool ready() const { return m_ready; }

 private:
  pid_t m_pid = -1;
  bool m_ready = false;
};

std::function<bool()> Opens(const std::string& path) {
  return [path] { return open(path.c_str(), O_RDONLY) >= 0; };
}

std::function<bool()> Locks(const std::string& path, short type, int command, off_t start) {
  return [=] {
    const int fd = open(path.c_str(), O_RDWR);
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = 1;
    return fd >= 0 && fcntl(fd, command, &lock) == 0;
  };
}

std::string Describe(const std::optional<DatabaseUser>& user) {
  if (!user) return "nobody";
  return std::to_string(user->pid) + "|" + user->command + "|" + user->reason;
}

std::string OpenLine(pid_t pid, const std::string& command, const std::string& file) {
  return std::to_string(pid) + "|" + command + "|process " + std::to_string(pid) + " (" + command +
         ") has " + file + " open";
}

std::string LockLine(pid_t pid, const std::string& command, const std::string& kind,
                     const std::string& file) {
  return std::to_string(pid) + "|" + command + "|process " + std::to_string(pid) + " (" + command +
         ") holds " + kind + " on " + file;
}

class DatabaseUsers : public ::testing::Test {
 protected:
  void SetUp() override {
    database = (dir / "data.mdb").string();
    WriteFile(database, RandomBytes(8192));
    for (const char* suffix : {"-journal", "-wal", "-shm"}) WriteFile(database + suffix, "j");
    own = open(database.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(own, 0);
  }
  void TearDown() override { close(own); }

  std::string Find() const { return Describe(FindOtherDatabaseUser(database, own)); }

  TempDir dir;
  std::string database;
  int own = -1;
};

// ---- open files ----

TEST_F(DatabaseUsers, AProcessWithTheDatabaseItsJournalOrItsLogOpenIsFoundByWhatItHasOpen) {
  fs::create_directory(dir / "sub");
  fs::create_symlink(database, dir / "link.mdb");
  fs::create_hard_link(database, dir / "hard.mdb");
  fs::create_directory_symlink(dir.path(), dir / "alias");
  struct Case {
    const char* how;
    std::string opened;    // the name the other process uses
    std::string reported;  // the name the reason gives
  };
  const std::string folder = dir.path().string();
  const std::vector<Case> cases = {
      {"the database itself", database, database},
      {"only its journal", database + "-journal", database + "-journal"},
      {"only its -wal", database + "-wal", database + "-wal"},
      {"only its -shm", database + "-shm", database + "-shm"},
      {"through a symbolic link", folder + "/link.mdb", database},
      {"through a hard link", folder + "/hard.mdb", database},
      {"through another spelling", folder + "/sub/..//./data.mdb", database},
      {"its journal through a linked folder", folder + "/alias/data.mdb-journal",
       database + "-journal"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    Holder holder("dbuser", Opens(c.opened));
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(Find(), OpenLine(holder.pid(), "dbuser", c.reported));
  }
  EXPECT_EQ(Find(), "nobody") << "every holder has gone";
}

TEST_F(DatabaseUsers, AProcessThatOpenedTheDatabaseThroughABindMountIsFound) {
  fs::create_directory(dir / "bound");
  const std::string folder = dir.path().string();
  Holder holder("bindmount", [folder] {
    // A mount of its own, which the rest of the system never sees.
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(folder.c_str(), (folder + "/bound").c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           open((folder + "/bound/data.mdb").c_str(), O_RDONLY) >= 0;
  });
  if (!holder.ready()) GTEST_SKIP() << "no private bind mount here";
  EXPECT_EQ(Find(), OpenLine(holder.pid(), "bindmount", database));
}

TEST_F(DatabaseUsers, OtherFilesWithTheSameNamesOrPlantedJournalLinksAreNoUse) {
  fs::create_directory(dir / "other");
  fs::copy_file(database, dir / "other" / "data.mdb");
  fs::copy_file(database + "-journal", dir / "other" / "data.mdb-journal");
  // A journal name made a link to /dev/null must not make every process with
  // /dev/null open a user of the database; nor one leading to a folder.
  fs::remove(database + "-journal");
  fs::create_symlink("/dev/null", database + "-journal");
  fs::remove(database + "-wal");
  fs::create_directory_symlink("/", database + "-wal");
  const std::string other = (dir / "other").string();
  Holder holder("bystander", [other] {
    return open((other + "/data.mdb").c_str(), O_RDONLY) >= 0 &&
           open((other + "/data.mdb-journal").c_str(), O_RDONLY) >= 0 &&
           open("/dev/null", O_RDONLY) >= 0 && open("/", O_RDONLY | O_DIRECTORY) >= 0;
  });
  ASSERT_TRUE(holder.ready());
  EXPECT_EQ(Find(), "nobody");
}

// ---- locks ----

TEST_F(DatabaseUsers, ALockHolderIsNamedWithTheKindOfLockItHolds) {
  {
    SCOPED_TRACE("a write lock on SQLite's pending byte");
    Holder holder("writer", Locks(database, F_WRLCK, F_SETLK, kSqlitePendingByte));
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(Find(), LockLine(holder.pid(), "writer", "a write lock", database));
  }
  {
    SCOPED_TRACE("a read lock on the first byte");
    Holder holder("reader", Locks(database, F_RDLCK, F_SETLK, 0));
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(Find(), LockLine(holder.pid(), "reader", "a read lock", database));
  }
  {
    // The lock names no process; the one that has the file open is named.
    SCOPED_TRACE("an OFD write lock");
    Holder holder("ofdlocker", Locks(database, F_WRLCK, F_OFD_SETLK, kSqlitePendingByte));
    ASSERT_TRUE(holder.ready());
    EXPECT_EQ(Find(), OpenLine(holder.pid(), "ofdlocker", database));
  }
}

// The lock query as a user who cannot read root's /proc/<pid>/fd: the file is
// readable by that user, the holders are root's.
TEST_F(DatabaseUsers, ALockIsFoundEvenWhereTheHoldersOpenFilesCannotBeSeen) {
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(database, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);
  auto probeAsNobody = [this](pid_t holder) {
    return RunInChild([&](int report) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) return 77;
      // The premise: this user cannot look at the holder's descriptors.
      if (access(("/proc/" + std::to_string(holder) + "/fd/.").c_str(), R_OK) == 0) return 3;
      const int fd = open(database.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return 4;
      WriteAll(report, Describe(FindOtherDatabaseUser(database, fd)));
      close(fd);
      return 0;
    });
  };
  struct Case {
    const char* how;
    std::string command;
    std::function<bool()> prepare;
    std::function<std::string(pid_t)> expected;
  };
  const std::vector<Case> cases = {
      {"a POSIX write lock", "rootwriter", Locks(database, F_WRLCK, F_SETLK, kSqlitePendingByte),
       [&](pid_t pid) { return LockLine(pid, "rootwriter", "a write lock", database); }},
      {"a POSIX read lock", "rootreader", Locks(database, F_RDLCK, F_SETLK, 0),
       [&](pid_t pid) { return LockLine(pid, "rootreader", "a read lock", database); }},
      {"an OFD read lock", "rootofd", Locks(database, F_RDLCK, F_OFD_SETLK, 0),
       [&](pid_t) {
         return "-1||another process (one the system does not name) holds a read lock on " +
                database;
       }},
      // Open without a lock: the file is not seen, and does not count.
      {"the file open, no lock", "rootopener", Opens(database), [](pid_t) { return "nobody"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    Holder holder(c.command, c.prepare);
    ASSERT_TRUE(holder.ready());
    const ChildRun run = probeAsNobody(holder.pid());
    if (run.outcome.code == 77) GTEST_SKIP() << "cannot become uid " << kNobody;
    ASSERT_TRUE(run.outcome.Succeeded()) << "prober exit " << run.outcome.code;
    EXPECT_EQ(run.report, c.expected(holder.pid()));
  }
}

// ---- the caller itself ----

int OwnDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// Whether another process sees a write lock of ours on SQLite's pending byte.
bool OthersSeeOurLock(const std::string& file) {
  const pid_t self = getpid();
  const ChildRun run = RunInChild([&](int) {
    const int fd = open(file.c_str(), O_RDONLY);
    struct flock query = {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = kSqlitePendingByte;
    query.l_len = 1;
    if (fd < 0 || fcntl(fd, F_GETLK, &query) != 0) return 2;
    return query.l_type == F_WRLCK && query.l_pid == self ? 1 : 0;
  });
  return run.outcome.exited && run.outcome.code == 1;
}

TEST_F(DatabaseUsers, TheCallersOwnFilesAndLocksNeverCountAndItsLocksAreKept) {
  // As the engine holds it: a write lock through one descriptor, the file
  // and its journal open through others.
  const int locked = open(database.c_str(), O_RDWR | O_CLOEXEC);
  const int again = open(database.c_str(), O_RDONLY | O_CLOEXEC);
  const int journal = open((database + "-journal").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(locked, 0);
  ASSERT_GE(again, 0);
  ASSERT_GE(journal, 0);
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kSqlitePendingByte;
  lock.l_len = 1;
  ASSERT_EQ(fcntl(locked, F_SETLK, &lock), 0);
  ASSERT_TRUE(OthersSeeOurLock(database));
  const int descriptors = OwnDescriptorCount();

  EXPECT_EQ(Find(), "nobody");
  EXPECT_EQ(Describe(FindOtherDatabaseUser(database, locked)), "nobody");

  // Closing any descriptor of the file would have dropped the lock.
  EXPECT_TRUE(OthersSeeOurLock(database)) << "the scan gave the caller's lock away";
  EXPECT_EQ(OwnDescriptorCount(), descriptors) << "the scan left descriptors open";
  EXPECT_EQ(fcntl(own, F_GETFD), FD_CLOEXEC) << "the caller's descriptor is not as it was";
  close(journal);
  close(again);
  close(locked);
}

// ---- hard cases of the scan ----

TEST_F(DatabaseUsers, ProcessesComingAndGoingDuringTheScanDoNoHarm) {
  // Short-lived processes with large descriptor tables, born and reaped
  // without pause while the scans run; the births are counted in shared memory.
  void* shared = mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  auto* births = new (shared) std::atomic<long>(0);
  Holder churn("churn", [births] {
    const pid_t loop = fork();
    if (loop != 0) return loop > 0;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (;;) {
      const pid_t brief = fork();
      if (brief == 0) {
        for (int i = 0; i < 300; ++i) dup(0);
        _exit(0);
      }
      if (brief > 0) waitpid(brief, nullptr, 0);
      births->fetch_add(1);
    }
  });
  ASSERT_TRUE(churn.ready());
  ASSERT_TRUE(PollUntil(-1, [births] { return births->load() > 10; }));

  const long before = births->load();
  {
    Holder holder("steady", Opens(database + "-wal"));
    ASSERT_TRUE(holder.ready());
    const std::string expected = OpenLine(holder.pid(), "steady", database + "-wal");
    for (int scan = 0; scan < 100; ++scan) ASSERT_EQ(Find(), expected) << "scan " << scan;
  }
  // On past the hundredth scan until enough processes came and went: on a
  // loaded machine the churn gets its turn rarely.
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  for (int scan = 0; scan < 100 || (births->load() - before <= 20 && Clock::now() < deadline);
       ++scan)
    ASSERT_EQ(Find(), "nobody") << "scan " << scan;
  EXPECT_GT(births->load() - before, 20) << "too few processes came and went to prove anything";
  munmap(shared, sizeof(std::atomic<long>));
}

TEST_F(DatabaseUsers, TheLastOfThousandsOfDescriptorsIsSeen) {
  // As many as the hard limit allows (raised where the system lets us).
  struct rlimit limit = {};
  getrlimit(RLIMIT_NOFILE, &limit);
  const struct rlimit wanted = {70000, 70000};
  if (setrlimit(RLIMIT_NOFILE, &wanted) == 0) limit = wanted;
  const int count = static_cast<int>(std::min<rlim_t>(limit.rlim_max, 70000)) - 16;
  if (count < 10000) GTEST_SKIP() << "the descriptor limit is only " << limit.rlim_max;
  Holder holder("manyfiles", [this, limit, count] {
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    const int null = open("/dev/null", O_RDONLY);
    for (int i = 0; i < count; ++i)
      if (dup(null) < 0) return false;
    return open(database.c_str(), O_RDONLY) >= count;
  });
  ASSERT_TRUE(holder.ready());
  EXPECT_EQ(Find(), OpenLine(holder.pid(), "manyfiles", database));
}

}  // namespace
}  // namespace mivotra::test::faults
