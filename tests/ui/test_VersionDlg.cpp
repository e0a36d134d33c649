// The version window: its texts and icon, and the ways it closes.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/DialogUnits.h"
#include "ui/VersionDlg.h"

using mivotra::CVersionDlg;

class TestVersionDlg : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void showsNameVersionDateAndIcon() {
    CVersionDlg dialog;
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("バージョン情報 MivotraPatch20091109"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("nameLabel"))->text(),
             QStringLiteral("MivotraPatch20091109 Version 1.0"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("dateLabel"))->text(),
             QStringLiteral("最終更新日： 2008/08/18 14:35"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("okButton"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    auto* icon = dialog.findChild<QLabel*>(QStringLiteral("iconLabel"));
    QVERIFY(!icon->pixmap().isNull());
    QCOMPARE(icon->size(), QSize(32, 32));

    const mivotra::DialogUnits units(dialog.font());
    QCOMPARE(dialog.size(), units.Size(235, 55));
    QCOMPARE(icon->pos(), units.Point(11, 17));
    // Every control lies inside the window.
    for (QWidget* child : dialog.findChildren<QWidget*>()) {
      QVERIFY2(dialog.rect().contains(child->geometry()), qPrintable(child->objectName()));
    }
    mivotra::test::SaveScreenshot(&dialog, QStringLiteral("version_window"));
  }

  // 235 x 55 units are 353 x 83 pixels at 96 dpi, as the original; each text
  // shows whole in the stand-in font, clear of the OK button.
  void hasTheOriginalsSizeAndItsTextsFit() {
    CVersionDlg dialog;
    dialog.show();
    QCOMPARE(dialog.size(), QSize(353, 83));
    const QRect ok = dialog.findChild<QPushButton*>(QStringLiteral("okButton"))->geometry();
    for (const char* name : {"nameLabel", "dateLabel"}) {
      auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
      const QSize need = label->fontMetrics().size(0, label->text());
      QVERIFY2(label->width() >= need.width() && label->height() >= need.height(), name);
      QVERIFY2(!label->geometry().intersects(ok), name);
      QVERIFY2(dialog.rect().contains(label->geometry()), name);
    }
  }

  void closesBy_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(QDialog::Accepted);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(QDialog::Accepted);
    QTest::newRow("Esc") << int(Qt::Key_Escape) << int(QDialog::Rejected);
  }
  void closesBy() {
    QFETCH(int, key);
    QFETCH(int, result);
    CVersionDlg dialog;
    mivotra::test::WhenModalOpens(QStringLiteral("CVersionDlg"), [key](QWidget* modal) {
      QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : modal;
      QTest::keyClick(target, Qt::Key(key));
    });
    QCOMPARE(dialog.exec(), result);
  }

  // Chosen twice from the menu: two windows, one after the other, each fresh.
  void opensTwiceInARow() {
    for (int i = 0; i < 2; ++i) {
      CVersionDlg dialog;
      bool seen = false;
      mivotra::test::WhenModalOpens(QStringLiteral("CVersionDlg"), [&seen](QWidget* modal) {
        seen = true;
        modal->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
      });
      QCOMPARE(dialog.exec(), int(QDialog::Accepted));
      QVERIFY(seen);
    }
  }
};

QTEST_MAIN(TestVersionDlg)
#include "test_VersionDlg.moc"
