// The busy popup: made once, owned by the main window, never shown.

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <memory>

#include "UiTestSupport.h"
#include "ui/DBMsgDlg.h"

using mivotra::CDBMsgDlg;

namespace {

// Holds the popup as a member, as the main window does.
struct Owner : QWidget {
  CDBMsgDlg popup;
};

}  // namespace

class TestDBMsgDlg : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void createdOnceAndNeverVisible() {
    Owner owner;
    QVERIFY(!owner.popup.IsCreated());
    QVERIFY(owner.popup.Create(&owner));
    QVERIFY(owner.popup.IsCreated());
    QCOMPARE(owner.popup.parentWidget(), &owner);
    QVERIFY(owner.popup.isWindow());
    const QPoint place = owner.popup.pos();
    // A second initialisation leaves it as it is.
    QVERIFY(!owner.popup.Create(&owner));
    QCOMPARE(owner.popup.pos(), place);
    QCOMPARE(owner.findChildren<CDBMsgDlg*>().size(), 1);

    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QApplication::processEvents();
    QVERIFY(!owner.popup.isVisible());
    owner.hide();
    owner.show();
    QVERIFY(!owner.popup.isVisible());
  }

  void centredOnTheScreenBeforeTheOwnerShows() {
    Owner owner;
    owner.popup.Create(&owner);
    const QRect area = owner.screen()->availableGeometry();
    QVERIFY((owner.popup.geometry().center() - area.center()).manhattanLength() <= 2);
  }

  void centredOnAVisibleOwner() {
    Owner owner;
    owner.setGeometry(100, 100, 500, 300);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    owner.popup.Create(&owner);
    const QPoint offset = owner.popup.geometry().center() - owner.frameGeometry().center();
    QVERIFY(offset.manhattanLength() <= 2);
    QVERIFY(!owner.popup.isVisible());
  }

  void showsTheNoticeCentredWithoutTitleBar() {
    Owner owner;
    owner.popup.Create(&owner);
    auto* label = owner.popup.findChild<QLabel*>(QStringLiteral("busyLabel"));
    QCOMPARE(label->text(), QStringLiteral("データベース最適化中"));
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QCOMPARE(label->geometry(), owner.popup.rect());
    QVERIFY(owner.popup.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(owner.popup.font().pointSize(), 14);
    mivotra::test::SaveScreenshot(&owner.popup, QStringLiteral("busy_popup"));
  }

  void goesWithItsOwner() {
    auto owner = std::make_unique<Owner>();
    owner->popup.Create(owner.get());
    owner->show();
    owner.reset();  // the member and the child window must not be freed twice
    for (QWidget* window : QApplication::topLevelWidgets()) {
      QVERIFY(qobject_cast<CDBMsgDlg*>(window) == nullptr);
    }
  }
};

QTEST_MAIN(TestDBMsgDlg)
#include "test_DBMsgDlg.moc"
