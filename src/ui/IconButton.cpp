#include "ui/IconButton.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <QStyle>
#include <QStyleOption>
#include <QTextLayout>
#include <QTextOption>
#include <QToolTip>
#include <utility>

#include "ui/FocusFrame.h"
#include "ui/Icons.h"
#include "ui/MessageBoxes.h"

namespace mivotra {
namespace {

QFont MakeButtonFont() {
  QFont font;
  // Noto Sans CJK JP stands in where "ＭＳ Ｐゴシック" is not installed.
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                    QStringLiteral("Noto Sans CJK JP")});
  font.setStyleHint(QFont::SansSerif);
  // 14 pixels is the em height of the original font, which has no internal leading.
  font.setPixelSize(14);
  font.setWeight(QFont::Medium);
  return font;
}

// A one-pixel 3-D rectangle: top and left edges in topLeft, bottom and right in bottomRight.
void Draw3dRect(QPainter& dc, const QRect& rect, const QColor& topLeft, const QColor& bottomRight) {
  const int x = rect.x();
  const int y = rect.y();
  const int cx = rect.width();
  const int cy = rect.height();
  dc.fillRect(QRect(x, y, cx - 1, 1), topLeft);
  dc.fillRect(QRect(x, y, 1, cy - 1), topLeft);
  dc.fillRect(QRect(x + cx - 1, y, 1, cy), bottomRight);
  dc.fillRect(QRect(x, y + cy - 1, cx, 1), bottomRight);
}

constexpr int kCaptionFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop;

}  // namespace

QColor CIconButton::EmbossHighlight(const QPalette& colors) {
  return colors.color(QPalette::Active, QPalette::Light);
}

QColor CIconButton::EmbossShadow(const QPalette& colors) {
  return colors.color(QPalette::Active, QPalette::Dark);
}

CIconButton::CIconButton(QWidget* parent) : QAbstractButton(parent), m_font(MakeButtonFont()) {
  ReadStateColors();
  setFocusPolicy(Qt::StrongFocus);
  // Hover starts on a plain move over the button, so moves must arrive without a button held.
  setMouseTracking(true);
  // A click also takes the keyboard focus, whatever started it.
  connect(this, &QAbstractButton::clicked, this, [this] { setFocus(Qt::OtherFocusReason); });
}

CIconButton::~CIconButton() {
  if (m_watchedWindow != nullptr) m_watchedWindow->removeEventFilter(this);
}

int CIconButton::Configure(int iconId, int idleIconId, std::string tipText) {
  const int result = LoadIcons(iconId, idleIconId);
  SetTipText(std::move(tipText), true);
  setFont(m_font);
  update();
  return result;
}

int CIconButton::LoadIcons(int iconId, int idleIconId) {
  // Drawn for the screen's pixels, and again should the window move to a
  // screen of another scale.
  const qreal ratio = devicePixelRatioF();
  const QImage active = LoadIconImage(iconId, ratio);
  QImage idle;
  if (idleIconId != 0 && idleIconId != MAKE_GRAY_ICON) idle = LoadIconImage(idleIconId, ratio);
  const int result = AssignIcons(active, idle, idleIconId == MAKE_GRAY_ICON);
  m_loadedIcons = {iconId, idleIconId, ratio};
  return result;
}

void CIconButton::ReleaseIcons() {
  for (IconRecord& record : m_icons) record = IconRecord{};
}

int CIconButton::AssignIcons(const QImage& activeIcon, const QImage& idleIcon, bool grayIdle) {
  ReleaseIcons();
  m_loadedIcons.reset();
  if (activeIcon.isNull()) {
    update();
    return 0;
  }
  // Sizes in the widget's (device-independent) pixels.
  auto record = [](const QImage& image) {
    const QSize size = image.deviceIndependentSize().toSize();
    return IconRecord{image, size.width(), size.height()};
  };
  m_icons[0] = record(activeIcon);
  // Made once here, never on a paint.
  const QImage idle = grayIdle ? MakeGrayIcon(activeIcon) : idleIcon;
  if (grayIdle && idle.isNull()) {
    ReleaseIcons();
    return 1;
  }
  if (!idle.isNull()) m_icons[1] = record(idle);
  update();
  return 0;
}

