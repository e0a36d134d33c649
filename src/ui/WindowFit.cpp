#include "ui/WindowFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace mivotra {
namespace {

bool HasFrame(const QWidget* window) {
  return window != nullptr && window->isVisible() &&
         window->frameGeometry().size() != window->geometry().size();
}

QMargins FrameOf(const QWidget* window) {
  const QRect outer = window->frameGeometry();
  const QRect inner = window->geometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

}  // namespace

QRect AvailableArea(const QWidget* window) {
  const QWidget* owner = window != nullptr ? window->parentWidget() : nullptr;
  const QScreen* screen = nullptr;
  if (owner != nullptr) screen = owner->window()->screen();
  if (screen == nullptr && window != nullptr) screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

QMargins WindowFrame(const QWidget* window) {
  if (HasFrame(window)) return FrameOf(window);
  const QWidget* owner = window != nullptr && window->parentWidget() != nullptr
                             ? window->parentWidget()->window()
                             : nullptr;
  if (HasFrame(owner)) return FrameOf(owner);
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other != window && HasFrame(other)) return FrameOf(other);
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
