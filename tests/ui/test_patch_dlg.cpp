// The main window on the offscreen platform, over real sample databases:
// captions and control states in every situation, the log header, closing
// rules, and an update answered box by box, with the cursor seen meanwhile.

#include <QAction>
#include <QClipboard>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>

#include "ModalAnswerer.h"
#include "PatchProgram.h"
#include "SessionFixture.h"
#include "UiTestSupport.h"
#include "app/PatchDlg.h"
#include "ui/IconButton.h"

using namespace mivotra;
using namespace mivotra::test;

namespace {

const QString kConnected = QStringLiteral("データベース更新(2009/11/09) - 対象DB名 ･･･ data1.mdb");

CIconButton* RunButton(CPatchDlg& dlg) {
  return dlg.findChild<CIconButton*>("runButton");
}
CIconButton* SearchButton(CPatchDlg& dlg) {
  return dlg.findChild<CIconButton*>("searchButton");
}
// Whether the window may close, as the user sees it: its menu's item 閉じる.
bool CloseEnabled(CPatchDlg& dlg) {
  return dlg.findChild<QAction*>("closeAction")->isEnabled();
}

// The wait cursor is for the statements alone: every box and error window
// shows the arrow, over itself and over the main window behind it.
bool ArrowsWhileAnswering(const ModalAnswerer& answers) {
  auto arrows = [](const SeenCursors& seen) {
    return seen.window == Qt::ArrowCursor && seen.owner == Qt::ArrowCursor;
  };
  for (const auto& box : answers.boxes) {
    if (!arrows(box.cursors)) return false;
  }
  for (const auto& window : answers.errorWindows) {
    if (!arrows(window.cursors)) return false;
  }
  return true;
}

// A probe whose work runs out of memory, as anything the Run button reaches may.
class ThrowingProbe : public MainApplicationProbe {
 public:
  bool IsMainApplicationRunning() override { throw std::bad_alloc(); }
};

}  // namespace

