#include "ui/DBMsgDlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QString>

#include "res/Texts.h"
#include "ui/DialogUnits.h"
#include "ui/QtText.h"

namespace mivotra {

CDBMsgDlg::CDBMsgDlg() : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("CDBMsgDlg"));
  setFont(DialogFont(14));
  const DialogUnits units(font());
  setFixedSize(units.Size(116, 22));

  const auto text = texts::BusyPopupText;
  auto* label = new QLabel(QtText(text), this);
  label->setObjectName(QStringLiteral("busyLabel"));
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignCenter);
  label->setGeometry(units.Rect(0, 0, 116, 22));
}

CDBMsgDlg::~CDBMsgDlg() = default;

bool CDBMsgDlg::IsCreated() const {
  return testAttribute(Qt::WA_WState_Created);
}

bool CDBMsgDlg::Create(QWidget* parent) {
  if (IsCreated()) return false;
  // Owned by the main window, so it goes with it; still a window of its own.
  setParent(parent, windowFlags());
  create();
  hide();

  QRect area;
  if (parent != nullptr && parent->isVisible()) {
    area = parent->window()->frameGeometry();
  } else {
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) area = screen->availableGeometry();
  }
  if (area.isValid()) move(area.center() - rect().center());
  return true;
}

}  // namespace mivotra
