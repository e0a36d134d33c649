#pragma once
// Shared by the fault tests (header only: each test file is its own
// executable). Child processes that report back, a picture of a database that
// stays cheap on millions of rows, a screen with hooks, the real programs, and
// the system's own ways to make a file read-only.

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "TestSupport.h"
#include "res/Texts.h"
#include "update/PatchSession.h"

namespace mivotra::test::faults {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline std::string BackupFolderName() {
  return std::string(texts::BackupFolderName);
}

// The backup the session makes for `database` (a path ending in ".mdb").
inline fs::path BackupOf(const fs::path& database) {
  return database.parent_path() / BackupFolderName() /
         (database.stem().string() + std::string(texts::BackupNameSuffix) + ".mdb");
}

// ---- databases read straight through SQLite, independent of the engine ----

class RawDatabase {
 public:
  // Read-write, so that a hot journal left by a killed writer is rolled back
  // here as any later reader would; nothing is written otherwise.
  explicit RawDatabase(const fs::path& file, const std::string& password = "") {
    if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
      sqlite3_close(m_db);
      throw std::runtime_error("cannot open " + file.string() + ": " + message);
    }
    sqlite3_busy_timeout(m_db, 10000);
    if (!password.empty()) sqlite3_key(m_db, password.data(), static_cast<int>(password.size()));
  }
  ~RawDatabase() { sqlite3_close(m_db); }
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  // Every row of a query, values joined by '|'.
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    Each(sql, [&rows](sqlite3_stmt* statement) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        if (i) row += '|';
        const unsigned char* text = sqlite3_column_text(statement, i);
        row += text ? reinterpret_cast<const char*>(text) : "<null>";
      }
      rows.push_back(row);
    });
    return rows;
  }

  std::string Text(const std::string& sql) {
    const auto rows = Rows(sql);
    std::string joined;
    for (const auto& row : rows) joined += (joined.empty() ? "" : "\n") + row;
    return joined;
  }

  void Each(const std::string& sql, const std::function<void(sqlite3_stmt*)>& row) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(m_db));
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) row(statement);
    const std::string message = sqlite3_errmsg(m_db);
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) throw std::runtime_error(sql + ": " + message);
  }

  sqlite3* get() const { return m_db; }

 private:
  sqlite3* m_db = nullptr;
};

// PRAGMA integrity_check's answer ("ok" for a sound file).
inline std::string IntegrityCheck(const fs::path& file, const std::string& password = "") {
  RawDatabase db(file, password);
  return db.Text("PRAGMA integrity_check");
}

inline std::string VersionOf(const fs::path& file, const std::string& password = "") {
  RawDatabase db(file, password);
  return db.Text("SELECT MAX(DBVerCode) FROM t_db_ver");
}

// A picture of the whole database that is cheap on millions of rows: the
// schema in full and, per table, the row count and a 64-bit hash of every
// value in rowid order. With maskPatchTimes the times the patch writes with
// now() are left out, so that two updates of one database compare equal.
inline std::string Picture(const fs::path& file, const std::string& password = "",
                           bool maskPatchTimes = false) {
  RawDatabase db(file, password);
  std::string picture;
  for (const auto& row :
       db.Rows("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name"))
    picture += row + "\n";
  for (const auto& table :
       db.Rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    const bool masked = maskPatchTimes && (table == "t_db_ver" || table == "t_db_ver_comment" ||
                                           table == "t_expense_nexco_riyou");
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](std::uint64_t word) {
      hash = (hash ^ word) * 1099511628211ull + (hash >> 29);
    };
    sqlite3_stmt* statement = nullptr;
    const std::string sql = "SELECT * FROM \"" + table + "\" ORDER BY rowid";
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(db.get()));
    const int columns = sqlite3_column_count(statement);
    std::vector<bool> hidden;
    for (int i = 0; i < columns; ++i) {
      const std::string name = sqlite3_column_name(statement, i);
      hidden.push_back(masked && name.size() >= 8 &&
                       name.compare(name.size() - 8, 8, "DateTime") == 0);
    }
    long long rows = 0;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      ++rows;
      for (int i = 0; i < columns; ++i) {
        const int type = sqlite3_column_type(statement, i);
        if (type == SQLITE_NULL) {
          mix(0);
        } else if (hidden[static_cast<std::size_t>(i)]) {
          mix(1);
        } else if (type == SQLITE_INTEGER) {
          mix(2);
          mix(static_cast<std::uint64_t>(sqlite3_column_int64(statement, i)));
        } else if (type == SQLITE_FLOAT) {
          const double value = sqlite3_column_double(statement, i);
          std::uint64_t bits;
          std::memcpy(&bits, &value, sizeof bits);
          mix(3);
          mix(bits);
        } else {
          const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(statement, i));
          const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, i));
          mix(4 + static_cast<std::uint64_t>(type) + (static_cast<std::uint64_t>(size) << 8));
          for (std::size_t at = 0; at < size; at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + at, std::min<std::size_t>(8, size - at));
            mix(word);
          }
        }
      }
    }
    const std::string message = sqlite3_errmsg(db.get());
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) throw std::runtime_error(sql + ": " + message);
    char line[96];
    std::snprintf(line, sizeof line, " %lld rows %016llx\n", rows,
                  static_cast<unsigned long long>(hash));
    picture += "== " + table + line;
  }
  return picture;
}

