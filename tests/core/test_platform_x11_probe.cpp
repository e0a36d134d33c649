// The X11 probe against servers that misbehave: one that accepts and never
// answers, one that hangs up after the client's first words, none at all;
// against a real server (Xvfb) where one is installed; and the program it
// starts for the search: what it is handed, what it answers, how it ends.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "Processes.h"
#include "TestSupport.h"
#include "platform/x11/X11MainApplicationProbe.h"

namespace mivotra::test::faults {
namespace {

using namespace std::chrono_literals;

// The window search program as built.
const std::string kHelper = MIVOTRA_WINDOW_PROBE_EXE;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Something listening at display 127.0.0.1:N (TCP port 6000 + N) that is no
// X server: it either takes the connection and says nothing, or reads the
// client's setup request and hangs up. It runs on a thread of the test.
class FakeXServer {
 public:
  enum class Behaviour { Silent, HangUpAfterSetup };

  explicit FakeXServer(Behaviour behaviour) : m_behaviour(behaviour) {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0 || pipe2(m_stop, O_CLOEXEC) != 0) throw std::runtime_error("socket");
    for (int display = 40; display < 100 && m_display < 0; ++display) {
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<std::uint16_t>(6000 + display));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        m_display = display;
    }
    if (m_display < 0 || listen(m_listener, 8) != 0) throw std::runtime_error("no free display");
    m_thread = std::thread([this] { Serve(); });
  }
  ~FakeXServer() {
    close(m_stop[1]);
    m_thread.join();
    close(m_stop[0]);
    close(m_listener);
  }
  FakeXServer(const FakeXServer&) = delete;
  FakeXServer& operator=(const FakeXServer&) = delete;

