// Icons on a screen of twice the pixels (this test runs with
// QT_SCALE_FACTOR=2): drawn from the drawing at the device pixel ratio, not
// enlarged from 32-pixel images.

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QTest>

#include "ui/IconButton.h"
#include "ui/Icons.h"
#include "ui/VersionDlg.h"

using mivotra::CIconButton;

class TestHiDpi : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { QCOMPARE(qApp->devicePixelRatio(), 2.0); }

  void theIconButtonDrawsItsIconsAtTheDevicePixelRatio() {
    QWidget window;
    auto* button = new CIconButton(&window);
    button->setGeometry(10, 10, 112, 37);
    button->setText(QStringLiteral("更新実行"));
    button->Configure(mivotra::kRunIconId, CIconButton::MAKE_GRAY_ICON, "データベース更新");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const QImage& icon : {button->ActiveIcon(), button->IdleIcon()}) {
      QCOMPARE(icon.size(), QSize(64, 64));
      QCOMPARE(icon.devicePixelRatio(), 2.0);
      QCOMPARE(icon.deviceIndependentSize(), QSizeF(32, 32));
    }
    // What the screen gets in the icon's place is the 64-pixel drawing itself.
    const QImage shown = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.devicePixelRatio(), 2.0);
    QRect caption = button->rect();
    const QRect icon = button->LayoutIcon(button->rect(), QSize(32, 32), true, false, caption);
    QImage iconPixels = shown.copy(QRect(icon.topLeft() * 2, icon.size() * 2));
    iconPixels.setDevicePixelRatio(1.0);
    QImage expected(64, 64, QImage::Format_RGB32);
    expected.fill(button->palette().color(QPalette::Button));
    {
      QImage pixels = button->IdleIcon();
      pixels.setDevicePixelRatio(1.0);  // pixel for pixel
      QPainter painter(&expected);
      painter.drawImage(0, 0, pixels);
    }
    QCOMPARE(iconPixels, expected);
  }

  void theVersionWindowsIconIsSharp() {
    mivotra::CVersionDlg dialog;
    const QPixmap icon = dialog.findChild<QLabel*>(QStringLiteral("iconLabel"))->pixmap();
    QCOMPARE(icon.size(), QSize(64, 64));
    QCOMPARE(icon.devicePixelRatio(), 2.0);
  }
};

QTEST_MAIN(TestHiDpi)
#include "test_HiDpi.moc"
