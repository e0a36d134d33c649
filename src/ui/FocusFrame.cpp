#include "ui/FocusFrame.h"

#include <QPainter>
#include <QRect>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace mivotra {
namespace {

double Linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& color) {
  const QColor rgb = color.toRgb();
  return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) + 0.0722 * Linear(rgb.blueF());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor FocusFrameColor(const QPalette& colors, QPalette::ColorRole background,
                       QPalette::ColorRole text) {
  const QColor highlight = colors.color(QPalette::Active, QPalette::Highlight);
  if (ContrastRatio(highlight, colors.color(QPalette::Active, background)) >= kMinFocusContrast)
    return highlight;
  // A palette's text colour is made to be read on its background.
  return colors.color(QPalette::Active, text);
}

bool ShowsKeyboardCues(const QWidget* widget) {
  const QWidget* top = widget->window();
  return top != nullptr && top->testAttribute(Qt::WA_KeyboardFocusChange);
}

void DrawFocusFrame(QPainter& dc, const QRect& rect, const QColor& color) {
  const int x = rect.x(), y = rect.y(), cx = rect.width(), cy = rect.height();
  dc.fillRect(QRect(x, y, cx, 1), color);
  dc.fillRect(QRect(x, y + cy - 1, cx, 1), color);
  dc.fillRect(QRect(x, y + 1, 1, cy - 2), color);
  dc.fillRect(QRect(x + cx - 1, y + 1, 1, cy - 2), color);
}

void CCurrentLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  // The style's own focus mark is too faint to find (Fusion's is a
  // translucent outline): it is left out, and ours drawn instead.
  QStyleOptionViewItem plain = option;
  plain.state &= ~QStyle::State_HasFocus;
  QStyledItemDelegate::paint(painter, plain, index);
  const bool focused = (option.state & QStyle::State_HasFocus) != 0;
  if (!focused || !(option.state & QStyle::State_KeyboardFocusChange)) return;
  const bool selected = (option.state & QStyle::State_Selected) != 0;
  const QColor color =
      selected ? FocusFrameColor(option.palette, QPalette::Highlight, QPalette::HighlightedText)
               : FocusFrameColor(option.palette, QPalette::Base, QPalette::Text);
  DrawFocusFrame(*painter, option.rect, color);
}

}  // namespace mivotra
