#pragma once
// The main application runs when a top-level X11 window whose WM_CLASS class
// part is exactly "Mivotra" exists. No reachable display: not running.
//
// The search runs in the program mivotra-window-probe (WindowSearch.h) with a
// time limit: a server (or anything listening at the display's address) that
// accepts and never answers would otherwise block the caller for good. No
// answer in time counts as no display; so does a helper that cannot be
// started (the search for other processes using the database still stands).

#include <chrono>
#include <string>

#include "platform/MainApplicationProbe.h"

namespace mivotra {

class X11MainApplicationProbe : public MainApplicationProbe {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeLimit{2000};

  // `helper`: the path of mivotra-window-probe.
  X11MainApplicationProbe(std::string windowClass, std::string helper,
                          std::chrono::milliseconds timeLimit = kDefaultTimeLimit);
  bool IsMainApplicationRunning() override;

  // Where the running program's helper is: in the package's libexec folder
  // as installed, beside it in the build folder.
  static std::string HelperBesideThisProgram();

 private:
  std::string m_windowClass;
  std::string m_helper;
  std::chrono::milliseconds m_timeLimit;
};

}  // namespace mivotra
