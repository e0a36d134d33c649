#include "platform/x11/X11MainApplicationProbe.h"

#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/ChildProcess.h"
#include "platform/WindowProbe.h"
#include "platform/x11/WindowSearch.h"

namespace mivotra {

X11MainApplicationProbe::X11MainApplicationProbe(std::string windowClass,
                                                 std::chrono::milliseconds timeLimit)
    : m_windowClass(std::move(windowClass)), m_timeLimit(timeLimit) {}

bool X11MainApplicationProbe::IsMainApplicationRunning() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return false;
  const std::string windowClass = m_windowClass;
  return AnswerFromChild(
             [&] { return window_probe::SearchDisplay(display, windowClass) == true ? '1' : '0'; },
             m_timeLimit) == '1';
}

std::unique_ptr<MainApplicationProbe> MakeWindowProbe(const std::string& windowClass) {
  return std::make_unique<X11MainApplicationProbe>(windowClass);
}

}  // namespace mivotra
