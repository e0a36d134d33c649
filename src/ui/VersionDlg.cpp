#include "ui/VersionDlg.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QString>
#include <algorithm>
#include <string_view>

#include "res/Texts.h"
#include "ui/DialogUnits.h"
#include "ui/Icons.h"
#include "ui/QtText.h"

namespace mivotra {
namespace {

// A text control of the template, widened up to maxRight where the stand-in
// font's Latin letters, wider than the original's, would cut the text.
QLabel* MakeText(QWidget* parent, const char* name, std::string_view text, QRect geometry,
                 int maxRight) {
  auto* label = new QLabel(QtText(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const QSize need = label->sizeHint();
  if (need.width() > geometry.width())
    geometry.setWidth(std::min(need.width(), maxRight - geometry.left() + 1));
  if (need.height() > geometry.height()) geometry.setHeight(need.height());
  label->setGeometry(geometry);
  return label;
}

}  // namespace

CVersionDlg::CVersionDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("CVersionDlg"));
  setWindowTitle(QtText(texts::VersionWindowCaption));
  setFont(DialogFont(9));
  const DialogUnits units(font());
  setFixedSize(units.Size(235, 55));

  // An icon control takes the icon's own size, whatever the layout gives it.
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("iconLabel"));
  icon->setAccessibleName(QtText(texts::VersionIconName));
  icon->setPixmap(QPixmap::fromImage(LoadIconImage(kAppIconId, icon->devicePixelRatioF())));
  icon->setGeometry(QRect(units.Point(11, 17), kIconSize));

  const QRect okRect = units.Rect(178, 7, 50, 16);
  MakeText(this, "nameLabel", texts::VersionWindowName, units.Rect(40, 10, 119, 8),
           okRect.left() - units.X(2));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setGeometry(okRect);
  ok->setDefault(true);
  ok->setFocus(Qt::OtherFocusReason);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  MakeText(this, "dateLabel", texts::VersionWindowDate, units.Rect(40, 40, 119, 8),
           width() - units.X(4));
}

CVersionDlg::~CVersionDlg() = default;

}  // namespace mivotra
