#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>
#include <cstdint>
#include <cstdlib>

namespace mivotra {

QFont DialogFont(int pointSize, int weight) {
  QFont font;
  // Noto Sans CJK JP stands in where the Windows font is not installed.
  font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("Noto Sans CJK JP")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(pointSize);
  font.setWeight(static_cast<QFont::Weight>(weight));
  return font;
}

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  m_baseX = (width / 26 + 1) / 2;
  m_baseY = metrics.height();
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t divisor = c;
  const std::int64_t magnitude =
      (std::llabs(product) + std::llabs(divisor) / 2) / std::llabs(divisor);
  return static_cast<int>((product < 0) != (divisor < 0) ? -magnitude : magnitude);
}

int DialogUnits::X(int units) const {
  return MulDiv(units, m_baseX, 4);
}

int DialogUnits::Y(int units) const {
  return MulDiv(units, m_baseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  // Convert the edges, not the size, so that neighbouring controls meet as designed.
  const int left = X(x);
  const int top = Y(y);
  return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

}  // namespace mivotra
