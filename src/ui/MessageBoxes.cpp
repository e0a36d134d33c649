#include "ui/MessageBoxes.h"

#include <QMessageBox>
#include <QString>

#include "res/Texts.h"
#include "ui/QtText.h"

namespace mivotra {
namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Stop:
      return QMessageBox::Critical;
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Exclamation:
      return QMessageBox::Warning;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void ShowMessageBox(QWidget* parent, std::string_view text, std::string_view caption,
                    MessageIcon icon) {
  QMessageBox box(parent);
  box.setObjectName(QString::fromLatin1(kMessageBoxObjectName));
  box.setIcon(ToQtIcon(icon));
  box.setWindowTitle(QtText(caption));
  // Error reports may hold "<" and "&" from SQL text: never read them as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(QtText(text));
  box.setStandardButtons(QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.exec();
}

void ShowAppMessage(QWidget* parent, std::string_view text) {
  ShowMessageBox(parent, text, texts::DisplayName, MessageIcon::Exclamation);
}

}  // namespace mivotra
