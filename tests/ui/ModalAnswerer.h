#pragma once
// Answers the real modal windows a test provokes, and records what they said:
// message boxes get OK, the file dialog gets a chosen path, the error window
// is closed. A hook may look at the main window while a box is open.

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/UpdateErrorMsgDlg.h"

namespace mivotra::test {

struct SeenBox {
  QString text;
  QString caption;
  QMessageBox::Icon icon;
};

class ModalAnswerer : public QObject {
 public:
  ModalAnswerer() {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Answer(); });
    m_timer.start();
  }

  std::vector<SeenBox> boxes;
  std::vector<std::string> errorWindows;
  std::deque<QString> fileChoices;  // empty: the dialog is cancelled
  std::function<void(const SeenBox&)> onBox;

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      const SeenBox seen{box->text(), box->windowTitle(), box->icon()};
      boxes.push_back(seen);
      if (onBox) onBox(seen);
      box->button(QMessageBox::Ok)->click();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      if (fileChoices.empty()) {
        dialog->reject();
      } else {
        dialog->selectFile(fileChoices.front());
        fileChoices.pop_front();
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
      }
    } else if (auto* window = qobject_cast<CUpdateErrorMsgDlg*>(modal)) {
      errorWindows.push_back(window->m_strErrorText);
      window->reject();
    }
  }

  QTimer m_timer;
};

}  // namespace mivotra::test
