#include "ui/DialogUnits.h"

#include <QFontInfo>
#include <QStringList>
#include <algorithm>
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

DialogUnits::DialogUnits(const QFont& font) : DialogUnits(ForEm(QFontInfo(font).pixelSize())) {}

DialogUnits DialogUnits::ForEm(int emPixels) {
  // MS UI Gothic's Latin letters average 0.47 em: 6 x 12 pixels at 9 points
  // and 7 x 15 at 11 points on a 96-dpi screen.
  const int em = std::max(1, emPixels);
  return DialogUnits(std::max(1, MulDiv(em, 47, 100)), em);
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