int CIconButton::GrayLevel(int red, int green, int blue) {
  // The order of the additions is part of the result: the sum of the green
  // and blue parts comes first, so that white gives 255 and not 254.
  const double gray = (green * 0.587 + blue * 0.114) + red * 0.299;
  return static_cast<int>(gray);
}

QImage CIconButton::MakeGrayIcon(const QImage& icon) {
  if (icon.isNull()) return {};
  const QImage source = icon.convertToFormat(QImage::Format_ARGB32);
  QImage gray(source.size(), QImage::Format_ARGB32);
  for (int y = 0; y < source.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    auto* out = reinterpret_cast<QRgb*>(gray.scanLine(y));
    for (int x = 0; x < source.width(); ++x) {
      const QRgb pixel = in[x];
      const int alpha = qAlpha(pixel);
      // Exactly black is also what lies under transparent parts: it stays black.
      if ((pixel & 0x00FFFFFFu) == 0) {
        out[x] = qRgba(0, 0, 0, alpha);
        continue;
      }
      const int level = GrayLevel(qRed(pixel), qGreen(pixel), qBlue(pixel));
      out[x] = qRgba(level, level, level, alpha);
    }
  }
  gray.setDevicePixelRatio(icon.devicePixelRatio());
  return gray;
}

QString CIconButton::WrapTipText(const QString& text, const QFont& font, int maxWidth) {
  QStringList lines;
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
    if (paragraph.isEmpty()) {
      lines << QString();
      continue;
    }
    QTextLayout layout(paragraph, font);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(maxWidth);
      lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
  }
  return lines.join(QLatin1Char('\n'));
}

void CIconButton::SetTipText(std::string text, bool activate) {
  if (text.empty()) return;
  m_tipText = QString::fromStdString(text);
  m_bTipActive = activate;
  setToolTip(m_tipText);
}

void CIconButton::setDefault(bool isDefault) {
  m_bDefault = isDefault;
  if (m_bDefault) WatchWindowForEnter();
}

void CIconButton::WatchWindowForEnter() {
  QWidget* top = window();
  if (top == m_watchedWindow) return;
  if (m_watchedWindow != nullptr) m_watchedWindow->removeEventFilter(this);
  m_watchedWindow = (top != this) ? top : nullptr;
  if (m_watchedWindow != nullptr) {
    m_watchedWindow->installEventFilter(this);
    connect(m_watchedWindow, &QObject::destroyed, this, [this](QObject* gone) {
      if (gone == m_watchedWindow) m_watchedWindow = nullptr;
    });
  }
}

bool CIconButton::eventFilter(QObject* watched, QEvent* event) {
  // Enter reaches the window only when the control with the focus left it
  // alone (a multi-line edit keeps it): then it belongs to the default button.
  if (watched == m_watchedWindow && m_bDefault && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && (key->modifiers() & ~Qt::KeypadModifier) == 0 && isEnabled() && isVisible()) {
      RunEventHandler(this, [this] { click(); });
      return true;
    }
  }
  return QAbstractButton::eventFilter(watched, event);
}

QRect CIconButton::LayoutIcon(const QRect& itemRect, QSize iconSize, bool hasText, bool pressed,
                              QRect& captionRect) const {
  QRect imageRect = itemRect;
  if (hasText) {
    imageRect.setLeft(imageRect.left() + m_ptIconMargin.x());
    captionRect.setLeft(captionRect.left() + iconSize.width() + m_ptIconMargin.x());
  } else {
    imageRect.setLeft(imageRect.left() + (imageRect.width() - iconSize.width()) / 2);
  }
  imageRect.setTop(imageRect.top() + (imageRect.height() - iconSize.height()) / 2);
  if (pressed) imageRect.translate(m_ptPressShift);
  return QRect(imageRect.topLeft(), iconSize);
}

