// The update error window: what it shows, what it copies, and how Enter,
// Esc and its buttons end it.

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <string>

#include "UiTestSupport.h"
#include "res/Texts.h"
#include "ui/MessageBoxes.h"
#include "ui/UpdateErrorMsgDlg.h"

using mivotra::CUpdateErrorMsgDlg;

namespace {

// An error report as the update composes it: CR LF lines, then statement
// lines ending in a lone LF, Japanese text throughout.
const std::string kReport =
    "エラー番号：80040E14\r\nエラー内容：Syntax error in CREATE TABLE statement.\r\n"
    "ソース：Mivotra Jet Engine\r\n説明：構文エラー\r\n\r\n"
    "CREATE TABLE t_sofu_syukin_code (x TEXT(10));\r\n"
    "  1 CREATE TABLE a (b LONG);\n  2 INSERT INTO a VALUES (1);\n\r\n";

std::string ClipboardBytes() {
  return QGuiApplication::clipboard()->text().toUtf8().toStdString();
}

QString Utf8(const std::string& text) {
  return QString::fromStdString(text);
}

// Japanese text arrives through the input method, as it would from a user.
void Type(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 0x80) {
      QTest::keyClicks(widget, QString(c));
      continue;
    }
    QInputMethodEvent commit;
    commit.setCommitString(QString(c));
    QApplication::sendEvent(widget, &commit);
  }
}

}  // namespace

class TestUpdateErrorMsgDlg : public QObject {
  Q_OBJECT

 private:
  struct Window {
    CUpdateErrorMsgDlg dialog;
    QPlainTextEdit* edit = nullptr;
    QPushButton* close = nullptr;
    QPushButton* copy = nullptr;
  };

