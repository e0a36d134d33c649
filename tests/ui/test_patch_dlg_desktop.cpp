// The main window as a desktop user meets it: its size and what fits in it,
// on small screens too; where the keyboard focus goes and that the log
// highlights only the line the user picks, and frames the current one after
// keyboard use; Enter on the log; the window menu from the keyboard;
// a file chosen as DATA3.MDB.

#include <QAction>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>

#include "ModalAnswerer.h"
#include "SessionFixture.h"
#include "UiTestSupport.h"
#include "app/PatchDlg.h"
#include "ui/FocusFrame.h"
#include "ui/IconButton.h"

using namespace mivotra;
using namespace mivotra::test;

namespace {

// 260 x 183 dialog units: the original's window in pixels at 96 dpi.
const QSize kTemplate(455, 343);

// Whether any pixel of the list's rows is in the selection colour.
bool ShowsSelection(QListWidget* log) {
  const QColor highlight = log->palette().color(QPalette::Active, QPalette::Highlight);
  const QImage image = log->viewport()->grab().toImage();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y).rgb() == highlight.rgb()) return true;
    }
  }
  return false;
}

}  // namespace

class TestPatchDlgDesktop : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> dir;
  FakeProbe probe;

  std::string Folder() const { return dir->path().string() + "/"; }
  void Registered(const std::string& name) {
    WriteSettings(dir->path() / "config", name, Folder(), "");
  }
  static void ShowActive(CPatchDlg& dlg) {
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
  }
  static QListWidget* Log(CPatchDlg& dlg) { return dlg.findChild<QListWidget*>("logList"); }

 private Q_SLOTS:
  void init() {
    dir = std::make_unique<TempDir>();
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir->path() / "config").string()));
    probe.running = false;
  }
  void cleanup() { dir.reset(); }

  // The original's size, and the Run button's caption fits beside its icon.
  void hasTheOriginalsSizeAndItsTextsFit() {
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    ShowActive(dlg);
    QCOMPARE(dlg.size(), kTemplate);
    auto* run = dlg.findChild<CIconButton*>("runButton");
    const QFontMetrics metrics(run->ButtonFont());
    QVERIFY(run->width() - 3 - 32 >= metrics.horizontalAdvance(run->text()));
    QVERIFY(run->height() >= metrics.height());
    auto* log = Log(dlg);
    for (int i = 0; i < log->count(); ++i) {
      QVERIFY(log->viewport()->width() >=
              log->fontMetrics().horizontalAdvance(log->item(i)->text()));
    }
    QVERIFY(!log->verticalScrollBar()->isVisible());
    SaveScreenshot(&dlg, QStringLiteral("main_window"));
  }

  void shrinksItsLogToFitTheScreen_data() {
    QTest::addColumn<QRect>("area");
    QTest::newRow("1024x768 at 2") << QRect(0, 0, 512, 368);
    QTest::newRow("640x480 at 1.5") << QRect(0, 0, 426, 300);
    QTest::newRow("tiny") << QRect(0, 0, 100, 100);
  }
  void shrinksItsLogToFitTheScreen() {
    QFETCH(QRect, area);
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    const QMargins frame(1, 24, 1, 4);
    dlg.FitInto(area, frame);
    auto* run = dlg.findChild<CIconButton*>("runButton");
    auto* search = dlg.findChild<CIconButton*>("searchButton");
    const QSize size = dlg.size();
    QVERIFY(size.width() <= std::max(area.width() - 2, run->width() + search->width() + 16));
    QVERIFY(size.height() <= kTemplate.height());
    for (QWidget* control : {static_cast<QWidget*>(run), static_cast<QWidget*>(search),
                             static_cast<QWidget*>(Log(dlg))}) {
      QVERIFY2(QRect(QPoint(0, 0), size).contains(control->geometry()),
               qPrintable(control->objectName()));
    }
    QVERIFY(!run->geometry().intersects(search->geometry()));
    dlg.FitInto(QRect(0, 0, 1366, 736), frame);
    QCOMPARE(dlg.size(), kTemplate);
  }

  // Without a database the log takes the focus (Run is greyed); after a run
  // it has it again. Its first line becomes the current one then, yet nothing
  // looks selected until the user clicks a line or moves with the arrow keys.
  void theLogTakesTheFocusAndHighlightsTheLinePicked() {
    Registered("data1");
    {
      CPatchDlg dlg(nullptr, &probe);
      OpenWindow(dlg);
      ShowActive(dlg);
      QListWidget* log = Log(dlg);
      QTRY_COMPARE(QApplication::focusWidget(), log);
      QVERIFY(log->selectedItems().isEmpty());
      QVERIFY(!ShowsSelection(log));
      QTest::mouseClick(log->viewport(), Qt::LeftButton, {},
                        log->visualItemRect(log->item(1)).center());
      QCOMPARE(log->selectedItems(), QList<QListWidgetItem*>{log->item(1)});
      QVERIFY(ShowsSelection(log));
      QTest::keyClick(log, Qt::Key_Down);
      QCOMPARE(log->selectedItems(), QList<QListWidgetItem*>{log->item(2)});
      SaveScreenshot(&dlg, QStringLiteral("main_window_line_picked"));
    }
    MakeSampleDatabase(dir->path() / "data1.mdb");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    ShowActive(dlg);
    QTRY_COMPARE(QApplication::focusWidget(), dlg.findChild<CIconButton*>("runButton"));
    ModalAnswerer answers;
    QTest::keyClick(dlg.findChild<CIconButton*>("runButton"), Qt::Key_Return);
    QCOMPARE(answers.boxes.size(), size_t(2));
    // The window's focus, which it has again once it is active.
    QTRY_COMPARE(dlg.focusWidget(), Log(dlg));
    QVERIFY(Log(dlg)->selectedItems().isEmpty());
    QVERIFY(!ShowsSelection(Log(dlg)));
    SaveScreenshot(&dlg, QStringLiteral("main_window_after_run"));
  }

  // The log's current line shows no mark while the focus came by itself;
  // once the keyboard moved the focus there, it is framed in a colour with
  // 3:1 against the line's background, selected or not, inside untouched.
  void theKeyboardFramesTheLogsCurrentLine() {
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    ShowActive(dlg);
    QListWidget* log = Log(dlg);
    QTRY_COMPARE(QApplication::focusWidget(), log);
    auto line = [log](int row) {
      const QRect rect = log->visualItemRect(log->item(row));
      const QImage image = log->viewport()->grab(rect).toImage();
      return std::pair{image.pixelColor(0, image.height() / 2),
                       image.pixelColor(image.width() - 3, image.height() / 2)};
    };
    const QColor base = log->palette().color(QPalette::Active, QPalette::Base);
    QCOMPARE(line(0).first, base);

    QTest::keyClick(log, Qt::Key_Tab);
    QTRY_VERIFY(log->hasFocus() == false);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QTRY_VERIFY(log->hasFocus());
    const auto [edge, inside] = line(0);
    QVERIFY2(ContrastRatio(edge, base) >= 3.0, qPrintable(edge.name()));
    QCOMPARE(inside, base);

    QTest::keyClick(log, Qt::Key_Down);
    QVERIFY(log->item(1)->isSelected());
    const QColor highlight = log->palette().color(QPalette::Active, QPalette::Highlight);
    const auto [selectedEdge, selectedInside] = line(1);
    QVERIFY2(ContrastRatio(selectedEdge, highlight) >= 3.0, qPrintable(selectedEdge.name()));
    QCOMPARE(selectedInside, highlight);
    QCOMPARE(line(0).first, base);
    SaveScreenshot(&dlg, QStringLiteral("main_window_keyboard_focus"));
  }

  // Enter on the log ends the window, as a dialog's default OK would, also
  // with a line picked; not while an update has Close greyed.
  void enterOnTheLogEndsTheWindow() {
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    ShowActive(dlg);
    QTRY_COMPARE(QApplication::focusWidget(), Log(dlg));
    QTest::mouseClick(Log(dlg)->viewport(), Qt::LeftButton, {},
                      Log(dlg)->visualItemRect(Log(dlg)->item(4)).center());
    QVERIFY(Log(dlg)->item(4)->isSelected());
    dlg.SetControlsEnabled(0);
    QTest::keyClick(Log(dlg), Qt::Key_Return);
    QVERIFY(dlg.isVisible());
    dlg.SetControlsEnabled(1);
    QTest::keyClick(Log(dlg), Qt::Key_Return);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
  }

  // Window managers keep Alt+Space for their own menu: Shift+F10 and the Menu
  // key open the window's, with its first item active (which is what tells a
  // screen reader), and the arrow keys reach the version item. X11 sends the
  // Menu key as a keyboard context-menu request first, then as the key, which
  // the open menu receives.
  void theWindowMenuOpensFromTheKeyboard_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("contextRequest");
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << false;
    QTest::newRow("Menu") << int(Qt::Key_Menu) << int(Qt::NoModifier) << false;
    QTest::newRow("Menu, as X11 sends it") << int(Qt::Key_Menu) << int(Qt::NoModifier) << true;
    QTest::newRow("Alt+Space") << int(Qt::Key_Space) << int(Qt::AltModifier) << false;
  }
  void theWindowMenuOpensFromTheKeyboard() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, contextRequest);
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    ShowActive(dlg);
    QTRY_COMPARE(QApplication::focusWidget(), Log(dlg));
    QWidget* focus = QApplication::focusWidget();
    if (contextRequest) {
      QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                focus->mapToGlobal(QPoint(5, 5)));
      QApplication::sendEvent(focus, &request);
      if (QWidget* popup = QApplication::activePopupWidget()) focus = popup;
    }
    QTest::keyClick(focus, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QMenu* menu = dlg.findChild<QMenu*>("windowMenu");
    QTRY_VERIFY(menu->isVisible());
    bool versionShown = false;
    WhenModalOpens(QStringLiteral("CVersionDlg"), [&versionShown](QWidget* modal) {
      versionShown = true;
      QTest::keyClick(modal, Qt::Key_Return);
    });
    // From the first item, Down skips the separator to the version item.
    QCOMPARE(menu->activeAction(), menu->actions().front());
    QTest::keyClick(menu, Qt::Key_Down);
    QCOMPARE(menu->activeAction(), menu->actions().back());
    QTest::keyClick(menu, Qt::Key_Return);
    QTRY_VERIFY(versionShown);
    QVERIFY(dlg.isVisible());
  }

  // The file dialog's DATA3.MDB is the file that opens, and the caption says so.
  void aFileChosenAsUpperCaseMdbOpens() {
    Registered("data1");
    const auto folder = dir->path() / "db";
    std::filesystem::create_directories(folder);
    MakeSampleDatabase(folder / "made.mdb");
    std::filesystem::rename(folder / "made.mdb", folder / "DATA3.MDB");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    ShowActive(dlg);
    ModalAnswerer answers;
    answers.fileChoices.push_back(QString::fromStdString((folder / "DATA3.MDB").string()));
    // The search button is greyed until the database was looked for, after the first paint.
    auto* search = dlg.findChild<CIconButton*>("searchButton");
    QTRY_VERIFY(search->isEnabled());
    QTest::mouseClick(search, Qt::LeftButton);
    QCOMPARE(dlg.windowTitle(),
             QStringLiteral("データベース更新(2009/11/09) - 対象DB名 ･･･ DATA3.MDB"));
    QVERIFY(dlg.findChild<CIconButton*>("runButton")->isEnabled());
  }
};

QTEST_MAIN(TestPatchDlgDesktop)
#include "test_patch_dlg_desktop.moc"
