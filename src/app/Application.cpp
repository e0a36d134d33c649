#include "app/Application.h"

#include <QApplication>

#include "app/PatchDlg.h"
#include "app/QtTranslations.h"
#include "platform/InstanceGuard.h"
#include "res/Texts.h"
#include "res/Version.h"
#include "ui/Icons.h"
#include "ui/MessageBoxes.h"
#include "ui/QtText.h"

namespace mivotra {

int RunApplication(int argc, char** argv,
                   const std::function<std::unique_ptr<QObject>(QWidget& window)>& watch) {
  QApplication app(argc, argv);
  InstallQtTranslations(app);
  QApplication::setApplicationName(QtText(texts::DisplayName));
  QApplication::setApplicationVersion(QtText(version::Text));
  // Desktops match the window to its entry by this name (Wayland) or by the
  // entry's StartupWMClass (X11).
  QGuiApplication::setDesktopFileName(QtText(version::AppId));
  QApplication::setWindowIcon(LoadIcon(kAppIconId));

  InstanceGuard guard(kInstanceGuardName);
  if (!guard.Acquired()) {
    ShowAppMessage(nullptr, texts::AlreadyRunning);
    return 0;
  }
  CPatchDlg dialog;
  dialog.OnInitDialog(CPatchDlg::Opening::AfterFirstPaint);
  const std::unique_ptr<QObject> watcher = watch ? watch(dialog) : nullptr;
  dialog.exec();
  return 0;
}

}  // namespace mivotra
