#pragma once
// The main application runs when a top-level X11 window whose WM_CLASS class
// part is exactly "Mivotra" exists. No reachable display: not running.
//
// The search runs in a child process with a time limit: a server (or anything
// listening at the display's address) that accepts and never answers would
// otherwise block the caller for good. No answer in time counts as no display.

#include <chrono>
#include <string>

#include "platform/MainApplicationProbe.h"

namespace mivotra {

class X11MainApplicationProbe : public MainApplicationProbe {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeLimit{2000};

  explicit X11MainApplicationProbe(std::string windowClass,
                                   std::chrono::milliseconds timeLimit = kDefaultTimeLimit);
  bool IsMainApplicationRunning() override;

 private:
  std::string m_windowClass;
  std::chrono::milliseconds m_timeLimit;
};

}  // namespace mivotra
