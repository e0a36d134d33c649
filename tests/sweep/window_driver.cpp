// The window program as it starts (RunApplication), with a user who does what
// a sweep needs: once the window has opened its database it presses 更新実行,
// answers every box with OK, closes the update error window with 閉じる, and
// closes the main window when the run is over. What the window shows goes to
// standard error in the console's form, so that the sweep reads both programs
// alike:
//   [caption]\ntext\n\n   a message box
//   caption\n             the main window's caption, each time it changes
//   [caption]\ntext       the update error window
// A line "window-driver: ..." tells what else the window got wrong.
// Exit status as the console's: 0 the run updated, 1 it did not, 3 the window
// offered no Run (no database open); RunApplication's own when it is not 0.
//
// The user acts only when the program waits for input (its event loop is about
// to block with nothing posted), so that every run does the same in the same
// order; under the fault library the user's own work is not counted.

#include <dlfcn.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/Application.h"
#include "app/PatchDlg.h"
#include "ui/UpdateErrorMsgDlg.h"

namespace {

using mivotra::CPatchDlg;

// The fault library's pause, when it is loaded; looked up before anything
// counts.
using PauseFunction = void (*)(int);
PauseFunction g_pause = nullptr;

class NotCounted {
 public:
  NotCounted() {
    if (g_pause) g_pause(1);
  }
  ~NotCounted() {
    if (g_pause) g_pause(-1);
  }
  NotCounted(const NotCounted&) = delete;
  NotCounted& operator=(const NotCounted&) = delete;
};

int g_status = 3;

void Write(const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

void Write(const QString& text) {
  Write(text.toStdString());
}

std::string Box(const QString& caption, const QString& text) {
  std::string block = "[" + caption.toStdString() + "]\n" + text.toStdString();
  if (block.back() != '\n') block += '\n';
  return block + '\n';
}

template <class Call>
void Post(QObject* context, Call call) {
  QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}

class User final : public QObject {
 public:
  // A child of the application, made with it (before any window), so that it
  // meets the main window as it is first shown and answers every box.
  User() : QObject(QCoreApplication::instance()) {
    QCoreApplication::instance()->installEventFilter(this);
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &User::WhenIdle);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::Show && type != QEvent::WindowTitleChange && type != QEvent::Paint)
      return false;
    NotCounted quiet;
    if (!m_window && type == QEvent::Show) m_window = qobject_cast<CPatchDlg*>(watched);
    if (m_window && watched == m_window) {
      if (type == QEvent::WindowTitleChange) Write(m_window->windowTitle() + "\n");
      if (type == QEvent::Paint) m_painted = true;
    } else if (type == QEvent::Show && watched->isWidgetType() &&
               static_cast<QWidget*>(watched)->isWindow()) {
      m_unanswered.insert(watched);
    }
    return false;
  }

 private:
  enum class Stage { Opening, Running, Closing };

  void WhenIdle() {
    NotCounted quiet;
    QWidget* modal = QApplication::activeModalWidget();
    if (!m_window) {
      // Before the main window: a box of the start-up's own.
      if (modal != nullptr) Answer(modal);
    } else if (modal != nullptr && modal != m_window) {
      Answer(modal);
    } else if (m_stage == Stage::Opening && m_painted) {
      // The first paint queued the opening of the database; now it is done.
      m_stage = Stage::Running;
      Post(this, [this] { PressRun(); });
    }
  }

  // Each box is written once; one that is still open when the program waits
  // again (its button's work failed) is answered again.
  void Answer(QWidget* modal) {
    const bool fresh = m_unanswered.erase(modal) > 0;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (fresh) Write(Box(box->windowTitle(), box->text()));
      Post(box, [box] {
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
      });
    } else if (auto* error = qobject_cast<mivotra::CUpdateErrorMsgDlg*>(modal)) {
      if (fresh) Write("[" + error->windowTitle().toStdString() + "]\n" + error->m_strErrorText);
      Post(error, [error] {
        if (auto* close = error->findChild<QPushButton*>(QStringLiteral("closeButton")))
          close->click();
      });
    } else {
      // The file dialog, the version window: cancelled.
      Post(modal, [modal] { modal->close(); });
    }
  }

  void PressRun() {
    auto* run = m_window->findChild<QAbstractButton*>(QStringLiteral("runButton"));
    if (run == nullptr || !run->isEnabled()) return CloseLater();
    std::optional<QMouseEvent> press, release;
    {
      NotCounted quiet;
      const QPointF at = run->rect().center();
      const QPointF global = run->mapToGlobal(at);
      press.emplace(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
      release.emplace(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
    }
    // The whole run happens inside the release, its boxes answered meanwhile.
    QApplication::sendEvent(run, &*press);
    QApplication::sendEvent(run, &*release);
    {
      NotCounted quiet;
      g_status = m_window->Session().LastRun().end == mivotra::RunRecord::End::Updated ? 0 : 1;
      CheckControls(*run);
    }
    CloseLater();
  }

  // As after any run: Close, and Run over an open database or the search.
  void CheckControls(const QAbstractButton& run) {
    const auto* search = m_window->findChild<QAbstractButton*>(QStringLiteral("searchButton"));
    const bool connected = m_window->Session().Database().IsConnected();
    const bool searchEnabled = search != nullptr && search->isEnabled();
    const bool waiting = m_window->cursor().shape() != Qt::ArrowCursor;
    // The window menu's 閉じる, greyed while the window may not close.
    const auto* close = m_window->findChild<QAction*>(QStringLiteral("closeAction"));
    const bool closeEnabled = close != nullptr && close->isEnabled();
    if (closeEnabled && run.isEnabled() == connected && searchEnabled != connected && !waiting)
      return;
    char line[200];
    std::snprintf(line, sizeof line,
                  "window-driver: after the run close %d, run %d, search %d, %s cursor, over %s "
                  "database\n",
                  closeEnabled, run.isEnabled(), searchEnabled, waiting ? "the wait" : "the arrow",
                  connected ? "an open" : "no open");
    Write(std::string(line));
  }

  // After what the window queued meanwhile (a box it shows once its event
  // loop is back).
  void CloseLater() {
    NotCounted quiet;
    m_stage = Stage::Closing;
    Post(this, [this] { Close(); });
  }

  void Close() {
    // As the title bar's close button does.
    if (m_window->close()) return;
    NotCounted quiet;
    Write(std::string("window-driver: the window refused to close\n"));
    m_window->done(QDialog::Rejected);
  }

  CPatchDlg* m_window = nullptr;
  Stage m_stage = Stage::Opening;
  bool m_painted = false;
  std::set<QObject*> m_unanswered;
};

void MeetTheUser() {
  NotCounted quiet;
  new User();
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(MeetTheUser)

int main(int argc, char** argv) {
  // The user's work waits for a loop with nothing posted, which Qt's own
  // dispatcher tells (glib's says it is about to block at every turn).
  setenv("QT_NO_GLIB", "1", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // A window that never ends its run is a hang: the signal tells the sweep.
  alarm(120);
  g_pause = reinterpret_cast<PauseFunction>(dlsym(RTLD_DEFAULT, "mivotra_fault_pause"));
  const int status = mivotra::RunApplication(argc, argv);
  return status != 0 ? status : g_status;
}
