// The second yardstick for the window's start-up (bench/startup.sh): the empty
// dialog of bench_startup_baseline plus one label of Japanese text in the
// program's dialog font, so that finding and loading a CJK font and shaping
// its glyphs count on this side too. What ours costs beyond this is its own.

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QString>

#include "FirstPaintExit.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  // The font of the main window: DialogFont(11) in src/ui/DialogUnits.cpp as
  // CPatchDlg sets it (src/app/PatchDlg.cpp). Spelled out here because that
  // function lives in mivotra_ui, which would link in the whole program.
  QFont font;
  font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("Noto Sans CJK JP")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(11);
  font.setWeight(QFont::Normal);
  dialog.setFont(font);
  // The main window's size with the stand-in dialog font (260 x 183 dialog units).
  dialog.setFixedSize(585, 480);
  QLabel label(QStringLiteral("データベース更新"), &dialog);
  label.move(16, 16);
  const auto firstPaint = mivotra::FirstPaintExit::FromEnvironment(dialog);
  dialog.exec();
  return 0;
}
