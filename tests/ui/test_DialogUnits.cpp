// Dialog units to pixels, and the Japanese dialog font they are taken from.

#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>

#include "ui/DialogUnits.h"

using mivotra::DialogUnits;

class TestDialogUnits : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void mulDivRoundsHalfAwayFromZero_data() {
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("result");
    QTest::newRow("exact") << 2 << 6 << 4 << 3;
    QTest::newRow("rounds down") << 3 << 7 << 8 << 3;  // 2.625
    QTest::newRow("rounds up") << 5 << 7 << 4 << 9;    // 8.75
    QTest::newRow("half up") << 1 << 6 << 4 << 2;      // 1.5
    QTest::newRow("negative half away") << -1 << 6 << 4 << -2;
    QTest::newRow("negative divisor") << 1 << 6 << -4 << -2;
    QTest::newRow("no overflow") << 2000000000 << 3 << 4 << 1500000000;
    QTest::newRow("divide by zero") << 5 << 5 << 0 << -1;
  }
  void mulDivRoundsHalfAwayFromZero() {
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(int, result);
    QCOMPARE(mivotra::MulDiv(a, b, c), result);
  }

  // Base units of a 15-pixel "MS UI Gothic" (7 x 15): the error window's
  // template in pixels, converted edge by edge.
  void convertsTemplateRectangles_data() {
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("window size") << QRect(0, 0, 385, 287) << QRect(0, 0, 674, 538);
    QTest::newRow("close button") << QRect(332, 268, 50, 17) << QRect(581, 503, 88, 31);
    QTest::newRow("edit box") << QRect(4, 4, 377, 260) << QRect(7, 8, 660, 487);
    QTest::newRow("copy button") << QRect(260, 268, 68, 17) << QRect(455, 503, 119, 31);
  }
  void convertsTemplateRectangles() {
    QFETCH(QRect, units);
    QFETCH(QRect, pixels);
    const DialogUnits du(7, 15);
    QCOMPARE(du.Rect(units.x(), units.y(), units.width(), units.height()), pixels);
    // Neighbours that meet in units meet in pixels.
    const QRect left = du.Rect(units.x(), units.y(), 3, units.height());
    const QRect right = du.Rect(units.x() + 3, units.y(), units.width() - 3, units.height());
    QCOMPARE(left.right() + 1, right.left());
  }

  void baseUnitsComeFromTheFont() {
    const QFont small = mivotra::DialogFont(9);
    const QFont large = mivotra::DialogFont(18);
    const DialogUnits smallUnits(small);
    const DialogUnits largeUnits(large);
    const QFontMetrics metrics(small);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    QVERIFY(qAbs(smallUnits.BaseX() * 52 - letters) <= 26);
    QCOMPARE(smallUnits.BaseY(), metrics.height());
    // A text line of 8 units holds one line of the font.
    QVERIFY(smallUnits.Y(8) >= metrics.height());
    // A larger font grows the whole dialog.
    QVERIFY(qAbs(largeUnits.BaseX() - 2 * smallUnits.BaseX()) <= 1);
    QVERIFY(qAbs(largeUnits.BaseY() - 2 * smallUnits.BaseY()) <= 2);
  }

  void dialogFontIsJapanese() {
    const QFont font = mivotra::DialogFont(11);
    QCOMPARE(font.pointSize(), 11);
    const QString family = QFontInfo(font).family();
    QVERIFY2(family == QStringLiteral("MS UI Gothic") || family.contains(QStringLiteral("CJK JP")),
             qPrintable(family));
    const QFontMetrics metrics(font);
    for (const QChar c : QStringLiteral("閉じるエラー内容をコピー")) QVERIFY(metrics.inFont(c));
  }
};

QTEST_MAIN(TestDialogUnits)
#include "test_DialogUnits.moc"
