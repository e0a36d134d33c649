// MivotraPatch20091109: start-up. One copy per user; the main window runs
// until the user closes it.

#include <QApplication>

#include "app/FirstPaintExit.h"
#include "app/PatchDlg.h"
#include "platform/InstanceGuard.h"
#include "res/Texts.h"
#include "ui/Icons.h"
#include "ui/MessageBoxes.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(mivotra::texts::DisplayName.data()));
  QGuiApplication::setDesktopFileName(QString::fromUtf8(mivotra::texts::DisplayName.data()));
  QApplication::setWindowIcon(mivotra::LoadIcon(mivotra::kAppIconId));

  mivotra::InstanceGuard guard(mivotra::kInstanceGuardName);
  if (!guard.Acquired()) {
    mivotra::ShowAppMessage(nullptr, mivotra::texts::AlreadyRunning);
    return 0;
  }
  mivotra::CPatchDlg dialog;
  dialog.OnInitDialog();
  // Start-up measurement only: nothing happens unless MIVOTRA_EXIT_AFTER_FIRST_PAINT is set.
  const auto firstPaint = mivotra::FirstPaintExit::FromEnvironment(dialog);
  dialog.exec();
  return 0;
}
