#pragma once
// Dialog layouts are kept in dialog units, as the windows were designed, and
// turned into pixels from the dialog font, so that a larger font grows the
// whole window instead of clipping its texts.

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace mivotra {

// The Japanese UI font the dialogs were designed in ("MS UI Gothic"), or the
// stand-in for it where that font is missing, at the given point size.
QFont DialogFont(int pointSize, int weight = 400);

class DialogUnits {
 public:
  // Base units of the font at the screen's logical dpi, as Windows has them
  // for the dialogs' own font: its em height in pixels, and for the average
  // width that font's Latin letters, a little under half an em. Taken from
  // the em rather than the stand-in font's metrics, whose line height is
  // half as much again and whose Latin letters are wider, so that the
  // windows keep the size they were designed at.
  explicit DialogUnits(const QFont& font);
  static DialogUnits ForEm(int emPixels);
  DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

  int BaseX() const { return m_baseX; }
  int BaseY() const { return m_baseY; }

  // Horizontal units are quarters of the average width, vertical units
  // eighths of the height, rounded to the nearest pixel.
  int X(int units) const;
  int Y(int units) const;
  QPoint Point(int x, int y) const { return {X(x), Y(y)}; }
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }
  QRect Rect(int x, int y, int width, int height) const;

 private:
  int m_baseX;
  int m_baseY;
};

// a * b / c rounded half away from zero, in 64-bit so that no product overflows.
int MulDiv(int a, int b, int c);

}  // namespace mivotra
