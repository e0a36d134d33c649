#include "ui/WindowFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <optional>

namespace mivotra {

// Asked of the window system each time: the frame a widget keeps is the one
// of its last move or resize, which may have come while the window manager
// was still building the frame (then smaller than the window inside it), and
// it is not asked again until the window moves. A frame with a negative side
// is such a half-built one.
std::optional<QMargins> ShownFrame(const QWidget* window) {
  if (window == nullptr || !window->isVisible() || window->windowHandle() == nullptr) return {};
  const QMargins frame = window->windowHandle()->frameMargins();
  if (frame.isNull() || frame.left() < 0 || frame.top() < 0 || frame.right() < 0 ||
      frame.bottom() < 0)
    return {};
  return frame;
}

QRect AvailableArea(const QWidget* window) {
  const QWidget* owner = window != nullptr ? window->parentWidget() : nullptr;
  const QScreen* screen = nullptr;
  if (owner != nullptr) screen = owner->window()->screen();
  if (screen == nullptr && window != nullptr) screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

QMargins WindowFrame(const QWidget* window) {
  if (auto frame = ShownFrame(window)) return *frame;
  const QWidget* owner = window != nullptr && window->parentWidget() != nullptr
                             ? window->parentWidget()->window()
                             : nullptr;
  if (auto frame = ShownFrame(owner)) return *frame;
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other == window) continue;
    if (auto frame = ShownFrame(other)) return *frame;
  }
  // Window managers draw the title in about the application's font.
  const int title = QFontMetrics(QApplication::font()).height() + 10;
  return {4, title + 4, 4, 4};
}

QSize FitClientSize(QSize wanted, QSize minimum, const QRect& area, const QMargins& frame) {
  if (!area.isValid()) return wanted;
  const int roomX = area.width() - frame.left() - frame.right();
  const int roomY = area.height() - frame.top() - frame.bottom();
  return {std::max(minimum.width(), std::min(wanted.width(), roomX)),
          std::max(minimum.height(), std::min(wanted.height(), roomY))};
}

}  // namespace mivotra
