#pragma once
// The keyboard focus made visible, as Windows shows it: nothing until the
// user moves the focus with the keyboard, then a frame around the focused
// control (an icon button, the log's current line).

#include <QColor>
#include <QPalette>
#include <QStyledItemDelegate>

class QPainter;
class QRect;
class QWidget;

namespace mivotra {

// The least contrast a focus frame keeps with what lies around it.
inline constexpr double kMinFocusContrast = 3.0;

// The contrast ratio of two colours as WCAG 2 defines it, from 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);
// The style's highlight colour where it stands out from the background by
// kMinFocusContrast, else the text colour that goes with the background.
QColor FocusFrameColor(const QPalette& colors, QPalette::ColorRole background,
                       QPalette::ColorRole text);
// Whether the user has moved the focus with the keyboard in widget's window
// (Qt marks the window on Tab, Shift+Tab and the arrow keys that move it).
bool ShowsKeyboardCues(const QWidget* widget);
// A one-pixel frame just inside rect.
void DrawFocusFrame(QPainter& dc, const QRect& rect, const QColor& color);

// Draws a list's lines as the style does, the current one framed once the
// list has the focus and the window shows keyboard cues.
class CCurrentLineDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace mivotra
