#include "ui/MessageBoxes.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
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

void ShowUnexpectedException(QWidget* parent) noexcept {
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      ShowAppMessage(parent, texts::UnhandledException);
      return;
    } catch (...) {
    }
  }
}

namespace {
bool g_unexpectedPending = false;
}  // namespace

void ShowUnexpectedExceptionLater(QWidget* parent, std::function<void()> recover) noexcept {
  bool& pending = g_unexpectedPending;
  if (pending) return;
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      // Queued on the application, so that it always comes and clears
      // `pending`; the window it is for may have gone meanwhile.
      const QPointer<QWidget> owner(parent);
      const bool owned = parent != nullptr;
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [owner, owned, recover] {
            if (!g_unexpectedPending) return;  // shown already
            g_unexpectedPending = false;
            if (recover && (owner || !owned)) recover();
            ShowUnexpectedException(owner);
          },
          Qt::QueuedConnection);
      pending = true;
      return;
    } catch (...) {
    }
  }
}

void ShowPendingUnexpectedException() noexcept {
  if (!g_unexpectedPending) return;
  g_unexpectedPending = false;
  ShowUnexpectedException(nullptr);
}

}  // namespace mivotra
