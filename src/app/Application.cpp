#include "app/Application.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/PatchDlg.h"
#include "app/QtTranslations.h"
#include "l10n/Translations.h"
#include "platform/InstanceGuard.h"
#include "platform/QtPlatform.h"
#include "res/Texts.h"
#include "res/Version.h"
#include "ui/Icons.h"
#include "ui/MessageBoxes.h"
#include "ui/QtText.h"

namespace mivotra {
namespace {

// The last net under every event handler: the program's own handlers catch
// what their work throws, and what Qt's own throw (Qt reports running out
// of memory with std::bad_alloc) is told here, before it could pass up
// through the event loop.
class Application final : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
    }
    // Later: this may be the middle of a paint.
    ShowUnexpectedExceptionLater(nullptr);
    return false;
  }
};

// Without an application object there is no box to show.
void TellUnexpectedExceptionOnStderr() noexcept {
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(texts::DisplayName.size()),
               texts::DisplayName.data(), static_cast<int>(texts::UnhandledException.size()),
               texts::UnhandledException.data());
}

}  // namespace

int RunApplication(int argc, char** argv) {
  std::optional<Application> app;
  try {
    // Qt reads it once, as the application object is made; the programs
    // the window starts (the file manager) get the user's own again.
    const std::string platform =
        ChooseQtPlatform([](const char* name) { return std::getenv(name); });
    if (!platform.empty()) qputenv("QT_QPA_PLATFORM", platform.c_str());
    app.emplace(argc, argv);
    if (!platform.empty()) qunsetenv("QT_QPA_PLATFORM");
  } catch (...) {
    TellUnexpectedExceptionOnStderr();
    return 1;
  }
  try {
    InstallQtTranslations(*app);
    // The engine's and the update's descriptions in the error reports.
    l10n::InstallTranslations();
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
    {
      CPatchDlg dialog;
      dialog.OnInitDialog();
      dialog.exec();
    }
    // No event loop comes back to show it.
    ShowPendingUnexpectedException();
  } catch (...) {
    // Start-up (or exec() itself) threw: the window, if any, is gone already.
    ShowUnexpectedException(nullptr);
    return 1;
  }
  return 0;
}

}  // namespace mivotra