QSize CIconButton::sizeHint() const {
  const QSize icon(m_icons[0].width, m_icons[0].height);
  const QString caption = text();
  if (caption.isEmpty())
    return icon + QSize(2 * m_ptIconMargin.x() + 2, 2 * m_ptIconMargin.y() + 2);
  const QSize textSize = fontMetrics().size(0, caption);
  return QSize(icon.width() + 3 * m_ptIconMargin.x() + textSize.width() + 2,
               qMax(icon.height(), textSize.height()) + 2 * m_ptIconMargin.y() + 2);
}

void CIconButton::ReadStateColors() {
  const QPalette& colors = palette();
  const QColor face = colors.color(QPalette::Active, QPalette::Button);
  const QColor text = colors.color(QPalette::Active, QPalette::ButtonText);
  for (StateColors& pair : m_stateColors) pair = {face, text};
}

void CIconButton::PaintBackground(QPainter& dc, const QRect& itemRect) {
  const ColorState state = (m_bHover || m_bPressed) ? HoverOrPressed
                           : m_bFocused             ? Focused
                                                    : Normal;
  dc.fillRect(itemRect, m_stateColors[state].background);
}

void CIconButton::PaintFrame(QPainter& dc, const QRect& itemRect) {
  const QColor shadow = palette().color(QPalette::Dark);
  const QColor highlight = palette().color(QPalette::Light);
  if (m_bPressed) {
    Draw3dRect(dc, itemRect, shadow, highlight);
  } else {
    Draw3dRect(dc, itemRect, highlight, shadow);
  }
}

void CIconButton::PaintIcon(QPainter& dc, bool hasText, const QRect& itemRect, QRect& captionRect,
                            bool pressed, bool disabled) {
  const bool idle = !pressed && !m_bHover && !m_icons[1].image.isNull();
  const IconRecord& icon = m_icons[idle ? 1 : 0];
  const QRect imageRect =
      LayoutIcon(itemRect, QSize(icon.width, icon.height), hasText, pressed, captionRect);
  QPixmap pixmap = QPixmap::fromImage(icon.image);
  if (disabled) {
    QStyleOption option;
    option.initFrom(this);
    const qreal ratio = pixmap.devicePixelRatio();
    pixmap = style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
    pixmap.setDevicePixelRatio(ratio);
  }
  dc.drawPixmap(imageRect.topLeft(), pixmap);
}

void CIconButton::PaintCaption(QPainter& dc, const QString& text, const QRect& itemRect,
                               QRect& captionRect, bool pressed, bool disabled) {
  Q_UNUSED(itemRect);
  if (pressed) captionRect.translate(m_ptPressShift);
  const QRect area = captionRect;
  // Measure the wrapped block, then centre it in the area.
  const QSize block = dc.fontMetrics().boundingRect(area, kCaptionFlags, text).size();
  captionRect = QRect(area.topLeft(), block);
  captionRect.translate((area.width() - block.width()) / 2, (area.height() - block.height()) / 2);
  if (disabled) {
    // Embossed in the 3-D highlight and shadow colours, which do not change
    // with the button's state (the disabled group's text colour is the faint
    // grey of a flat greyed text instead).
    dc.setPen(EmbossHighlight(palette()));
    dc.drawText(captionRect.translated(1, 1), kCaptionFlags, text);
    dc.setPen(EmbossShadow(palette()));
    dc.drawText(captionRect, kCaptionFlags, text);
    return;
  }
  const ColorState state = (m_bHover || pressed) ? HoverOrPressed : Normal;
  dc.setPen(m_stateColors[state].text);
  dc.drawText(captionRect, kCaptionFlags, text);
}

