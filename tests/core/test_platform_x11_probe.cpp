// The X11 probe against servers that misbehave: one that accepts and never
// answers, one that hangs up after the client's first words, none at all;
// and against a real server (Xvfb) where one is installed.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "Processes.h"
#include "TestSupport.h"
#include "platform/x11/X11MainApplicationProbe.h"

namespace mivotra::test::faults {
namespace {

using namespace std::chrono_literals;

std::atomic<int> g_forks{0};
const int kCountForks = [] {
  return pthread_atfork(
      nullptr, [] { g_forks.fetch_add(1); }, nullptr);
}();

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
  // The files beyond the standard three that the last client's process had
  // open when it connected, by descriptor number.
  std::vector<std::string> PeersFiles() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_peerFiles;
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
          RecordPeersFiles();
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

  // What the test's children (the probe's child: the connecting process) have
  // open while it waits for an answer. TCP does not name its peer's process.
  void RecordPeersFiles() {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
      const std::string name = process.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      const std::string stat = ReadFile(process.path() / "stat");
      const std::size_t end = stat.rfind(')');
      if (end == std::string::npos) continue;
      char state = 0;
      long parent = 0;
      if (std::sscanf(stat.c_str() + end + 1, " %c %ld", &state, &parent) != 2) continue;
      if (parent != getpid()) continue;
      std::error_code ignored;
      for (const auto& entry : fs::directory_iterator(process.path() / "fd", ignored)) {
        // Beyond standard input, output and error.
        if (std::stoi(entry.path().filename().string()) > 2)
          files.push_back(fs::read_symlink(entry.path(), ignored).string());
      }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_peerFiles = std::move(files);
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
  std::vector<std::string> m_peerFiles;
};

class X11Probe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kCountForks, 0);
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

TEST_F(X11Probe, NoDisplayIsNotRunningWithoutStartingAnything) {
  X11MainApplicationProbe probe("Mivotra");
  const int forks = g_forks.load();
  unsetenv("DISPLAY");
  EXPECT_FALSE(probe.IsMainApplicationRunning());
  setenv("DISPLAY", "", 1);
  EXPECT_FALSE(probe.IsMainApplicationRunning());
  EXPECT_EQ(g_forks.load(), forks);
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
    const int accepted = server.Accepted();
    const int forks = g_forks.load();
    X11MainApplicationProbe probe =
        c.limit ? X11MainApplicationProbe("Mivotra", *c.limit) : X11MainApplicationProbe("Mivotra");
    const auto start = Clock::now();
    EXPECT_FALSE(probe.IsMainApplicationRunning());
    const double took = SecondsSince(start);
    EXPECT_GE(took, c.expected);
    EXPECT_LT(took, c.expected + 1.0);
    EXPECT_EQ(g_forks.load(), forks + 1);
    // It did reach the server and wait on it; its connection ends with it.
    EXPECT_EQ(server.Accepted(), accepted + 1);
    EXPECT_TRUE(PollUntil(
        -1, [&] { return server.ClientsGone() == accepted + 1; }, 5s))
        << "the probe's connection outlived the probe";
    EXPECT_TRUE(NoChildLeft());
    // Only the pipe for its answer and its own connection: the caller's
    // files stay the caller's, and nobody sees the database in a probe.
    const auto files = server.PeersFiles();
    ASSERT_EQ(files.size(), 2u) << testing::PrintToString(files);
    EXPECT_EQ(files[0].rfind("pipe:", 0), 0u) << files[0];
    EXPECT_EQ(files[1].rfind("socket:", 0), 0u) << files[1];
    close(heldFd);
  }
}

TEST_F(X11Probe, AServerThatHangsUpAfterTheSetupRequestIsNotRunningAtOnce) {
  FakeXServer server(FakeXServer::Behaviour::HangUpAfterSetup);
  setenv("DISPLAY", server.Display().c_str(), 1);
  X11MainApplicationProbe probe("Mivotra", 10s);
  const auto start = Clock::now();
  EXPECT_FALSE(probe.IsMainApplicationRunning());
  EXPECT_LT(SecondsSince(start), 1.0) << "waited for the limit instead of the hang-up";
  EXPECT_EQ(server.Accepted(), 1);
  const std::string setup = server.SetupSeen();
  EXPECT_TRUE(setup == "l 11" || setup == "B 11") << setup;
  EXPECT_TRUE(NoChildLeft());
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

TEST_F(X11Probe, AWindowOfTheClassOnARealServerIsFoundThroughTheChild) {
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

  EXPECT_TRUE(X11MainApplicationProbe("Mivotra").IsMainApplicationRunning());
  EXPECT_FALSE(X11MainApplicationProbe("Mivotr").IsMainApplicationRunning());
}

}  // namespace
}  // namespace mivotra::test::faults
