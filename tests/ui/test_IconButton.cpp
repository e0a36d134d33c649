// The icon button: its grayscale idle icon, hover and press rules, what it
// paints in each state, its keyboard focus frame, its tooltip and its
// default-button behaviour.

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOption>
#include <QTest>
#include <QToolTip>
#include <memory>

#include "UiTestSupport.h"
#include "ui/FocusFrame.h"
#include "ui/IconButton.h"
#include "ui/Icons.h"

using mivotra::CIconButton;

namespace {

void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
  QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

void Enter(QWidget* widget, QPoint pos) {
  QEnterEvent event(pos, pos, widget->mapToGlobal(pos));
  QApplication::sendEvent(widget, &event);
}

void Leave(QWidget* widget) {
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(widget, &event);
}

// The smallest rectangle holding every pixel of image that matches.
template <typename Match>
QRect BoundingBox(const QImage& image, Match match) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (match(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

bool IsStrongGreen(const QColor& c) {
  return c.green() > 150 && c.red() < 100 && c.blue() < 100;
}

bool Saturated(const QColor& c) {
  return c.hsvSaturation() > 200 && c.value() > 150;
}

// Colours compared as the RGB values on screen.
bool Same(const QColor& a, const QColor& b) {
  return a.rgb() == b.rgb();
}

QImage Render(QWidget* widget) {
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class TestIconButton : public QObject {
  Q_OBJECT

 private:
  // A window holding one configured button, as the main window has them.
  struct Fixture {
    QWidget window;
    CIconButton* button;
    explicit Fixture(const QString& text = QString(), QSize size = QSize(128, 40)) {
      button = new CIconButton(&window);
      button->setText(text);
      button->setGeometry(QRect(QPoint(10, 10), size));
      button->Configure(mivotra::kRunIconId, CIconButton::MAKE_GRAY_ICON, "データベース更新");
      window.resize(size + QSize(20, 20));
      window.show();
    }
    QPoint Centre() const { return button->rect().center(); }
  };

 private Q_SLOTS:
  void grayLevel_data() {
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::addColumn<int>("gray");
    QTest::newRow("white") << 255 << 255 << 255 << 255;
    QTest::newRow("red") << 255 << 0 << 0 << 76;
    QTest::newRow("green") << 0 << 255 << 0 << 149;
    QTest::newRow("blue") << 0 << 0 << 255 << 29;
    QTest::newRow("(100,150,200)") << 100 << 150 << 200 << 140;
    // The sum is truncated once, at the end: 18.15 gives 18 (17 if the green
    // and blue part were truncated first), 0.912 gives 0.
    QTest::newRow("(10,20,30)") << 10 << 20 << 30 << 18;
    QTest::newRow("(0,0,8)") << 0 << 0 << 8 << 0;
    QTest::newRow("(255,255,254)") << 255 << 255 << 254 << 254;
  }
  void grayLevel() {
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    QFETCH(int, gray);
    QCOMPARE(CIconButton::GrayLevel(red, green, blue), gray);
  }

  void grayIconKeepsBlackAndAlpha() {
    const QList<QRgb> source = {
        qRgba(255, 255, 255, 255), qRgba(255, 0, 0, 255),     qRgba(0, 255, 0, 255),
        qRgba(0, 0, 255, 255),     qRgba(100, 150, 200, 255), qRgba(0, 0, 0, 255),
        qRgba(0, 0, 0, 0),         qRgba(255, 0, 0, 128),     qRgba(1, 0, 0, 40)};
    const QList<QRgb> expected = {
        qRgba(255, 255, 255, 255), qRgba(76, 76, 76, 255),    qRgba(149, 149, 149, 255),
        qRgba(29, 29, 29, 255),    qRgba(140, 140, 140, 255), qRgba(0, 0, 0, 255),
        qRgba(0, 0, 0, 0),         qRgba(76, 76, 76, 128),    qRgba(0, 0, 0, 40)};
    QImage image(int(source.size()), 1, QImage::Format_ARGB32);
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, 0, source[x]);
    const QImage gray = CIconButton::MakeGrayIcon(image);
    QCOMPARE(gray.size(), image.size());
    for (int x = 0; x < gray.width(); ++x) {
      QCOMPARE(QColor::fromRgba(gray.pixel(x, 0)), QColor::fromRgba(expected[x]));
    }
    QVERIFY(CIconButton::MakeGrayIcon(QImage()).isNull());
  }

  void iconArtIsColourfulWithBlackOutlines_data() {
    QTest::addColumn<int>("id");
    QTest::newRow("application") << mivotra::kAppIconId;
    QTest::newRow("run") << mivotra::kRunIconId;
    QTest::newRow("search") << mivotra::kSearchIconId;
  }
  void iconArtIsColourfulWithBlackOutlines() {
    QFETCH(int, id);
    const QImage icon = mivotra::LoadIconImage(id);
    QCOMPARE(icon.size(), QSize(32, 32));
    int saturated = 0;
    int black = 0;
    int transparent = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const QColor c = icon.pixelColor(x, y);
        if (c.alpha() == 0) ++transparent;
        if (c.alpha() > 200 && Saturated(c)) ++saturated;
        if (c.alpha() > 200 && c.red() < 40 && c.green() < 40 && c.blue() < 40) ++black;
      }
    }
    QVERIFY2(saturated > 100, qPrintable(QString::number(saturated)));
    QVERIFY2(black > 40, qPrintable(QString::number(black)));
    QVERIFY(transparent > 50);
    QVERIFY(mivotra::LoadIconImage(999).isNull());
  }

  void configureMakesTheGrayCopyOnce() {
    CIconButton button;
    QCOMPARE(button.Configure(mivotra::kSearchIconId, CIconButton::MAKE_GRAY_ICON, "検索"), 0);
    QCOMPARE(button.ActiveIcon(), mivotra::LoadIconImage(mivotra::kSearchIconId));
    QCOMPARE(button.IdleIcon(), CIconButton::MakeGrayIcon(button.ActiveIcon()));
    QCOMPARE(button.TipText(), QStringLiteral("検索"));
    QVERIFY(button.IsTipActive());
    QCOMPARE(button.font().pixelSize(), 14);
    QCOMPARE(button.font().weight(), QFont::Medium);

    // No idle icon: the colour icon in every state. A missing icon: no icon at all.
    QCOMPARE(button.LoadIcons(mivotra::kRunIconId, 0), 0);
    QVERIFY(button.IdleIcon().isNull());
    QCOMPARE(button.LoadIcons(mivotra::kRunIconId, 999), 0);
    QVERIFY(!button.ActiveIcon().isNull());
    QVERIFY(button.IdleIcon().isNull());
    QCOMPARE(button.LoadIcons(999, CIconButton::MAKE_GRAY_ICON), 0);
    QVERIFY(button.ActiveIcon().isNull());
    QVERIFY(button.IdleIcon().isNull());
    // An empty tip text leaves the tip as it was.
    button.SetTipText("", false);
    QCOMPARE(button.TipText(), QStringLiteral("検索"));
    QVERIFY(button.IsTipActive());
  }

  void hoverRules() {
    Fixture f;
    CIconButton* b = f.button;
    QVERIFY(!b->IsHovering());
    // A drag that arrives with the left button held starts no hover.
    SendMouse(b, QEvent::MouseMove, f.Centre(), Qt::NoButton, Qt::LeftButton);
    QVERIFY(!b->IsHovering());
    // Released and moved again: it does.
    SendMouse(b, QEvent::MouseMove, f.Centre() + QPoint(1, 0), Qt::NoButton, Qt::NoButton);
    QVERIFY(b->IsHovering());
    // Held while already hovering keeps it; a move outside (while grabbed) ends it.
    SendMouse(b, QEvent::MouseMove, f.Centre(), Qt::NoButton, Qt::LeftButton);
    QVERIFY(b->IsHovering());
    SendMouse(b, QEvent::MouseMove, QPoint(-5, -5), Qt::NoButton, Qt::LeftButton);
    QVERIFY(!b->IsHovering());
    // Entering with no button held starts it; leaving ends it.
    Enter(b, f.Centre());
    QVERIFY(b->IsHovering());
    Leave(b);
    QVERIFY(!b->IsHovering());
  }

  void hoverEnds_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("leave") << "leave";
    QTest::newRow("focus lost") << "focus";
    QTest::newRow("disabled") << "disable";
    QTest::newRow("window deactivated") << "deactivate";
    QTest::newRow("hidden") << "hide";
  }
  void hoverEnds() {
    QFETCH(QString, how);
    Fixture f;
    CIconButton* b = f.button;
    f.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    // Only the focus case gives the button the focus, so that each way is seen on its own.
    auto* focusHolder = new QLineEdit(&f.window);
    focusHolder->show();
    if (how == "focus") {
      b->setFocus();
    } else {
      focusHolder->setFocus();
      QVERIFY(!b->hasFocus());
    }
    Enter(b, f.Centre());
    QVERIFY(b->IsHovering());
    QWidget other;
    auto* otherEdit = new QLineEdit(&other);
    if (how == "leave") {
      Leave(b);
    } else if (how == "focus") {
      QVERIFY(b->hasFocus());
      focusHolder->setFocus();
      QVERIFY(!b->hasFocus());
    } else if (how == "disable") {
      b->setEnabled(false);
    } else if (how == "deactivate") {
      other.show();
      other.activateWindow();
      otherEdit->setFocus();
      QTRY_VERIFY(!f.window.isActiveWindow());
    } else {
      b->hide();
    }
    QVERIFY(!b->IsHovering());
  }