  // Shown (not modal) with text, focus as on opening.
  static void Open(Window& window, const std::string& text) {
    window.dialog.m_strErrorText = text;
    window.dialog.show();
    window.dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window.dialog));
    window.edit = window.dialog.findChild<QPlainTextEdit*>(QStringLiteral("errorTextEdit"));
    window.close = window.dialog.findChild<QPushButton*>(QStringLiteral("closeButton"));
    window.copy = window.dialog.findChild<QPushButton*>(QStringLiteral("copyButton"));
    QVERIFY(window.edit && window.close && window.copy);
  }

  enum Place { After, Before, Select };

  // Puts the edit box's cursor after or before the first occurrence of
  // marker, or selects it. U+2029 in marker stands for a line break.
  static void PlaceCursor(QPlainTextEdit* edit, const QString& marker, Place place = After) {
    const qsizetype start = edit->document()->toRawText().indexOf(marker);
    QVERIFY(start >= 0);
    QTextCursor cursor(edit->document());
    const int end = int(start + marker.size());
    cursor.setPosition(place == Before ? int(start) : place == After ? end : int(start));
    if (place == Select) cursor.setPosition(end, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
    edit->setFocus();
  }

 private Q_SLOTS:
  void cleanup() { QGuiApplication::clipboard()->clear(); }

  void showsTemplateTextsAndFocusesClose() {
    Window window;
    Open(window, kReport);
    QCOMPARE(window.dialog.windowTitle(), Utf8(std::string(mivotra::texts::ErrorWindowCaption)));
    QCOMPARE(window.close->text(), QStringLiteral("閉じる"));
    QCOMPARE(window.copy->text(), QStringLiteral("エラー内容をコピー"));
    QVERIFY(window.close->isDefault());
    QCOMPARE(QApplication::focusWidget(), window.close);
    QVERIFY(!window.edit->isReadOnly());
    // The box shows each line end as a line, whichever kind it is.
    QCOMPARE(window.edit->document()->blockCount(), 10);
    QVERIFY(window.close->geometry().right() < window.dialog.width());
    QVERIFY(window.edit->geometry().bottom() < window.close->geometry().top());
    // Tab order: 閉じる, the box, コピー.
    QCOMPARE(window.close->nextInFocusChain(), window.edit);
    mivotra::test::SaveScreenshot(&window.dialog, QStringLiteral("update_error_window"));
  }

  // 385 x 287 units are the original's 674 x 538 pixels at 96 dpi; the
  // Japanese captions fit their buttons, and the buttons keep their places
  // at the bottom right.
  void hasTheOriginalsSizeAndItsCaptionsFit() {
    Window window;
    Open(window, kReport);
    QCOMPARE(window.dialog.size(), QSize(674, 538));
    QCOMPARE(window.edit->geometry(), QRect(7, 8, 660, 487));
    QCOMPARE(window.close->geometry(), QRect(581, 503, 88, 31));
    for (QPushButton* button : {window.close, window.copy}) {
      QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
      QCOMPARE(button->height(), 31);
      QCOMPARE(button->geometry().top(), 503);
    }
    QVERIFY(window.copy->geometry().right() < window.close->geometry().left());
    QVERIFY(window.copy->geometry().left() > window.edit->geometry().left());
  }

  // Screens too small for the template, frame included (a 1.5 scale factor
  // or 125 % text on 1024 x 768 and 1366 x 768 with a panel, and smaller):
  // the window fits, its text box gives up the room, both buttons stay whole
  // at the bottom right.
  void shrinksItsTextBoxToFitTheScreen_data() {
    QTest::addColumn<QRect>("area");
    QTest::newRow("1366x768 with a panel") << QRect(0, 0, 1366, 736);
    QTest::newRow("1024x768 at 1.5") << QRect(0, 0, 683, 512);
    QTest::newRow("1366x768 with a panel at 1.5") << QRect(0, 0, 911, 491);
    QTest::newRow("1366x768 with a panel at 125 %") << QRect(0, 0, 1093, 589);
    QTest::newRow("a panel on the left") << QRect(48, 0, 640, 480);
    QTest::newRow("tiny") << QRect(0, 0, 200, 120);
  }
  void shrinksItsTextBoxToFitTheScreen() {
    QFETCH(QRect, area);
    const QMargins frame(1, 24, 1, 4);
    Window window;
    window.edit = window.dialog.findChild<QPlainTextEdit*>(QStringLiteral("errorTextEdit"));
    window.close = window.dialog.findChild<QPushButton*>(QStringLiteral("closeButton"));
    window.copy = window.dialog.findChild<QPushButton*>(QStringLiteral("copyButton"));
    const QRect close = window.close->geometry();
    const QRect copy = window.copy->geometry();
    const QSize template_ = window.dialog.size();  // as the window is built
    window.dialog.FitInto(area, frame);
    const QSize size = window.dialog.size();
    const QSize minimum = window.dialog.MinimumClientSize();
    QCOMPARE(size.width(), qBound(minimum.width(), area.width() - 2, template_.width()));
    QCOMPARE(size.height(), qBound(minimum.height(), area.height() - 28, template_.height()));
    const int dx = size.width() - template_.width();
    const int dy = size.height() - template_.height();
    QCOMPARE(window.close->geometry(), close.translated(dx, dy));
    QCOMPARE(window.copy->geometry(), copy.translated(dx, dy));
    for (QWidget* control :
         {static_cast<QWidget*>(window.close), static_cast<QWidget*>(window.copy),
          static_cast<QWidget*>(window.edit)}) {
      QVERIFY2(QRect(QPoint(0, 0), size).contains(control->geometry()),
               qPrintable(control->objectName()));
    }
    QVERIFY(window.edit->geometry().bottom() < window.close->geometry().top());
    QVERIFY(window.edit->height() >= 3 * window.edit->fontMetrics().lineSpacing());
    // What fits is shown as it is.
    window.dialog.FitInto(QRect(0, 0, 1920, 1080), frame);
    QCOMPARE(window.dialog.size(), template_);
  }

  void copiesUneditedTextByteForByte_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("mixed CR LF and LF") << Utf8(kReport);
    QTest::newRow("empty") << QString();
    QTest::newRow("lone CR and trailing LF") << QStringLiteral("a\rb\n\nc\r\n");
    QTest::newRow("only line ends") << QStringLiteral("\n\r\n\n");
    QTest::newRow("no-break space and line separator") << QStringLiteral("a\u00a0b\u2028c\u2029d");
  }
  void copiesUneditedTextByteForByte() {
    QFETCH(QString, text);
    const std::string bytes = text.toStdString();
    Window window;
    Open(window, bytes);
    QGuiApplication::clipboard()->setText(QStringLiteral("previous contents"));
    QTest::mouseClick(window.copy, Qt::LeftButton);
    QCOMPARE(ClipboardBytes(), bytes);
    QCOMPARE(window.dialog.m_strErrorText, bytes);
    // A second copy leaves the same single text.
    QTest::mouseClick(window.copy, Qt::LeftButton);
    QCOMPARE(ClipboardBytes(), bytes);
    QCOMPARE(
        QGuiApplication::clipboard()->mimeData()->formats().count(QStringLiteral("text/plain")), 1);
    QVERIFY(window.dialog.isVisible());
  }

  void keepsBytesThatAreNotUtf8WhileUnedited() {
    const std::string bytes = "Shift-JIS \x83\x47\x83\x89\x81\x5b\r\nend\n";
    Window window;
    Open(window, bytes);
    window.dialog.UpdateData(true);
    QCOMPARE(window.dialog.m_strErrorText, bytes);
  }

  // Each edit, and the text the copy must then carry: every line end the
  // report had stays as it was, a typed line break is CR LF. The cursor goes
  // before or after the marker; in keys "\n" is Enter, "\b" Backspace and
  // "\x7f" Delete.
  void copiesEditedText_data() {
    QTest::addColumn<QString>("marker");
    QTest::addColumn<int>("place");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    const QString report = Utf8(kReport);
    const auto at = [&report](const char* marker) {
      return report.indexOf(QString::fromUtf8(marker));
    };

    QString typed = report;
    typed.insert(at("構文エラー") + 5, QStringLiteral("（追記）"));
    QTest::newRow("typed inside a CR LF line")
        << QStringLiteral("構文エラー") << int(After) << QStringLiteral("（追記）") << typed;

    QString split = report;
    split.insert(at("LONG);"), QStringLiteral("\r\n"));
    QTest::newRow("Enter inside a LF line")
        << QStringLiteral("(b ") << int(After) << QStringLiteral("\n") << split;

    QString splitCrLf = report;
    splitCrLf.insert(at("80040E14"), QStringLiteral("\r\n"));
    QTest::newRow("Enter inside a CR LF line")
        << QStringLiteral("エラー番号：") << int(After) << QStringLiteral("\n") << splitCrLf;

    QString newLine = report;
    newLine.insert(at("  2 INSERT"), QStringLiteral("new\r\n"));
    QTest::newRow("line typed at the start of a LF line")
        << QStringLiteral("  2 INSERT") << int(Before) << QStringLiteral("new\n") << newLine;

    QString deleted = report;
    deleted.remove(at("\n  2 "), 1);
    QTest::newRow("LF removed by Delete")
        << QStringLiteral("LONG);") << int(After) << QStringLiteral("\x7f") << deleted;

    QString backspaced = report;
    backspaced.remove(at("\n  2 "), 1);
    QTest::newRow("LF removed by Backspace")
        << QStringLiteral("  2 INSERT") << int(Before) << QStringLiteral("\b") << backspaced;

    QString deletedCrLf = report;
    deletedCrLf.remove(at("\r\nソース"), 2);
    QTest::newRow("CR LF removed by Delete")
        << QStringLiteral("statement.") << int(After) << QStringLiteral("\x7f") << deletedCrLf;

    QString lfBeforeCrLf = report;
    lfBeforeCrLf.remove(at("(1);\n") + 4, 1);
    QTest::newRow("LF removed, the next line's CR LF stays")
        << QStringLiteral("VALUES (1);") << int(After) << QStringLiteral("\x7f") << lfBeforeCrLf;

    QString crLfBeforeLf = report;
    crLfBeforeLf.remove(at("(10));\r\n") + 6, 2);
    QTest::newRow("CR LF removed, the next line's LF stays")
        << QStringLiteral("  1 CREATE") << int(Before) << QStringLiteral("\b") << crLfBeforeLf;

    QString pasted = report;
    pasted.insert(at("LONG);"), QStringLiteral("x\r\ny\r\n"));
    QTest::newRow("two lines typed inside a LF line")
        << QStringLiteral("(b ") << int(After) << QStringLiteral("x\ny\n") << pasted;

    QString replaced = report;
    replaced.replace(at("LONG);\n  2"), 10, QStringLiteral("Z"));
    QTest::newRow("selection over a LF replaced")
        << QStringLiteral("LONG);\u2029  2") << int(Select) << QStringLiteral("Z") << replaced;

    QString backspacedCrLf = report;
    backspacedCrLf.remove(at("\r\nソース"), 2);
    QTest::newRow("CR LF removed by Backspace")
        << QStringLiteral("ソース") << int(Before) << QStringLiteral("\b") << backspacedCrLf;
  }
  void copiesEditedText() {
    QFETCH(QString, marker);
    QFETCH(int, place);
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    Window window;
    Open(window, kReport);
    PlaceCursor(window.edit, marker, Place(place));
    for (const QChar c : keys) {
      if (c == QLatin1Char('\n')) {
        QTest::keyClick(window.edit, Qt::Key_Return);
      } else if (c == QLatin1Char('\b')) {
        QTest::keyClick(window.edit, Qt::Key_Backspace);
      } else if (c == QChar(0x7f)) {
        QTest::keyClick(window.edit, Qt::Key_Delete);
      } else {
        Type(window.edit, QString(c));
      }
    }
    QVERIFY(window.dialog.isVisible());
    QTest::mouseClick(window.copy, Qt::LeftButton);
    QCOMPARE(Utf8(ClipboardBytes()), expected);
    QCOMPARE(ClipboardBytes(), expected.toStdString());
  }

  void undoneEditCopiesTheOriginal() {
    Window window;
    Open(window, kReport);
    PlaceCursor(window.edit, QStringLiteral("ソース"));
    QTest::keyClicks(window.edit, QStringLiteral("xyz"));
    window.edit->undo();
    QTest::mouseClick(window.copy, Qt::LeftButton);
    QCOMPARE(ClipboardBytes(), kReport);
  }

  void enterInsideTheBoxBreaksTheLine() {
    Window window;
    Open(window, "one\ntwo");
    PlaceCursor(window.edit, QStringLiteral("one"));
    QTest::keyClick(window.edit, Qt::Key_Return);
    QVERIFY(window.dialog.isVisible());
    QCOMPARE(window.dialog.result(), 0);
    window.dialog.UpdateData(true);
    QCOMPARE(window.dialog.m_strErrorText, std::string("one\r\n\ntwo"));
  }

  void enterRightAfterOpeningCloses() {
    CUpdateErrorMsgDlg dialog;
    dialog.m_strErrorText = kReport;
    mivotra::test::WhenModalOpens(QStringLiteral("CUpdateErrorMsgDlg"), [](QWidget* modal) {
      QWidget* focus = QApplication::focusWidget();
      QCOMPARE(focus, modal->findChild<QPushButton*>(QStringLiteral("closeButton")));
      QTest::keyClick(focus, Qt::Key_Return);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.m_strErrorText, kReport);
  }

  void closeTakesTheEditedText() {
    Window window;
    Open(window, kReport);
    PlaceCursor(window.edit, QStringLiteral("ソース"));
    QTest::keyClicks(window.edit, QStringLiteral("!"));
    window.close->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!window.dialog.isVisible());
    QCOMPARE(window.dialog.result(), int(QDialog::Accepted));
    // 閉じる takes the box's text back into the member, as the copy does.
    QVERIFY(window.dialog.m_strErrorText.find("ソース!") != std::string::npos);
  }

  void escapeEndsWithoutTakingTheText() {
    Window window;
    Open(window, "abc");
    PlaceCursor(window.edit, QStringLiteral("abc"));
    QTest::keyClicks(window.edit, QStringLiteral("d"));
    QTest::keyClick(window.edit, Qt::Key_Escape);
    QVERIFY(!window.dialog.isVisible());
    QCOMPARE(window.dialog.result(), int(QDialog::Rejected));
    QCOMPARE(window.dialog.m_strErrorText, std::string("abc"));
  }

  void eachOpeningShowsTheMemberAfresh() {
    Window window;
    Open(window, "first");
    QTest::keyClicks(window.edit, QStringLiteral("typed"));
    window.dialog.reject();
    window.dialog.m_strErrorText = "second\r\n";
    window.dialog.show();
    QCOMPARE(window.edit->toPlainText(), QStringLiteral("second\n"));
    window.dialog.UpdateData(true);
    QCOMPARE(window.dialog.m_strErrorText, std::string("second\r\n"));
  }

  // The way the update uses it: a real modal run, a copy, then 閉じる.
  void modalRunCopiesAndCloses() {
    CUpdateErrorMsgDlg dialog;
    dialog.m_strErrorText = kReport;
    mivotra::test::WhenModalOpens(QStringLiteral("CUpdateErrorMsgDlg"), [](QWidget* modal) {
      QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("copyButton")),
                        Qt::LeftButton);
      QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("closeButton")),
                        Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(ClipboardBytes(), kReport);
  }
};

QTEST_MAIN(TestUpdateErrorMsgDlg)
#include "test_UpdateErrorMsgDlg.moc"
