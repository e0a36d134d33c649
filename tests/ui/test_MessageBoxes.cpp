// The program's message boxes and the clipboard copy that reports through them.

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QWidget>
#include <string>

#include "UiTestSupport.h"
#include "res/Texts.h"
#include "ui/Clipboard.h"
#include "ui/MessageBoxes.h"

using mivotra::MessageIcon;

namespace {

struct SeenBox {
  bool shown = false;
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  Qt::TextFormat format = Qt::AutoText;
  QWidget* parent = nullptr;
};

// Reads the next box and presses its OK.
void AnswerNextBox(SeenBox& seen, const QString& screenshot = QString()) {
  mivotra::test::WhenModalOpens(QString::fromLatin1(mivotra::kMessageBoxObjectName),
                                [&seen, screenshot](QWidget* modal) {
                                  auto* box = qobject_cast<QMessageBox*>(modal);
                                  QVERIFY(box != nullptr);
                                  seen = {true,
                                          box->text(),
                                          box->windowTitle(),
                                          box->icon(),
                                          box->standardButtons(),
                                          box->textFormat(),
                                          box->parentWidget()};
                                  if (!screenshot.isEmpty()) {
                                    mivotra::test::SaveScreenshot(box, screenshot);
                                  }
                                  box->button(QMessageBox::Ok)->click();
                                });
}

}  // namespace

class TestMessageBoxes : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void showsTextCaptionIconAndOkOnly_data() {
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("qtIcon");
    QTest::newRow("none") << int(MessageIcon::None) << int(QMessageBox::NoIcon);
    QTest::newRow("stop") << int(MessageIcon::Stop) << int(QMessageBox::Critical);
    QTest::newRow("information") << int(MessageIcon::Information) << int(QMessageBox::Information);
    QTest::newRow("exclamation") << int(MessageIcon::Exclamation) << int(QMessageBox::Warning);
  }
  void showsTextCaptionIconAndOkOnly() {
    QFETCH(int, icon);
    QFETCH(int, qtIcon);
    QWidget owner;
    SeenBox seen;
    AnswerNextBox(seen);
    // Markup-like text from SQL must show as written.
    mivotra::ShowMessageBox(&owner, "更新終了致しました\n<b>a</b> & b", "2009/11/09更新",
                            MessageIcon(icon));
    QVERIFY(seen.shown);
    QCOMPARE(seen.text, QStringLiteral("更新終了致しました\n<b>a</b> & b"));
    QCOMPARE(seen.caption, QStringLiteral("2009/11/09更新"));
    QCOMPARE(int(seen.icon), qtIcon);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(seen.parent, &owner);
  }

  // Short texts under long captions: the box is as wide as the caption needs.
  void aBoxIsAtLeastAsWideAsItsCaption_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::newRow("success") << QStringLiteral("更新終了致しました")
                             << QStringLiteral("2009/11/09更新");
    QTest::newRow("already running")
        << QStringLiteral("すでに起動されています") << QStringLiteral("MivotraPatch20091109");
    QTest::newRow("refusal") << QStringLiteral("x") << QStringLiteral("ＤＢ更新");
    QTest::newRow("long caption") << QStringLiteral("x")
                                  << QStringLiteral(
                                         "データベース更新前データの確認 MivotraPatch20091109");
  }
  void aBoxIsAtLeastAsWideAsItsCaption() {
    QFETCH(QString, text);
    QFETCH(QString, caption);
    QWidget owner;
    int width = 0;
    mivotra::test::WhenModalOpens(
        QString::fromLatin1(mivotra::kMessageBoxObjectName), [&width, caption](QWidget* modal) {
          width = modal->width();
          mivotra::test::SaveScreenshot(
              modal, QStringLiteral("box_caption_") + QString::number(caption.size()));
          qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
        });
    mivotra::ShowMessageBox(&owner, text.toStdString(), caption.toStdString(), MessageIcon::None);
    QVERIFY(width >= mivotra::CaptionWidth(caption));
    // The title bar's font, bold, and its buttons are more than the text alone.
    QVERIFY(mivotra::CaptionWidth(caption) >
            QFontMetrics(QFontDatabase::systemFont(QFontDatabase::TitleFont))
                    .horizontalAdvance(caption) +
                60);
  }

  void applicationBoxCarriesTheProgramName() {
    SeenBox seen;
    AnswerNextBox(seen, QStringLiteral("application_message"));
    mivotra::ShowAppMessage(nullptr, mivotra::texts::AlreadyRunning);
    QVERIFY(seen.shown);
    QCOMPARE(seen.caption, QStringLiteral("MivotraPatch20091109"));
    QCOMPARE(seen.text, QStringLiteral("すでに起動されています"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
  }

  void copyWithoutOwnerOnlyComplains() {
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    SeenBox seen;
    AnswerNextBox(seen);
    mivotra::CopyTextToClipboard("new text", nullptr);
    QVERIFY(seen.shown);
    QCOMPARE(seen.text, QStringLiteral("クリップボードへの貼り付けが失敗しました"));
    QCOMPARE(seen.caption, QStringLiteral("MivotraPatch20091109"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
  }

  void copyPlacesTheTextUnchanged_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("statement list")
        << QByteArray("  1 CREATE TABLE a (b LONG);\n  2 DROP TABLE a;\n");
    QTest::newRow("Japanese with CR LF")
        << QByteArray("更新に失敗しました\r\n\r\n説明：構文エラー\r\n");
    QTest::newRow("empty") << QByteArray();
  }
  void copyPlacesTheTextUnchanged() {
    QFETCH(QByteArray, bytes);
    QWidget owner;
    QGuiApplication::clipboard()->setText(QStringLiteral("previous"));
    mivotra::CopyTextToClipboard(bytes.toStdString(), &owner);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data->hasText());
    QCOMPARE(data->formats(), QStringList{QStringLiteral("text/plain")});
    QCOMPARE(data->text().toUtf8(), bytes);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }
};

QTEST_MAIN(TestMessageBoxes)
#include "test_MessageBoxes.moc"
