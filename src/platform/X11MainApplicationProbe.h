#pragma once
// The main application runs when a top-level X11 window whose WM_CLASS class
// part is exactly "Mivotra" exists. No reachable display: not running.

#include <string>

#include "db/Screen.h"

namespace mivotra {

class X11MainApplicationProbe : public MainApplicationProbe {
 public:
  explicit X11MainApplicationProbe(std::string windowClass);
  bool IsMainApplicationRunning() override;

 private:
  std::string m_windowClass;
};

}  // namespace mivotra
