#pragma once
// Helpers shared by the window tests: screenshots for a person to look at,
// and answers to real modal windows.

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace mivotra::test {

// Where a screenshot called name goes: <name>.png under
// $MIVOTRA_SCREENSHOT_DIR, or under "screenshots" in the current folder.
inline QString ScreenshotPath(const QString& name) {
  QString folder = qEnvironmentVariable("MIVOTRA_SCREENSHOT_DIR");
  if (folder.isEmpty()) folder = QDir::current().filePath(QStringLiteral("screenshots"));
  QDir().mkpath(folder);
  return QDir(folder).filePath(name + QStringLiteral(".png"));
}

// Saves what widget shows, for a person to look at. Returns the file's path.
inline QString SaveScreenshot(QWidget* widget, const QString& name) {
  const QString path = ScreenshotPath(name);
  widget->grab().save(path);
  return path;
}

// The main window as the program sets it up: initialised and shown; it looks
// for its database after its first paint, which its caption then tells.
template <class Window>
void OpenWindow(Window& window) {
  window.OnInitDialog();
  window.show();
  QTRY_VERIFY(!window.windowTitle().isEmpty());
}

// Once a modal window named objectName is the active modal window, hands
// it to answer (which must close it). Polls instead of sleeping, and gives up
// after timeoutMs so that a window that never opens cannot hang the run.
inline void WhenModalOpens(const QString& objectName, std::function<void(QWidget*)> answer,
                           int timeoutMs = 5000) {
  auto* timer = new QTimer;
  const QDeadlineTimer deadline(timeoutMs);
  QObject::connect(timer, &QTimer::timeout, [timer, objectName, answer, deadline] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool found = modal != nullptr && modal->objectName() == objectName;
    if (!found && !deadline.hasExpired()) return;
    timer->stop();
    timer->deleteLater();
    if (found) answer(modal);
  });
  timer->start(10);
}

}  // namespace mivotra::test