  void doubleClickCountsTwice() {
    Fixture f;
    QSignalSpy clicks(f.button, &QAbstractButton::clicked);
    const QPoint p = f.Centre();
    SendMouse(f.button, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    SendMouse(f.button, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    SendMouse(f.button, QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
    SendMouse(f.button, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(clicks.count(), 2);
    // A click also gives the button the focus.
    QVERIFY(f.button->hasFocus() || QApplication::focusWidget() == nullptr);
  }

  void layoutIcon_data() {
    QTest::addColumn<QRect>("item");
    QTest::addColumn<bool>("hasText");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<QPoint>("iconAt");
    QTest::addColumn<int>("captionLeft");
    QTest::newRow("no text, centred")
        << QRect(0, 0, 56, 40) << false << false << QPoint(12, 4) << 0;
    QTest::newRow("no text, odd sizes")
        << QRect(0, 0, 57, 41) << false << false << QPoint(12, 4) << 0;
    QTest::newRow("no text, smaller than the icon")
        << QRect(0, 0, 30, 30) << false << false << QPoint(-1, -1) << 0;
    QTest::newRow("text, 3 from the left")
        << QRect(0, 0, 128, 40) << true << false << QPoint(3, 4) << 35;
    QTest::newRow("text, pressed") << QRect(0, 0, 128, 40) << true << true << QPoint(4, 5) << 35;
    QTest::newRow("no text, pressed") << QRect(0, 0, 56, 40) << false << true << QPoint(13, 5) << 0;
    QTest::newRow("offset item") << QRect(10, 20, 56, 40) << false << false << QPoint(22, 24) << 10;
  }
  void layoutIcon() {
    QFETCH(QRect, item);
    QFETCH(bool, hasText);
    QFETCH(bool, pressed);
    QFETCH(QPoint, iconAt);
    QFETCH(int, captionLeft);
    CIconButton button;
    QRect caption = item;
    const QRect icon = button.LayoutIcon(item, QSize(32, 32), hasText, pressed, caption);
    QCOMPARE(icon, QRect(iconAt, QSize(32, 32)));
    QCOMPARE(caption.left(), captionLeft);
    QCOMPARE(caption.right(), item.right());
  }

  // What the states look like, read back from the painted pixels.
  void paintsEachState() {
    Fixture withText(QStringLiteral("更新実行"));
    Fixture iconOnly(QString(), QSize(56, 40));
    CIconButton* b = withText.button;
    const QPalette& colors = b->palette();
    const QColor face = colors.color(QPalette::Button);

    // Idle: gray icon, no frame.
    QImage idle = Render(b);
    QVERIFY(Same(idle.pixelColor(0, 0), face));
    QVERIFY(Same(idle.pixelColor(b->width() - 1, b->height() - 1), face));
    QVERIFY(BoundingBox(idle, IsStrongGreen).isNull());

    // Hover: colour icon in a raised frame.
    Enter(b, withText.Centre());
    QImage hover = Render(b);
    QVERIFY(Same(hover.pixelColor(0, 0), colors.color(QPalette::Light)));
    QVERIFY(Same(hover.pixelColor(b->width() - 1, b->height() - 1), colors.color(QPalette::Dark)));
    const QRect hoverIcon = BoundingBox(hover, IsStrongGreen);
    QVERIFY(!hoverIcon.isNull());

    // Pressed: sunken frame, icon and text one pixel right and down.
    b->setDown(true);
    QImage pressed = Render(b);
    QVERIFY(Same(pressed.pixelColor(0, 0), colors.color(QPalette::Dark)));
    QVERIFY(
        Same(pressed.pixelColor(b->width() - 1, b->height() - 1), colors.color(QPalette::Light)));
    QCOMPARE(BoundingBox(pressed, IsStrongGreen), hoverIcon.translated(1, 1));
    const QColor text = colors.color(QPalette::ButtonText);
    const auto isText = [&text](const QColor& c) { return Same(c, text); };
    const QRect textArea(40, 2, b->width() - 42, b->height() - 4);
    const QRect hoverText = BoundingBox(hover.copy(textArea), isText);
    QVERIFY(!hoverText.isNull());
    QCOMPARE(BoundingBox(pressed.copy(textArea), isText), hoverText.translated(1, 1));
    // The text block is centred in the face right of the icon.
    const int captionLeft = 3 + 32;
    const int slack = (b->width() - captionLeft) - hoverText.width();
    QVERIFY(qAbs((hoverText.left() + textArea.left() - captionLeft) - slack / 2) <= 2);
    b->setDown(false);

    // The icon sits 3 pixels from the left with text, centred without.
    const QImage art = mivotra::LoadIconImage(mivotra::kRunIconId);
    const QRect artBox = BoundingBox(art, IsStrongGreen);
    QCOMPARE(hoverIcon.topLeft(), QPoint(3, (b->height() - 32) / 2) + artBox.topLeft());
    Enter(iconOnly.button, iconOnly.Centre());
    const QRect centred = BoundingBox(Render(iconOnly.button), IsStrongGreen);
    QCOMPARE(centred.topLeft(), QPoint((56 - 32) / 2, (40 - 32) / 2) + artBox.topLeft());

    // Disabled: no hover, grayscale icon, text embossed in the light colour.
    b->setEnabled(false);
    QImage disabled = Render(b);
    QVERIFY(!b->IsHovering());
    QVERIFY(Same(disabled.pixelColor(0, 0), face));
    QVERIFY(BoundingBox(disabled, IsStrongGreen).isNull());
    const QColor light = CIconButton::EmbossHighlight(colors);
    QVERIFY(!BoundingBox(disabled.copy(textArea), [&light](const QColor& c) {
               return Same(c, light);
             }).isNull());
  }

  // A disabled button takes no notice of the mouse: no hover, no frame, no
  // tip; disabled under the mouse it goes back to its idle look at once.
  void aDisabledButtonIgnoresTheMouse() {
    Fixture f(QStringLiteral("更新実行"));
    CIconButton* b = f.button;
    b->setEnabled(false);
    const QImage untouched = Render(b);
    Enter(b, f.Centre());
    SendMouse(b, QEvent::MouseMove, f.Centre() + QPoint(1, 0), Qt::NoButton, Qt::NoButton);
    QVERIFY(!b->IsHovering());
    QCOMPARE(Render(b), untouched);
    QHelpEvent help(QEvent::ToolTip, f.Centre(), b->mapToGlobal(f.Centre()));
    QApplication::sendEvent(b, &help);
    QTest::qWait(50);
    QVERIFY(!QToolTip::isVisible());

    // Hovered, with its tip showing, then disabled.
    b->setEnabled(true);
    Enter(b, f.Centre());
    QVERIFY(b->IsHovering());
    QHelpEvent tip(QEvent::ToolTip, f.Centre(), b->mapToGlobal(f.Centre()));
    QApplication::sendEvent(b, &tip);
    QTRY_VERIFY(QToolTip::isVisible());
    b->setEnabled(false);
    QVERIFY(!b->IsHovering());
    QTRY_VERIFY(!QToolTip::isVisible());
    QCOMPARE(Render(b), untouched);
  }

  // Disabled: the gray icon in the style's disabled rendering, the caption
  // embossed (highlight one pixel right and down, the shadow on top).
  void theDisabledLook() {
    Fixture f(QStringLiteral("更新実行"));
    CIconButton* b = f.button;
    b->setEnabled(false);
    const QImage shown = Render(b);
    const QColor face = b->palette().color(QPalette::Active, QPalette::Button);

    QRect caption = b->rect();
    const QRect iconRect = b->LayoutIcon(b->rect(), QSize(32, 32), true, false, caption);
    QImage expected(b->size(), QImage::Format_RGB32);
    expected.fill(face);
    {
      QPainter painter(&expected);
      QStyleOption option;
      option.initFrom(b);
      painter.drawPixmap(iconRect.topLeft(),
                         b->style()->generatedIconPixmap(
                             QIcon::Disabled, QPixmap::fromImage(b->IdleIcon()), &option));
    }
    QCOMPARE(shown.copy(iconRect), expected.copy(iconRect));

    const QColor highlight = CIconButton::EmbossHighlight(b->palette());
    const QColor shadow = CIconButton::EmbossShadow(b->palette());
    QVERIFY(!Same(highlight, shadow));
    const QImage text = shown.copy(caption);
    const QRect lit = BoundingBox(text, [&](const QColor& c) { return Same(c, highlight); });
    const QRect dark = BoundingBox(text, [&](const QColor& c) { return Same(c, shadow); });
    QVERIFY(!lit.isNull() && !dark.isNull());
    // The highlight shows below and right of the shadow (edges are smoothed,
    // so a pixel either way).
    QVERIFY(lit.top() > dark.top() && lit.left() > dark.left());
    QVERIFY(qAbs(lit.right() - (dark.right() + 1)) <= 1);
    QVERIFY(qAbs(lit.bottom() - (dark.bottom() + 1)) <= 1);
    // Not the flat grey of disabled text.
    const QColor grey = b->palette().color(QPalette::Disabled, QPalette::ButtonText);
    if (!Same(grey, shadow) && !Same(grey, highlight))
      QVERIFY(BoundingBox(text, [&](const QColor& c) { return Same(c, grey); }).isNull());
  }

  // Focus set by the mouse shows nothing, as in the original; once the
  // keyboard has moved it, a one-pixel frame inside the hover frame's place,
  // in a colour that stands out from the face; gone with the focus.
  void theFocusFrameShowsOnlyAfterTheKeyboardMovedIt_data() {
    QTest::addColumn<int>("away");
    QTest::addColumn<int>("back");
    QTest::addColumn<int>("backModifiers");
    QTest::newRow("Tab, Shift+Tab")
        << int(Qt::Key_Tab) << int(Qt::Key_Tab) << int(Qt::ShiftModifier);
    QTest::newRow("Right, Left") << int(Qt::Key_Right) << int(Qt::Key_Left) << 0;
    QTest::newRow("Down, Up") << int(Qt::Key_Down) << int(Qt::Key_Up) << 0;
  }
  void theFocusFrameShowsOnlyAfterTheKeyboardMovedIt() {
    QFETCH(int, away);
    QFETCH(int, back);
    QFETCH(int, backModifiers);
    Fixture f(QStringLiteral("更新実行"));
    auto* other = new CIconButton(&f.window);
    other->setGeometry(10, 55, 60, 20);
    other->show();
    f.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    const QImage unfocused = Render(f.button);
    f.button->setFocus(Qt::MouseFocusReason);
    QVERIFY(f.button->hasFocus());
    QCOMPARE(Render(f.button), unfocused);

    QTest::keyClick(f.button, Qt::Key(away));
    QVERIFY(other->hasFocus());
    QCOMPARE(Render(f.button), unfocused);
    QTest::keyClick(other, Qt::Key(back), Qt::KeyboardModifiers(backModifiers));
    QVERIFY(f.button->hasFocus());
    const QImage framed = Render(f.button);
    const QRect ring = f.button->rect().adjusted(1, 1, -1, -1);
    const QColor face = f.button->palette().color(QPalette::Button);
    const QColor color = framed.pixelColor(ring.topLeft());
    QVERIFY(mivotra::ContrastRatio(color, face) >= 3.0);
    for (int y = 0; y < framed.height(); ++y) {
      for (int x = 0; x < framed.width(); ++x) {
        const bool onRing = ring.contains(x, y) && !ring.adjusted(1, 1, -1, -1).contains(x, y);
        const QColor expected = onRing ? color : unfocused.pixelColor(x, y);
        QVERIFY2(Same(framed.pixelColor(x, y), expected),
                 qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
      }
    }
    // A click now keeps the frame: the window shows its cues from then on.
    f.button->clearFocus();
    QCOMPARE(Render(f.button), unfocused);
    f.button->setFocus(Qt::MouseFocusReason);
    QCOMPARE(Render(f.button), framed);
  }

  // The frame's colour: the style's highlight where it stands out by 3:1,
  // else the text colour of the background it is drawn on.
  void focusFrameColour_data() {
    QTest::addColumn<QColor>("highlight");
    QTest::addColumn<QColor>("face");
    QTest::addColumn<bool>("highlightChosen");
    QTest::newRow("Fusion's blue on its face")
        << QColor(0x30, 0x8c, 0xc6) << QColor(0xef, 0xef, 0xef) << true;
    QTest::newRow("a pale highlight")
        << QColor(0xc0, 0xd8, 0xf0) << QColor(0xef, 0xef, 0xef) << false;
  }
  void focusFrameColour() {
    QFETCH(QColor, highlight);
    QFETCH(QColor, face);
    QFETCH(bool, highlightChosen);
    QPalette colors;
    colors.setColor(QPalette::Highlight, highlight);
    colors.setColor(QPalette::Button, face);
    colors.setColor(QPalette::ButtonText, QColor(0x12, 0x34, 0x56));
    const QColor chosen = mivotra::FocusFrameColor(colors, QPalette::Button, QPalette::ButtonText);
    QCOMPARE(chosen, highlightChosen ? highlight : QColor(0x12, 0x34, 0x56));
  }

  void contrastRatio_data() {
    QTest::addColumn<QColor>("a");
    QTest::addColumn<QColor>("b");
    QTest::addColumn<double>("ratio");
    QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
    // #767676 is the lightest gray that reaches 4.5:1 on white.
    QTest::newRow("#767676 on white") << QColor(0x76, 0x76, 0x76) << QColor(Qt::white) << 4.54;
  }
  void contrastRatio() {
    QFETCH(QColor, a);
    QFETCH(QColor, b);
    QFETCH(double, ratio);
    QVERIFY2(qAbs(mivotra::ContrastRatio(a, b) - ratio) < 0.01,
             qPrintable(QString::number(mivotra::ContrastRatio(a, b))));
  }

  void paletteChangeTakesEffect() {
    Fixture f;
    QPalette palette = f.button->palette();
    palette.setColor(QPalette::Button, QColor(200, 10, 10));
    f.button->setPalette(palette);
    QVERIFY(Same(Render(f.button).pixelColor(1, 1), QColor(200, 10, 10)));
  }

  void tipWrapsAt400Pixels() {
    const QFont font = QToolTip::font();
    QCOMPARE(CIconButton::WrapTipText(QStringLiteral("検索"), font, 400), QStringLiteral("検索"));
    QString longText;
    for (int i = 0; i < 12; ++i) longText += QStringLiteral("データベースを更新します。");
    const QString wrapped = CIconButton::WrapTipText(longText, font, 400);
    const QStringList lines = wrapped.split(QLatin1Char('\n'));
    QVERIFY(lines.size() > 1);
    const QFontMetrics metrics(font);
    for (const QString& line : lines) QVERIFY(metrics.horizontalAdvance(line) <= 400);
    QCOMPARE(lines.join(QString()), longText);
    // Words are not split where a space allows a break.
    const QString words = QStringLiteral(
        "alpha beta gamma delta epsilon zeta eta theta iota kappa "
        "lambda mu nu xi omicron pi rho sigma tau upsilon phi");
    for (const QString& line : CIconButton::WrapTipText(words, font, 400).split('\n')) {
      QVERIFY(metrics.horizontalAdvance(line) <= 400);
      for (const QString& word : line.split(' ')) QVERIFY(words.split(' ').contains(word));
    }
  }

  void tipShowsOnlyWhenActive() {
    Fixture f;
    QHelpEvent help(QEvent::ToolTip, f.Centre(), f.button->mapToGlobal(f.Centre()));
    QApplication::sendEvent(f.button, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY(QToolTip::text().contains(QStringLiteral("データベース更新")));
    QToolTip::hideText();
    QTRY_VERIFY(!QToolTip::isVisible());
    f.button->SetTipText("データベース更新", false);
    QHelpEvent again(QEvent::ToolTip, f.Centre(), f.button->mapToGlobal(f.Centre()));
    QApplication::sendEvent(f.button, &again);
    QVERIFY(!QToolTip::isVisible());
  }

  void enterClicksTheFocusedAndTheDefaultButton() {
    QDialog dialog;
    auto* line = new QLineEdit(&dialog);
    auto* text = new QPlainTextEdit(&dialog);
    auto* button = new CIconButton(&dialog);
    button->setGeometry(0, 100, 60, 30);
    text->setGeometry(0, 30, 100, 60);
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    QCOMPARE(clicks.count(), 1);

    // Not the default: Enter in a line edit does not reach it.
    line->setFocus();
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(clicks.count(), 1);

    button->setDefault(true);
    QVERIFY(button->isDefault());
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(clicks.count(), 2);
    QVERIFY(dialog.isVisible());
    // A multi-line edit keeps its Enter.
    text->setFocus();
    QTest::keyClick(text, Qt::Key_Return);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(text->toPlainText(), QStringLiteral("\n"));
    // A disabled default button is not clicked.
    button->setEnabled(false);
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(clicks.count(), 2);
    button->setEnabled(true);
    button->setDefault(false);
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(clicks.count(), 2);
  }

  // One picture of both buttons in every state, for a person to look at.
  void screenshot() {
    const QStringList states = {"idle", "hover", "pressed", "disabled"};
    QImage sheet(4 * 140, 2 * 50, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    for (int row = 0; row < 2; ++row) {
      for (int column = 0; column < states.size(); ++column) {
        Fixture f(row == 0 ? QStringLiteral("更新実行") : QString(),
                  row == 0 ? QSize(128, 40) : QSize(56, 40));
        if (row == 1) {
          f.button->Configure(mivotra::kSearchIconId, CIconButton::MAKE_GRAY_ICON, "検索");
        }
        const QString& state = states[column];
        if (state != "idle" && state != "disabled") Enter(f.button, f.Centre());
        if (state == "pressed") f.button->setDown(true);
        if (state == "disabled") f.button->setEnabled(false);
        painter.drawImage(column * 140 + 4, row * 50 + 4, Render(f.button));
      }
    }
    painter.end();
    QVERIFY(sheet.save(mivotra::test::ScreenshotPath(QStringLiteral("icon_buttons"))));
    QVERIFY(sheet.scaled(sheet.size() * 2)
                .save(mivotra::test::ScreenshotPath(QStringLiteral("icon_buttons_x2"))));
    QImage icons(96, 32, QImage::Format_ARGB32);
    icons.fill(Qt::transparent);
    QPainter iconPainter(&icons);
    iconPainter.drawImage(0, 0, mivotra::LoadIconImage(mivotra::kAppIconId));
    iconPainter.drawImage(32, 0, mivotra::LoadIconImage(mivotra::kRunIconId));
    iconPainter.drawImage(64, 0, mivotra::LoadIconImage(mivotra::kSearchIconId));
    iconPainter.end();
    QVERIFY(icons.scaled(288, 96).save(mivotra::test::ScreenshotPath(QStringLiteral("icons_x3"))));
    QVERIFY(icons.save(mivotra::test::ScreenshotPath(QStringLiteral("icons"))));
  }
};

QTEST_MAIN(TestIconButton)
#include "test_IconButton.moc"
