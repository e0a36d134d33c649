// Dialog units to pixels, and the Japanese dialog font they are taken from.

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <algorithm>

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

  // The em in pixels gives both base units, as the original font has them.
  void baseUnitsFollowTheEm_data() {
    QTest::addColumn<int>("em");
    QTest::addColumn<int>("baseX");
    QTest::newRow("9 pt at 96 dpi") << 12 << 6;
    QTest::newRow("11 pt at 96 dpi") << 15 << 7;
    QTest::newRow("11 pt at 120 dpi") << 18 << 8;
    QTest::newRow("9 pt at 144 dpi") << 18 << 8;
    QTest::newRow("11 pt at 144 dpi") << 22 << 10;
    QTest::newRow("none") << 0 << 1;
  }
  void baseUnitsFollowTheEm() {
    QFETCH(int, em);
    QFETCH(int, baseX);
    const DialogUnits units = DialogUnits::ForEm(em);
    QCOMPARE(units.BaseX(), baseX);
    QCOMPARE(units.BaseY(), std::max(1, em));
  }

  // The dialog fonts at the screen's logical dpi (the desktop test runs the
  // program at 120 dpi too): at 96 dpi the base units of Windows, 6 x 12 and
  // 7 x 15, and so the windows' sizes there.
  void baseUnitsComeFromTheFontAtTheScreensDpi() {
    const qreal dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    for (const int points : {9, 11, 14}) {
      const DialogUnits units(mivotra::DialogFont(points));
      const int em = qRound(points * dpi / 72.0);
      QCOMPARE(units.BaseY(), em);
      QCOMPARE(units.BaseX(), DialogUnits::ForEm(em).BaseX());
    }
    if (qRound(dpi) == 96) {
      QCOMPARE(DialogUnits(mivotra::DialogFont(9)).Size(235, 55), QSize(353, 83));
      QCOMPARE(DialogUnits(mivotra::DialogFont(11)).Size(260, 183), QSize(455, 343));
      QCOMPARE(DialogUnits(mivotra::DialogFont(11)).Size(385, 287), QSize(674, 538));
    }
    // A larger font grows the whole dialog.
    const DialogUnits small(mivotra::DialogFont(9));
    const DialogUnits large(mivotra::DialogFont(18));
    QVERIFY(qAbs(large.BaseX() - 2 * small.BaseX()) <= 1);
    QVERIFY(qAbs(large.BaseY() - 2 * small.BaseY()) <= 1);
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
