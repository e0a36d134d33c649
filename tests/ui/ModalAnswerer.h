#pragma once
// Answers the real modal windows a test provokes, and records what they said:
// message boxes get OK, the file dialog gets a chosen path, the error window
// is closed. A hook may look at the main window while a box is open. Each
// record keeps the cursor shown over the window and over its owner.

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/UpdateErrorMsgDlg.h"

namespace mivotra::test {

// The cursor a user sees over widget: the application's override if there
// is one, else the widget's own, which it takes from its parents inside one
// window.
inline Qt::CursorShape SeenCursor(const QWidget* widget) {
  if (const QCursor* override = QApplication::overrideCursor()) return override->shape();
  return widget != nullptr ? widget->cursor().shape() : Qt::ArrowCursor;
}

struct SeenCursors {
  Qt::CursorShape window;
  Qt::CursorShape owner;
};

inline SeenCursors CursorsOf(const QWidget* window) {
  return {SeenCursor(window), SeenCursor(window->parentWidget())};
}

struct SeenBox {
  QString text;
  QString caption;
  QMessageBox::Icon icon;
  SeenCursors cursors;
};

struct SeenErrorWindow {
  std::string text;
  SeenCursors cursors;
};

class ModalAnswerer : public QObject {
 public:
  ModalAnswerer() {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Answer(); });
    m_timer.start();
  }

  std::vector<SeenBox> boxes;
  std::vector<SeenErrorWindow> errorWindows;
  std::deque<QString> fileChoices;  // empty: the dialog is cancelled
  std::function<void(const SeenBox&)> onBox;

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      const SeenBox seen{box->text(), box->windowTitle(), box->icon(), CursorsOf(box)};
      boxes.push_back(seen);
      if (onBox) onBox(seen);
      box->button(QMessageBox::Ok)->click();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      // Its accept is queued, so the next tick may find it still open: that
      // one must not take the next choice. Yet a dialog once stayed open after
      // its answer (Debian 13, under load), so one still open a second later
      // gets the same answer again, and says how it looks.
      if (dialog != m_answeredDialog) {
        m_answeredDialog = dialog;
        m_choice = fileChoices.empty() ? QString() : fileChoices.front();
        if (!fileChoices.empty()) fileChoices.pop_front();
      } else if (m_answeredAt.elapsed() < 1000) {
        return;
      } else {
        qWarning(
            "the file dialog is still open after its answer: in %s, name field \"%s\", "
            "selected %s",
            qPrintable(dialog->directory().absolutePath()), qPrintable(NameField(dialog)->text()),
            qPrintable(dialog->selectedFiles().join(QStringLiteral(", "))));
      }
      m_answeredAt.start();
      if (m_choice.isEmpty()) {
        dialog->reject();
      } else {
        // As a user would: the whole path typed into the name field, then Open.
        NameField(dialog)->setText(m_choice);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
      }
    } else if (auto* window = qobject_cast<CUpdateErrorMsgDlg*>(modal)) {
      errorWindows.push_back({window->m_strErrorText, CursorsOf(window)});
      window->reject();
    }
  }

  // Qt's own file dialog always has it.
  static QLineEdit* NameField(QFileDialog* dialog) {
    return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  }

  QTimer m_timer;
  QPointer<QFileDialog> m_answeredDialog;
  QString m_choice;  // empty: cancel
  QElapsedTimer m_answeredAt;
};

}  // namespace mivotra::test