// True when both files hold the same bytes. A rolled-back transaction puts
// every page back, so a database that is "wholly as before" is this too.
inline bool SameBytes(const fs::path& a, const fs::path& b) {
  std::FILE* x = std::fopen(a.c_str(), "rb");
  std::FILE* y = std::fopen(b.c_str(), "rb");
  bool same = x && y;
  std::vector<char> bufferX(1 << 20), bufferY(1 << 20);
  while (same) {
    const std::size_t n = std::fread(bufferX.data(), 1, bufferX.size(), x);
    const std::size_t m = std::fread(bufferY.data(), 1, bufferY.size(), y);
    same = n == m && std::memcmp(bufferX.data(), bufferY.data(), n) == 0;
    if (n == 0) break;
  }
  if (x) std::fclose(x);
  if (y) std::fclose(y);
  return same;
}

// No journal that a reader would play back: none at all, or one whose header
// never got its magic number (SQLite writes that only once the journal is
// on disk, before the database file itself is touched).
inline bool NoHotJournal(const fs::path& database) {
  const std::string journal = ReadFile(database.string() + "-journal");
  return journal.size() < 8 || journal.compare(0, 8, std::string(8, '\0')) == 0;
}

// ---- a screen that lets a test act at the moments that matter ----

class HookScreen : public RecordingScreen {
 public:
  bool ShowCopyProgress(std::uint64_t copied, std::uint64_t total) override {
    if (onCopyProgress) onCopyProgress(copied, total);
    return RecordingScreen::ShowCopyProgress(copied, total);
  }
  void AdvanceProgress() override {
    RecordingScreen::AdvanceProgress();
    if (onAdvance) onAdvance(progress);
  }

  std::function<void(std::uint64_t copied, std::uint64_t total)> onCopyProgress;
  std::function<void(int position)> onAdvance;  // 1, 2, 3: after groups B, C and F
};

inline std::vector<std::string> MessageTexts(const RecordingScreen& screen) {
  std::vector<std::string> texts;
  for (const auto& message : screen.Messages()) texts.push_back(message.text);
  return texts;
}

// Message boxes travel from a child process as caption, text and icon
// separated by 0x1F, one box per 0x1E.
inline std::string EncodeMessages(const RecordingScreen& screen) {
  std::string out;
  for (const auto& m : screen.Messages())
    out += m.caption + '\x1f' + m.text + '\x1f' + std::to_string(static_cast<int>(m.icon)) + '\x1e';
  return out;
}

inline std::vector<ScreenEvent> DecodeMessages(const std::string& encoded) {
  std::vector<ScreenEvent> messages;
  std::size_t start = 0;
  for (std::size_t end; (end = encoded.find('\x1e', start)) != std::string::npos; start = end + 1) {
    const std::string box = encoded.substr(start, end - start);
    const std::size_t a = box.find('\x1f');
    const std::size_t b = box.rfind('\x1f');
    if (a == std::string::npos || b == a) continue;
    messages.push_back({ScreenEvent::Message, box.substr(a + 1, b - a - 1), box.substr(0, a),
                        static_cast<MessageIcon>(std::stoi(box.substr(b + 1)))});
  }
  return messages;
}

// ---- child processes ----

struct Outcome {
  bool exited = false;
  int code = -1;
  int signal = 0;
  bool Killed() const { return signal == SIGKILL; }
  bool Succeeded() const { return exited && code == 0; }
};

inline Outcome WaitFor(pid_t pid) {
  Outcome outcome;
  int status = 0;
  pid_t got;
  while ((got = waitpid(pid, &status, 0)) == -1 && errno == EINTR) {
  }
  if (got != pid) return outcome;
  outcome.exited = WIFEXITED(status);
  outcome.code = outcome.exited ? WEXITSTATUS(status) : -1;
  outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return outcome;
}

inline std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  return text;
}

inline bool WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