  std::string Display() const { return "127.0.0.1:" + std::to_string(m_display); }
  int Accepted() const { return m_accepted.load(); }
  int ClientsGone() const { return m_gone.load(); }
  // The first bytes of the last setup request read: byte order and major version.
  std::string SetupSeen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_setup;
  }
  // The test's child processes as the last client connected: the one
  // connecting among them.
  struct Peer {
    fs::path program;                      // what /proc/PID/exe leads to
    std::map<int, std::string> files;      // open descriptors: number, what is open
    std::vector<std::string> environment;  // NAME=value
  };
  std::vector<Peer> Peers() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_peers;
  }

 private:
  void Serve() {
    std::vector<int> clients;
    for (;;) {
      std::vector<pollfd> watched = {{m_stop[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
      for (const int client : clients) watched.push_back({client, POLLIN, 0});
      if (poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) break;
      if (watched[0].revents) break;
      if (watched[1].revents & POLLIN) {
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
          RecordPeers();
          m_accepted.fetch_add(1);
          if (m_behaviour == Behaviour::HangUpAfterSetup) {
            ReadSetup(client);
            close(client);
          } else {
            clients.push_back(client);
          }
        }
      }
      for (std::size_t i = 2; i < watched.size(); ++i) {
        if (!watched[i].revents) continue;
        char buffer[256];
        if (read(watched[i].fd, buffer, sizeof buffer) > 0) continue;  // heard, never answered
        close(watched[i].fd);
        std::erase(clients, watched[i].fd);
        m_gone.fetch_add(1);
      }
    }
    for (const int client : clients) close(client);
  }

  // The test's children (the probe's program: the connecting process) while
  // it waits for an answer. TCP does not name its peer's process.
  void RecordPeers() {
    std::vector<Peer> peers;
    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
      const std::string name = process.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      // A process may end between the listing and the read (ESRCH).
      std::string stat;
      try {
        stat = ReadFile(process.path() / "stat");
      } catch (const std::exception&) {
        continue;
      }
      const std::size_t end = stat.rfind(')');
      if (end == std::string::npos) continue;
      char state = 0;
      long parent = 0;
      if (std::sscanf(stat.c_str() + end + 1, " %c %ld", &state, &parent) != 2) continue;
      if (parent != getpid()) continue;
      std::error_code ignored;
      Peer peer;
      peer.program = fs::read_symlink(process.path() / "exe", ignored);
      for (const auto& entry : fs::directory_iterator(process.path() / "fd", ignored)) {
        peer.files[std::stoi(entry.path().filename().string())] =
            fs::read_symlink(entry.path(), ignored).string();
      }
      std::string environment;
      try {
        environment = ReadFile(process.path() / "environ");
      } catch (const std::exception&) {
        continue;
      }
      for (std::size_t at = 0; at < environment.size();) {
        const std::size_t end = std::min(environment.find('\0', at), environment.size());
        peer.environment.push_back(environment.substr(at, end - at));
        at = end + 1;
      }
      peers.push_back(std::move(peer));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_peers = std::move(peers);
  }

  // The 12-byte header, then the authorisation name and data it announces.
  void ReadSetup(int client) {
    unsigned char header[12];
    std::size_t got = 0;
    while (got < sizeof header) {
      const ssize_t n = read(client, header + got, sizeof header - got);
      if (n <= 0) return;
      got += static_cast<std::size_t>(n);
    }
    const bool little = header[0] == 'l';
    auto word = [&](int at) {
      return little ? header[at] | header[at + 1] << 8 : header[at] << 8 | header[at + 1];
    };
    std::size_t rest = static_cast<std::size_t>((word(6) + 3) / 4 * 4 + (word(8) + 3) / 4 * 4);
    char buffer[256];
    while (rest > 0) {
      const ssize_t n = read(client, buffer, std::min(rest, sizeof buffer));
      if (n <= 0) break;
      rest -= static_cast<std::size_t>(n);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_setup = std::string(1, static_cast<char>(header[0])) + " " + std::to_string(word(2));
  }

  Behaviour m_behaviour;
  int m_listener = -1;
  int m_stop[2] = {-1, -1};
  int m_display = -1;
  std::thread m_thread;
  std::atomic<int> m_accepted{0};
  std::atomic<int> m_gone{0};
  mutable std::mutex m_mutex;
  std::string m_setup;
  std::vector<Peer> m_peers;
};

class X11Probe : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* display = std::getenv("DISPLAY")) m_display = display;
  }
  void TearDown() override {
    if (m_display) {
      setenv("DISPLAY", m_display->c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
  }

  // No child of the test is left, running or unreaped.
  static bool NoChildLeft() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

 private:
  std::optional<std::string> m_display;
};

// A stand-in for the search program: it notes that it was started and ends
// with the status written in `status` (its environment is the probe's own,
// without PATH: shell built-ins only).
fs::path StandIn(const TempDir& dir) {
  const fs::path program = dir / "stand-in";
  WriteFile(program, "#!/bin/sh\ncd '" + dir.path().string() +
                         "' || exit 9\n: >>started\nread status <status\n"
                         "[ \"$status\" = killed ] && kill -KILL $$\nexit $status\n");
  fs::permissions(program, fs::perms::owner_all);
  return program;
}

TEST_F(X11Probe, NoDisplayIsNotRunningWithoutStartingAnything) {
  TempDir dir;
  WriteFile(dir / "status", "0\n");
  X11MainApplicationProbe probe("Mivotra", StandIn(dir));
  unsetenv("DISPLAY");
  EXPECT_FALSE(probe.IsMainApplicationRunning());
  setenv("DISPLAY", "", 1);
  EXPECT_FALSE(probe.IsMainApplicationRunning());
  EXPECT_FALSE(fs::exists(dir / "started"));
  // With a display the same probe does start it (and takes its 0 for a window).
  setenv("DISPLAY", ":0", 1);
  EXPECT_TRUE(probe.IsMainApplicationRunning());
  EXPECT_TRUE(fs::exists(dir / "started"));
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(X11Probe, OnlyTheProgramsFoundIsRunningAndAProgramThatCannotStartIsNotRunningAtOnce) {
  TempDir dir;
  const fs::path standIn = StandIn(dir);
  setenv("DISPLAY", ":0", 1);
  for (const char* status : {"0", "1", "2", "3", "killed"}) {
    SCOPED_TRACE(status);
    WriteFile(dir / "status", std::string(status) + "\n");
    EXPECT_EQ(X11MainApplicationProbe("Mivotra", standIn).IsMainApplicationRunning(),
              std::string(status) == "0");
    EXPECT_TRUE(NoChildLeft());
  }
  // Missing, not executable, no path at all: no window, without waiting for the limit.
  const fs::path notExecutable = dir / "status";
  for (const std::string& program :
       {(dir / "missing").string(), notExecutable.string(), std::string()}) {
    SCOPED_TRACE(program);
    const auto start = Clock::now();
    EXPECT_FALSE(X11MainApplicationProbe("Mivotra", program, 10s).IsMainApplicationRunning());
    EXPECT_LT(SecondsSince(start), 1.0);
    EXPECT_TRUE(NoChildLeft());
  }
}

TEST_F(X11Probe, AServerThatNeverAnswersIsGivenUpAtTheTimeLimitAndLeavesNothingBehind) {
  TempDir dir;
  FakeXServer server(FakeXServer::Behaviour::Silent);
  setenv("DISPLAY", server.Display().c_str(), 1);
  struct Case {
    const char* how;
    std::optional<std::chrono::milliseconds> limit;
    double expected;
  };
  for (const Case& c :
       {Case{"a limit of 300 ms", 300ms, 0.3}, Case{"the default limit", {}, 2.0}}) {
    SCOPED_TRACE(c.how);
    // A file the caller has open, as the tool has its database.
    const fs::path held = dir / "data.mdb";
    WriteFile(held, "database");
    const int heldFd = open(held.c_str(), O_RDONLY);
    ASSERT_GE(heldFd, 0);
    // A secret the caller holds in its environment, as the console's
    // --password-env has it.
    setenv("MIVOTRA_TEST_SECRET", "pass;word", 1);
    const int accepted = server.Accepted();
    X11MainApplicationProbe probe = c.limit ? X11MainApplicationProbe("Mivotra", kHelper, *c.limit)
                                            : X11MainApplicationProbe("Mivotra", kHelper);
    const auto start = Clock::now();
    EXPECT_FALSE(probe.IsMainApplicationRunning());
    const double took = SecondsSince(start);
    unsetenv("MIVOTRA_TEST_SECRET");
    EXPECT_GE(took, c.expected);
    EXPECT_LT(took, c.expected + 1.0);
    // It did reach the server and wait on it; its connection ends with it.
    EXPECT_EQ(server.Accepted(), accepted + 1);
    EXPECT_TRUE(PollUntil(
        -1, [&] { return server.ClientsGone() == accepted + 1; }, 5s))
        << "the probe's connection outlived the probe";
    EXPECT_TRUE(NoChildLeft());
    // One process connected, and it is the search program, not a copy of
    // the caller.
    const auto peers = server.Peers();
    ASSERT_EQ(peers.size(), 1u);
    const auto& peer = peers[0];
    EXPECT_EQ(peer.program, fs::canonical(kHelper));
    // Nothing but its own connection beyond the standard three, whose input
    // and output are nobody's: the caller's files stay the caller's, and
    // nobody sees the database in a probe.
    std::vector<std::string> beyond;
    for (const auto& [number, file] : peer.files) {
      if (number > 2) beyond.push_back(file);
    }
    ASSERT_EQ(beyond.size(), 1u) << testing::PrintToString(beyond);
    EXPECT_EQ(beyond[0].rfind("socket:", 0), 0u) << beyond[0];
    EXPECT_EQ(peer.files.count(0) ? peer.files.at(0) : "", "/dev/null");
    EXPECT_EQ(peer.files.count(1) ? peer.files.at(1) : "", "/dev/null");
    // Of the caller's environment only what the search needs.
    EXPECT_NE(std::ranges::find(peer.environment, "DISPLAY=" + server.Display()),
              peer.environment.end());
    for (const std::string& variable : peer.environment) {
      const std::string name = variable.substr(0, variable.find('='));
      EXPECT_TRUE(name == "DISPLAY" || name == "XAUTHORITY" || name == "HOME") << variable;
    }
    close(heldFd);
  }
}

TEST_F(X11Probe, AServerThatHangsUpAfterTheSetupRequestIsNotRunningAtOnce) {
  FakeXServer server(FakeXServer::Behaviour::HangUpAfterSetup);
  setenv("DISPLAY", server.Display().c_str(), 1);
  X11MainApplicationProbe probe("Mivotra", kHelper, 10s);
  const auto start = Clock::now();
  EXPECT_FALSE(probe.IsMainApplicationRunning());
  EXPECT_LT(SecondsSince(start), 1.0) << "waited for the limit instead of the hang-up";
  EXPECT_EQ(server.Accepted(), 1);
  const std::string setup = server.SetupSeen();
  EXPECT_TRUE(setup == "l 11" || setup == "B 11") << setup;
  EXPECT_TRUE(NoChildLeft());
}

// The search program dies with its caller, and ends at a deadline of its own
// should its caller neither kill it nor die (here: stopped).
TEST_F(X11Probe, TheProgramEndsWithItsCallerOrAtItsOwnDeadline) {
  struct Case {
    const char* how;
    int signal;
    std::chrono::milliseconds limit;
    double within;  // seconds from the caller's signal to the connection's end
  };
  for (const Case& c : {Case{"caller killed", SIGKILL, 10s, 2.0},
                        Case{"caller stopped: 3 s deadline", SIGSTOP, 300ms, 5.0}}) {
    SCOPED_TRACE(c.how);
    // The caller is forked while this process has no other thread; it reads
    // the display from the pipe once the server runs.
    int display[2];
    ASSERT_EQ(pipe2(display, O_CLOEXEC), 0);
    std::fflush(nullptr);
    const pid_t caller = fork();
    ASSERT_GE(caller, 0);
    if (caller == 0) {
      close(display[1]);
      const std::string name = ReadAll(display[0]);
      setenv("DISPLAY", name.c_str(), 1);
      X11MainApplicationProbe("Mivotra", kHelper, c.limit).IsMainApplicationRunning();
      _exit(0);
    }
    close(display[0]);
    FakeXServer server(FakeXServer::Behaviour::Silent);
    EXPECT_TRUE(WriteAll(display[1], server.Display()));
    close(display[1]);
    ASSERT_TRUE(PollUntil(
        caller, [&] { return server.Accepted() == 1; }, 10s))
        << "the caller's probe never connected";
    kill(caller, c.signal);
    const auto start = Clock::now();
    EXPECT_TRUE(PollUntil(
        -1, [&] { return server.ClientsGone() == 1; }, 10s))
        << "the search program outlived its caller";
    EXPECT_LT(SecondsSince(start), c.within);
    kill(caller, SIGKILL);
    WaitFor(caller);
  }
}

// ---- a real X server ----

// Starts argv[0] with `out` as its standard output and `extra` as its
// descriptor 3 (when given).
pid_t Start(const std::vector<std::string>& argv, int out, int extra = -1) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(out, 1);
    dup2(null, 2);
    if (extra >= 0) dup2(extra, 3);
    close_range(extra >= 0 ? 4 : 3, ~0U, 0);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// One line from `fd`, or nothing when none comes within the limit.
std::optional<std::string> LineWithin(int fd, std::chrono::milliseconds limit) {
  std::string line;
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    pollfd ready = {fd, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char c;
    if (read(fd, &c, 1) != 1) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
  return std::nullopt;
}

struct Stopped {
  pid_t pid;
  ~Stopped() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    WaitFor(pid);
  }
};

TEST_F(X11Probe, AWindowOfTheClassOnARealServerIsFoundThroughTheProgram) {
  const std::string helper = std::string(MIVOTRA_BINARY_DIR) + "/tests/mivotra-test-x11window";
  if (access(helper.c_str(), X_OK) != 0) GTEST_SKIP() << helper << " is not built";
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Xvfb";
  int displayPipe[2];
  int windowPipe[2];
  ASSERT_EQ(pipe2(displayPipe, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(windowPipe, O_CLOEXEC), 0);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  Stopped xvfb{Start(
      {"Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset"},
      null, displayPipe[1])};
  close(displayPipe[1]);
  const auto number = LineWithin(displayPipe[0], 20s);
  close(displayPipe[0]);
  ASSERT_TRUE(number) << "Xvfb did not start";
  setenv("DISPLAY", (":" + *number).c_str(), 1);

  Stopped window{Start({helper, "--class", "Mivotra", "--title", "stand-in"}, windowPipe[1])};
  close(windowPipe[1]);
  ASSERT_TRUE(LineWithin(windowPipe[0], 20s)) << "the window was never mapped";
  close(windowPipe[0]);
  close(null);

  EXPECT_TRUE(X11MainApplicationProbe("Mivotra", kHelper).IsMainApplicationRunning());
  EXPECT_FALSE(X11MainApplicationProbe("Mivotr", kHelper).IsMainApplicationRunning());
}

}  // namespace
}  // namespace mivotra::test::faults