class TestPatchDlg : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> dir;
  FakeProbe probe;
  std::filesystem::path database;

  std::string Folder() const { return dir->path().string() + "/"; }
  void Registered(const std::string& name) {
    WriteSettings(dir->path() / "config", name, Folder(), "");
  }

 private Q_SLOTS:
  void init() {
    dir = std::make_unique<TempDir>();
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir->path() / "config").string()));
    database = dir->path() / "data1.mdb";
    probe.running = false;
  }
  void cleanup() { dir.reset(); }

  void aRegisteredDatabaseOpensAndOffersRun() {
    MakeSampleDatabase(database);
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    QCOMPARE(dlg.windowTitle(), QString());
    QVERIFY(!RunButton(dlg)->isEnabled());
    QVERIFY(!SearchButton(dlg)->isEnabled());
    OpenWindow(dlg);
    QCOMPARE(dlg.windowTitle(), kConnected);
    QVERIFY(RunButton(dlg)->isEnabled());
    QVERIFY(!SearchButton(dlg)->isEnabled());
    QVERIFY(CloseEnabled(dlg));
  }

  // The window opens the database only after its first paint, and nothing
  // can be started before that.
  void theWindowOpensTheDatabaseOnceItIsPainted() {
    MakeSampleDatabase(database);
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    dlg.OnInitDialog();
    QCOMPARE(dlg.windowTitle(), QString());
    QVERIFY(!RunButton(dlg)->isEnabled());
    QVERIFY(!SearchButton(dlg)->isEnabled());
    QVERIFY(!dlg.Session().Database().IsConnected());
    dlg.show();
    QTRY_COMPARE(dlg.windowTitle(), kConnected);
    QVERIFY(RunButton(dlg)->isEnabled());
    QVERIFY(dlg.Session().Database().IsConnected());
    // The focus is where it is when the window opens with the database open.
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QTRY_VERIFY(RunButton(dlg)->hasFocus());
    // The busy popup is there, and stays hidden.
    const auto popups = dlg.findChildren<CDBMsgDlg*>();
    QCOMPARE(popups.size(), qsizetype(1));
    QVERIFY(!popups[0]->isVisible());
    // Later paints open nothing again.
    dlg.Session().Database().Disconnect();
    dlg.repaint();
    QCoreApplication::processEvents();
    QVERIFY(!dlg.Session().Database().IsConnected());

    std::filesystem::remove(database);
    CPatchDlg missing(nullptr, &probe);
    missing.OnInitDialog();
    missing.show();
    QTRY_COMPARE(missing.windowTitle(), QStringLiteral("データベースが選択されてません"));
    QVERIFY(SearchButton(missing)->isEnabled());
  }

  void aMissingDatabaseOffersSearch() {
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("データベースが選択されてません"));
    QVERIFY(!RunButton(dlg)->isEnabled());
    QVERIFY(SearchButton(dlg)->isEnabled());
  }

  void aBrokenDatabaseShowsTheFailureThenSearchConnects() {
    WriteFile(database, "garbage");
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    QCOMPARE(dlg.windowTitle(),
             QStringLiteral("データベース接続に失敗しました - 対象DB名 ･･･ data1.mdb"));
    QVERIFY(SearchButton(dlg)->isEnabled());

    std::filesystem::create_directories(dir->path() / "other");
    MakeSampleDatabase(dir->path() / "other" / "data1.mdb");
    ModalAnswerer answers;
    answers.fileChoices.push_back(
        QString::fromStdString((dir->path() / "other" / "data1.bak").string()));
    QTest::mouseClick(SearchButton(dlg), Qt::LeftButton);
    QCOMPARE(dlg.windowTitle(), kConnected);
    QVERIFY(RunButton(dlg)->isEnabled());
    QVERIFY(SearchButton(dlg)->isEnabled());  // a successful choice enables only Run
  }

  void theLogShowsItsHeaderInWrittenOrder() {
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    auto* log = dlg.findChild<QListWidget*>("logList");
    QStringList lines;
    for (int i = 0; i < log->count(); ++i) lines << log->item(i)->text();
    QCOMPARE(lines, (QStringList{"", "**** 更新内容 (2009/11/09 更新) ****", QString(48, '-'), "",
                                 "1.振替用コードテーブル追加",
                                 "2.NEXCO大口先調整額登録用テーブル追加", ""}));
  }

  void theWindowMenuEndsWithTheVersionItem() {
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    const auto actions = dlg.findChild<QMenu*>("windowMenu")->actions();
    QVERIFY(actions.size() >= 3);
    QVERIFY(actions[actions.size() - 2]->isSeparator());
    QCOMPARE(actions.back()->text(), QStringLiteral("バージョン情報 MivotraPatch20091109(&A)..."));
  }

  void setControlsEnabledFollowsTheConnection() {
    CPatchDlg dlg(nullptr, &probe);
    dlg.SetControlsEnabled(1);
    QVERIFY(CloseEnabled(dlg));
    QVERIFY(!RunButton(dlg)->isEnabled());
    QVERIFY(SearchButton(dlg)->isEnabled());
    dlg.SetControlsEnabled(2);  // only 1 counts as enabling
    QVERIFY(!CloseEnabled(dlg));
    QVERIFY(!RunButton(dlg)->isEnabled());
    QVERIFY(!SearchButton(dlg)->isEnabled());
  }

  void aGreyedCloseRefusesEveryWayOfClosing() {
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.SetControlsEnabled(0);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(dlg.isVisible());
    QVERIFY(!dlg.close());
    QVERIFY(dlg.isVisible());
    dlg.accept();
    QVERIFY(dlg.isVisible());
    dlg.SetControlsEnabled(1);
    QVERIFY(dlg.close());
  }

  void anUpdateRunsBoxByBoxWithControlsGreyedMeanwhile() {
    MakeSampleDatabase(database);
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));

    ModalAnswerer answers;
    bool greyedDuringRun = true;
    answers.onBox = [&](const SeenBox&) {
      greyedDuringRun = greyedDuringRun && !CloseEnabled(dlg) && !RunButton(dlg)->isEnabled() &&
                        !SearchButton(dlg)->isEnabled();
    };
    // The hidden bar moves between the statements.
    std::vector<Qt::CursorShape> betweenStatements;
    connect(dlg.findChild<QProgressBar*>("progressBar"), &QProgressBar::valueChanged, this,
            [&] { betweenStatements.push_back(SeenCursor(&dlg)); });
    QTest::mouseClick(RunButton(dlg), Qt::LeftButton);

    QCOMPARE(answers.boxes.size(), size_t(2));
    QCOMPARE(answers.boxes[0].caption, QStringLiteral("2009/11/09"));
    QCOMPARE(answers.boxes[0].icon, QMessageBox::Information);
    QVERIFY(answers.boxes[0].text.startsWith(
        QStringLiteral("データベース更新前にバックアップファイルを作成します。")));
    QCOMPARE(answers.boxes[1].text, QStringLiteral("更新終了致しました"));
    QCOMPARE(answers.boxes[1].caption, QStringLiteral("2009/11/09更新"));
    QCOMPARE(answers.boxes[1].icon, QMessageBox::NoIcon);
    QVERIFY(greyedDuringRun);
    QVERIFY(CloseEnabled(dlg));
    QVERIFY(RunButton(dlg)->isEnabled());
    QVERIFY(!SearchButton(dlg)->isEnabled());
    QCOMPARE(dlg.findChild<QProgressBar*>("progressBar")->value(), 3);
    QVERIFY(!dlg.findChild<QProgressBar*>("progressBar")->isVisible());
    QVERIFY(QApplication::clipboard()->text().startsWith("  1 CREATE TABLE t_expense_nexco_riyou"));
    QVERIFY(betweenStatements == std::vector<Qt::CursorShape>(3, Qt::WaitCursor));
    QVERIFY(ArrowsWhileAnswering(answers));
    QCOMPARE(SeenCursor(&dlg), Qt::ArrowCursor);
  }

  void theMainApplicationRefusesWithAStopBox() {
    MakeSampleDatabase(database);
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    probe.running = true;
    ModalAnswerer answers;
    QTest::mouseClick(RunButton(dlg), Qt::LeftButton);
    QCOMPARE(answers.boxes.size(), size_t(1));
    QCOMPARE(answers.boxes[0].caption, QStringLiteral("ＤＢ更新"));
    QCOMPARE(answers.boxes[0].icon, QMessageBox::Critical);
    QVERIFY(RunButton(dlg)->isEnabled());
  }

  // No exception leaves the button's handler for Qt's event loop: the
  // original's box for it, and the window goes on as before the press.
  void anExceptionOutOfTheRunIsToldAndTheWindowGoesOn() {
    MakeSampleDatabase(database);
    Registered("data1");
    ThrowingProbe throwing;
    CPatchDlg dlg(nullptr, &throwing);
    OpenWindow(dlg);
    ModalAnswerer answers;
    QTest::mouseClick(RunButton(dlg), Qt::LeftButton);
    QCOMPARE(answers.boxes.size(), size_t(1));
    QCOMPARE(answers.boxes[0].text, QStringLiteral("*** 処理されない例外 ***"));
    QCOMPARE(answers.boxes[0].caption, QStringLiteral("MivotraPatch20091109"));
    QCOMPARE(answers.boxes[0].icon, QMessageBox::Warning);
    QVERIFY(CloseEnabled(dlg));
    QVERIFY(RunButton(dlg)->isEnabled());
    QVERIFY(!std::filesystem::exists(dir->path() / BackupFolderName()));
  }

  void aFailedUpdateOpensTheErrorWindow() {
    MakeSampleDatabase(database);
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    dlg.Session().Database().Engine().Execute(
        "INSERT INTO t_db_ver (DBVerID, DBVerCode) VALUES (7, '1.05');", nullptr);
    ModalAnswerer answers;
    QTest::mouseClick(RunButton(dlg), Qt::LeftButton);
    QCOMPARE(answers.boxes.size(), size_t(4));  // notice, report, failure, statement
    QCOMPARE(answers.boxes[1].icon, QMessageBox::Warning);
    QCOMPARE(answers.boxes[1].caption, QStringLiteral("MivotraPatch20091109"));
    QCOMPARE(answers.boxes[2].text, QStringLiteral("更新に失敗しました"));
    QCOMPARE(answers.errorWindows.size(), size_t(1));
    QVERIFY(answers.errorWindows[0].text.find("\r\nCode : 0x") != std::string::npos);
    QVERIFY(ArrowsWhileAnswering(answers));
    QCOMPARE(SeenCursor(&dlg), Qt::ArrowCursor);
    QVERIFY(CloseEnabled(dlg));
  }

  void theBusyPopupExistsButIsNeverVisible() {
    MakeSampleDatabase(database);
    Registered("data1");
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    dlg.show();
    auto popups = dlg.findChildren<CDBMsgDlg*>();
    QCOMPARE(popups.size(), qsizetype(1));
    QVERIFY(!popups[0]->isVisible());
    ModalAnswerer answers;
    answers.onBox = [&](const SeenBox&) { QVERIFY(!popups[0]->isVisible()); };
    QTest::mouseClick(RunButton(dlg), Qt::LeftButton);
    QVERIFY(!popups[0]->isVisible());
  }
};

QTEST_MAIN(TestPatchDlg)
#include "test_patch_dlg.moc"
