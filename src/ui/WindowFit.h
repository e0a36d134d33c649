#pragma once
// Keeping windows on the screen: no window may be larger than the part of
// its owner's screen that panels and docks leave free, frame included.

#include <QMargins>
#include <QRect>
#include <QSize>
#include <optional>

class QWidget;

namespace mivotra {

// The free part of the screen the window's owner is on (else the window's
// own screen, else the primary screen); an empty rectangle without screens.
QRect AvailableArea(const QWidget* window);

// The frame the window manager has put around a shown window; none while
// the window is hidden or the window manager has not framed it (yet).
std::optional<QMargins> ShownFrame(const QWidget* window);

// The frame the window manager puts around the window: its own once it has
// been shown, else that of its owner or of another shown top-level window,
// else a guess of a title bar and thin borders.
QMargins WindowFrame(const QWidget* window);

// The client size nearest to wanted whose frame fits inside area, never
// below minimum (a window too small for its buttons is no use either).
QSize FitClientSize(QSize wanted, QSize minimum, const QRect& area, const QMargins& frame);

}  // namespace mivotra
