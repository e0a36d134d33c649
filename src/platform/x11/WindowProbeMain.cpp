// mivotra-window-probe: the main application's window search on its own; see
// WindowSearch.h. It answers by its exit status and writes nothing.

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

#include "platform/x11/WindowSearch.h"

namespace {

using namespace mivotra::window_probe;

bool ParseNumber(std::string_view text, int& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value > 0;
}

// Nothing of whoever started it stays open beyond the standard three (the
// caller's database least of all: a search for its users would see this
// program), it dies with the caller that names itself, and it ends on a
// deadline of its own should that caller never get to kill it.
int Run(int argc, char** argv) {
  close_range(3, ~0U, 0);
  int parent = 0;
  int deadline = 0;
  const char* windowClass = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--parent" && i + 1 < argc) {
      if (!ParseNumber(argv[++i], parent)) return kNoAnswer;
    } else if (arg == "--deadline" && i + 1 < argc) {
      if (!ParseNumber(argv[++i], deadline)) return kNoAnswer;
    } else if (!windowClass && !arg.starts_with("--")) {
      windowClass = argv[i];
    } else {
      return kNoAnswer;
    }
  }
  if (!windowClass) return kNoAnswer;
  if (parent != 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The caller may have gone before the line above: then nobody waits.
    if (getppid() != parent) return kNoAnswer;
  }
  if (deadline != 0) {
    signal(SIGALRM, SIG_DFL);
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    alarm(static_cast<unsigned>(deadline));
  }
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return kNoAnswer;
  const auto found = SearchDisplay(display, windowClass);
  if (!found) return kNoAnswer;
  return *found ? kFound : kNotFound;
}

}  // namespace

int main(int argc, char** argv) {
  return Run(argc, argv);
}
