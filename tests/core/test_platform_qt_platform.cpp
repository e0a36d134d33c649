// The window's choice of Qt platform from the environment alone: X11 on a
// Wayland desktop that runs an X server, and the user's own choice always.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/QtPlatform.h"

namespace mivotra::test {
namespace {

struct Case {
  const char* what;
  std::map<std::string, std::string> environment;
  const char* platform;
};

TEST(QtPlatform, ChosenFromTheEnvironment) {
  const Case cases[] = {
      {"nothing set: Qt decides", {}, ""},
      {"an X11 session", {{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}, ""},
      {"Wayland without XWayland", {{"WAYLAND_DISPLAY", "wayland-0"}}, ""},
      {"Wayland with XWayland",
       {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}},
       "xcb;wayland"},
      {"a Wayland socket handed over", {{"WAYLAND_SOCKET", "5"}, {"DISPLAY", ":1"}}, "xcb;wayland"},
      {"a Wayland session at the default socket",
       {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}},
       "xcb;wayland"},
      {"the user chose Wayland",
       {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}},
       ""},
      {"the user chose X11 outside Wayland", {{"QT_QPA_PLATFORM", "xcb"}}, ""},
      {"an empty choice is none",
       {{"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}},
       "xcb;wayland"},
      {"an empty DISPLAY is no X server", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ""}}, ""},
      {"an empty WAYLAND_DISPLAY in an X11 session",
       {{"WAYLAND_DISPLAY", ""}, {"DISPLAY", ":0"}},
       ""},
  };
  for (const Case& c : cases) {
    const auto variable = [&c](const char* name) -> const char* {
      const auto found = c.environment.find(name);
      return found == c.environment.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(ChooseQtPlatform(variable), c.platform) << c.what;
  }
}

}  // namespace
}  // namespace mivotra::test
