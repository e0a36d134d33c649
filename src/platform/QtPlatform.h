#pragma once
// Which of Qt's window systems the window runs on. On a Wayland desktop
// that also runs an X server (XWayland) the window goes through X11: there
// the desktop knows each box as a dialog of its owner (GNOME centres it over
// the owner), Qt learns the panels from the window manager where it tells
// them, and the desktop draws the title bar with the whole caption. On
// Wayland itself Qt can neither place a window nor learn the free area, and
// draws a title bar of its own that cuts the caption short.

#include <functional>
#include <string>

namespace mivotra {

// The value for QT_QPA_PLATFORM ("xcb;wayland": X11, else Wayland should the
// X server not answer), or empty to leave Qt its own choice: outside a
// Wayland session, without an X display, or when the user chose a platform.
// variable(name) is the environment's value, null when unset.
std::string ChooseQtPlatform(const std::function<const char*(const char*)>& variable);

}  // namespace mivotra
