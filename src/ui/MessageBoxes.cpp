#include "ui/MessageBoxes.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
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

int CaptionWidth(const QString& caption) {
  // Window managers draw the title in the title font, mostly bold, beside
  // the window's icon and its buttons; room for four of those, each about
  // as wide as the title bar is high.
  QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  font.setBold(true);
  const QFontMetrics metrics(font);
  const int bar = metrics.height() + 10;
  return metrics.horizontalAdvance(caption) + 4 * bar + 16;
}

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
  // As on Windows, a box is never narrower than its caption: a row of that
  // width below the others (set up last, as the box rebuilds its layout
  // when its icon or buttons change).
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const QMargins margins = grid->contentsMargins();
    const int width = CaptionWidth(box.windowTitle()) - margins.left() - margins.right();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  box.exec();
}

void ShowAppMessage(QWidget* parent, std::string_view text) {
  ShowMessageBox(parent, text, texts::DisplayName, MessageIcon::Exclamation);
}

}  // namespace mivotra