void CIconButton::paintEvent(QPaintEvent* /*event*/) {
  if (m_loadedIcons && m_loadedIcons->ratio != devicePixelRatioF())
    LoadIcons(m_loadedIcons->iconId, m_loadedIcons->idleIconId);
  QPainter dc(this);
  dc.setFont(font());
  m_bPressed = isDown();
  m_bFocused = hasFocus();
  m_bDisabled = !isEnabled();
  const QRect itemRect = rect();
  PaintBackground(dc, itemRect);
  if ((m_bPressed || m_bHover) && !m_bDisabled) PaintFrame(dc, itemRect);
  const QString caption = text();
  QRect captionRect = itemRect;
  if (!m_icons[0].image.isNull()) {
    PaintIcon(dc, !caption.isEmpty(), itemRect, captionRect, m_bPressed, m_bDisabled);
  }
  if (!caption.isEmpty()) {
    PaintCaption(dc, caption, itemRect, captionRect, m_bPressed, m_bDisabled);
  }
  // The mouse user sees no focus, as in the original; the keyboard user sees
  // it once the keyboard has moved it, as Windows shows its cues only then.
  if (m_bFocused && !m_bDisabled && ShowsKeyboardCues(this)) PaintFocusFrame(dc, itemRect);
}

void CIconButton::PaintFocusFrame(QPainter& dc, const QRect& itemRect) {
  // Inside the hover frame, in the one-pixel gap the 32-pixel icon leaves.
  DrawFocusFrame(dc, itemRect.adjusted(1, 1, -1, -1),
                 FocusFrameColor(palette(), QPalette::Button, QPalette::ButtonText));
}

bool CIconButton::event(QEvent* event) {
  // Painting, the mouse, the keys and the tip all start here.
  bool handled = false;
  RunEventHandler(this, [&] { handled = DispatchEvent(event); });
  return handled;
}

bool CIconButton::DispatchEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    // A disabled button says nothing, as it reacts to nothing else.
    if (m_bTipActive && !m_tipText.isEmpty() && isEnabled()) {
      // Rich text kept on the lines we broke, so the tip label does not re-wrap it.
      const QString lines = WrapTipText(m_tipText, QToolTip::font(), kMaxTipWidth);
      QString html = lines.toHtmlEscaped();
      html.replace(QLatin1Char('\n'), QStringLiteral("<br/>"));
      QToolTip::showText(help->globalPos(),
                         QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(html), this,
                         rect());
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
  if (event->type() == QEvent::ParentChange && m_bDefault) WatchWindowForEnter();
  // The window passes its deactivation on to every child.
  if (event->type() == QEvent::WindowDeactivate) EndHover();
  return QAbstractButton::event(event);
}

void CIconButton::TrackHover(QPoint position, Qt::MouseButtons buttons) {
  // Qt still tells a disabled button of the mouse entering it; it shows no
  // hover.
  if (!isEnabled()) {
    EndHover();
    return;
  }
  // A mouse that arrives with the left button held (a drag from elsewhere)
  // starts no hover.
  if ((buttons & Qt::LeftButton) && !m_bHover) return;
  if (rect().contains(position)) {
    if (!m_bHover) {
      m_bHover = true;
      update();
    }
    return;
  }
  EndHover();
}

void CIconButton::EndHover() {
  if (!m_bHover) return;
  m_bHover = false;
  update();
}

void CIconButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  TrackHover(event->position().toPoint(), QGuiApplication::mouseButtons());
}

void CIconButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  EndHover();
}

void CIconButton::mouseMoveEvent(QMouseEvent* event) {
  QAbstractButton::mouseMoveEvent(event);
  TrackHover(event->position().toPoint(), event->buttons());
}

void CIconButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a plain press: two clicks, two signals.
  mousePressEvent(event);
}

void CIconButton::keyPressEvent(QKeyEvent* event) {
  // Enter clicks the button that has the focus, as it does any push button in a dialog.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == 0) {
    click();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void CIconButton::focusOutEvent(QFocusEvent* event) {
  QAbstractButton::focusOutEvent(event);
  EndHover();
}

void CIconButton::hideEvent(QHideEvent* event) {
  QAbstractButton::hideEvent(event);
  EndHover();
}

void CIconButton::changeEvent(QEvent* event) {
  QAbstractButton::changeEvent(event);
  switch (event->type()) {
    case QEvent::EnabledChange:
      if (!isEnabled()) {
        EndHover();
        QToolTip::hideText();
      }
      break;
    case QEvent::PaletteChange:
      ReadStateColors();
      update();
      break;
    default:
      break;
  }
}

}  // namespace mivotra
