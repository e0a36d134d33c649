#include "platform/QtPlatform.h"

#include <string_view>

namespace mivotra {

std::string ChooseQtPlatform(const std::function<const char*(const char*)>& variable) {
  const auto set = [&variable](const char* name) {
    const char* value = variable(name);
    return value != nullptr && *value != '\0';
  };
  // Qt takes an empty QT_QPA_PLATFORM for none as well.
  if (set("QT_QPA_PLATFORM")) return {};
  const char* session = variable("XDG_SESSION_TYPE");
  // Without WAYLAND_DISPLAY Qt's Wayland plugin still finds the session's
  // compositor at its default socket.
  const bool wayland = set("WAYLAND_DISPLAY") || set("WAYLAND_SOCKET") ||
                       (session != nullptr && std::string_view(session) == "wayland");
  if (!wayland || !set("DISPLAY")) return {};
  return "xcb;wayland";
}

}  // namespace mivotra
