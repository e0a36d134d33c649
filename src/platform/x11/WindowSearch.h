#pragma once
// The search for the main application's window, and the program that runs it
// (mivotra-window-probe). The search runs in a process of its own, started
// afresh: libxcb may block for good on a server that never answers, and a
// child forked from the multi-threaded window could deadlock on a lock
// another thread held at the fork.
//
// mivotra-window-probe [--parent PID] [--deadline SECONDS] CLASS
// searches $DISPLAY and answers by its exit status alone.

#include <optional>
#include <string>

namespace mivotra::window_probe {

// The program's name, installed in the package's libexec folder and built
// beside the other programs.
inline constexpr const char* kProgramName = "mivotra-window-probe";

// Its exit statuses; any other status, or a signal, is no answer.
inline constexpr int kFound = 0;
inline constexpr int kNotFound = 1;
inline constexpr int kNoAnswer = 2;

// Whether a top-level window whose WM_CLASS class part is exactly
// `windowClass` exists on `display`; nullopt when it cannot be reached.
std::optional<bool> SearchDisplay(const char* display, const std::string& windowClass);

}  // namespace mivotra::window_probe