struct ChildRun {
  Outcome outcome;
  std::string report;  // what the child wrote to its report descriptor
};

// Runs body in a forked child; body writes what the parent should see to the
// descriptor it is given and returns the exit code. Mounts, limits and kills
// stay in the child.
inline ChildRun RunInChild(const std::function<int(int report)>& body) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) {
    close(fds[0]);
    const int code = body(fds[1]);
    close(fds[1]);
    _exit(code);
  }
  close(fds[1]);
  ChildRun run;
  run.report = ReadAll(fds[0]);
  close(fds[0]);
  run.outcome = WaitFor(child);
  return run;
}

// True once the child has ended (it is not reaped here).
inline bool Ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// Polls `condition` every millisecond until it holds (true), or until `pid`
// has ended or `limit` has passed (false). No fixed sleeps: the test acts
// the moment the state it waits for is there.
inline bool PollUntil(pid_t pid, const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (condition()) return true;
    if (pid > 0 && Ended(pid)) return false;
    const struct timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
  }
  return false;
}

inline long long SizeOf(const fs::path& file) {
  struct stat info {};
  return stat(file.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

struct OpenFile {
  fs::path descriptor;  // /proc/PID/fd/N: stat follows it even to a file without a name
  std::string target;   // the file's path, with " (deleted)" once it has none
};

// The process's descriptors open on files inside `folder`.
inline std::vector<OpenFile> OpenFilesIn(pid_t pid, const fs::path& folder) {
  std::vector<OpenFile> files;
  std::error_code error;
  const std::string prefix = folder.string() + "/";
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    std::error_code ignored;
    std::string target = fs::read_symlink(entry.path(), ignored).string();
    if (target.rfind(prefix, 0) == 0) files.push_back({entry.path(), std::move(target)});
  }
  return files;
}

inline bool HasOpenFileIn(pid_t pid, const fs::path& folder) {
  return !OpenFilesIn(pid, folder).empty();
}

// ---- the real programs ----

inline std::string PatchProgram() {
  return std::string(MIVOTRA_BINARY_DIR) + "/src/mivotra-patch";
}

struct ProgramRun {
  pid_t pid = -1;
  fs::path out;
  fs::path err;
};

// Starts mivotra-patch with its own settings and runtime folders under
// `home` (so that no other test's instance lock is in the way), without a
// display, standard input closed.
inline ProgramRun StartPatch(const fs::path& home, const std::vector<std::string>& arguments,
                             const std::string& name,
                             const std::vector<std::string>& environment = {}) {
  fs::create_directories(home / "config");
  fs::create_directories(home / "runtime");
  fs::permissions(home / "runtime", fs::perms::owner_all);
  ProgramRun run;
  run.out = home / (name + ".out");
  run.err = home / (name + ".err");
  std::vector<std::string> argv = {PatchProgram()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::fflush(nullptr);
  run.pid = fork();
  if (run.pid == 0) {
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("DISPLAY");
    for (const auto& assignment : environment) putenv(const_cast<char*>(assignment.c_str()));
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(run.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(run.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    // Nothing else the test has open goes with it: another thread's file
    // would count as the program's own use of that database.
    close_range(3, ~0U, 0);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return run;
}

struct Finished {
  Outcome outcome;
  std::string out;
  std::string err;
};

inline Finished RunPatch(const fs::path& home, const std::vector<std::string>& arguments,
                         const std::string& name,
                         const std::vector<std::string>& environment = {}) {
  const ProgramRun run = StartPatch(home, arguments, name, environment);
  Finished finished;
  finished.outcome = WaitFor(run.pid);
  finished.out = ReadFile(run.out);
  finished.err = ReadFile(run.err);
  return finished;
}

// The console's form of a message box: "[caption]\ntext\n\n".
inline std::string ConsoleBox(std::string_view caption, std::string_view text) {
  return "[" + std::string(caption) + "]\n" + std::string(text) + "\n\n";
}

// ---- making a file or folder read-only for root as well ----

// The immutable attribute (chattr +i), which root's writes respect too;
// cleared again on destruction. Applied() is false where the file system
// does not support it.
class Immutable {
 public:
  explicit Immutable(const fs::path& path) : m_path(path) { m_applied = Set(true); }
  ~Immutable() {
    if (m_applied) Set(false);
  }
  Immutable(const Immutable&) = delete;
  Immutable& operator=(const Immutable&) = delete;
  bool Applied() const { return m_applied; }

 private:
  bool Set(bool on) {
    const int fd = open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return done;
  }

  fs::path m_path;
  bool m_applied = false;
};

}  // namespace mivotra::test::faults
