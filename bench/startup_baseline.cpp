// The yardstick for the window's start-up (bench/startup.sh): Qt Widgets and
// one empty dialog of the main window's size, nothing else, measured by the
// same first-paint hook as MivotraPatch20091109.

#include <QApplication>
#include <QDialog>

#include "FirstPaintExit.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  // The main window's size with the stand-in dialog font (260 x 183 dialog units).
  dialog.setFixedSize(585, 480);
  const auto firstPaint = mivotra::FirstPaintExit::FromEnvironment(dialog);
  dialog.exec();
  return 0;
}
