// Qt's own dialogs and menus in Japanese for a Japanese user: this test runs
// under LANG=ja_JP.UTF-8 (whether or not the system has generated that
// locale, Qt takes the language from the variable), and loads the same
// translations the program does.

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "ModalAnswerer.h"
#include "SessionFixture.h"
#include "UiTestSupport.h"
#include "app/PatchDlg.h"
#include "app/QtTranslations.h"
#include "ui/IconButton.h"

using namespace mivotra;
using namespace mivotra::test;

namespace {

// Kana or kanji somewhere in the text, and none of the English words Qt
// would show untranslated.
bool IsJapanese(const QString& text) {
  bool japanese = false;
  for (const QChar c : text) {
    if ((c.unicode() >= 0x3040 && c.unicode() <= 0x30FF) ||
        (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF))
      japanese = true;
  }
  return japanese;
}

QStringList Texts(const QList<QAction*>& actions) {
  QStringList texts;
  for (const QAction* action : actions) {
    if (!action->isSeparator()) texts << action->text();
  }
  return texts;
}

}  // namespace

class TestQtTranslations : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    QCOMPARE(QLocale().language(), QLocale::Japanese);
    QVERIFY2(InstallQtTranslations(*QCoreApplication::instance()),
             "qtbase_ja.qm not found (Debian: qt6-translations-l10n)");
  }

  void theFileDialogIsJapanese() {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.show();
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
      auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
      QVERIFY2(label != nullptr, name);
      QVERIFY2(IsJapanese(label->text()), qPrintable(label->text()));
    }
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QVERIFY(buttons != nullptr);
    const QString open = buttons->button(QDialogButtonBox::Open)->text();
    const QString cancel = buttons->button(QDialogButtonBox::Cancel)->text();
    QVERIFY2(IsJapanese(open), qPrintable(open));
    QVERIFY2(IsJapanese(cancel), qPrintable(cancel));
    SaveScreenshot(&dialog, QStringLiteral("file_dialog_ja"));
  }

  void theEditBoxesMenusAreJapanese() {
    QLineEdit line;
    QPlainTextEdit box;
    for (QMenu* menu : {line.createStandardContextMenu(), box.createStandardContextMenu()}) {
      const QStringList texts = Texts(menu->actions());
      QVERIFY(texts.size() >= 5);  // undo, redo, cut, copy, paste, delete, select all
      for (const QString& text : texts) QVERIFY2(IsJapanese(text), qPrintable(text));
      delete menu;
    }
  }

  // The program's own search dialog, opened by its 検索 button.
  void theProgramsFileDialogIsJapanese() {
    TempDir dir;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir.path() / "config").string()));
    FakeProbe probe;
    CPatchDlg dlg(nullptr, &probe);
    OpenWindow(dlg);
    dlg.show();
    QStringList seen;
    WhenModalOpens(QStringLiteral("openDatabaseDialog"), [&seen](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (!label->text().isEmpty() && label->isVisible()) seen << label->text();
      }
      for (QAbstractButton* button : dialog->findChild<QDialogButtonBox*>()->buttons())
        seen << button->text();
      SaveScreenshot(dialog, QStringLiteral("program_file_dialog_ja"));
      dialog->reject();
    });
    QTest::mouseClick(dlg.findChild<CIconButton*>("searchButton"), Qt::LeftButton);
    QVERIFY(seen.size() >= 5);
    for (const QString& text : seen) QVERIFY2(IsJapanese(text), qPrintable(text));
  }
};

QTEST_MAIN(TestQtTranslations)
#include "test_QtTranslations.moc"
