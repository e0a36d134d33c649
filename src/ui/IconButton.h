#pragma once
// A flat push button that paints itself: a grayscale icon and no frame while
// the mouse is away, the colour icon in a raised frame under the mouse, the
// icon and text shifted by a pixel in a sunken frame while pressed; a focus
// frame only once the keyboard has moved the focus.

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QPoint>
#include <QRect>
#include <QString>
#include <array>
#include <optional>
#include <string>

class QPainter;

namespace mivotra {

class CIconButton : public QAbstractButton {
  Q_OBJECT

 public:
  // Idle icon id that asks for a grayscale copy of the active icon.
  static constexpr int MAKE_GRAY_ICON = -2;
  // Longer tooltips wrap onto further lines.
  static constexpr int kMaxTipWidth = 400;

  explicit CIconButton(QWidget* parent = nullptr);
  CIconButton(const CIconButton&) = delete;
  CIconButton& operator=(const CIconButton&) = delete;
  ~CIconButton() override;

  // The one-time set-up: icons from the program's resources (idleIconId 0 for
  // none, MAKE_GRAY_ICON for a grayscale copy), the tooltip and the button's
  // font. Returns the result of LoadIcons.
  int Configure(int iconId, int idleIconId, std::string tipText);
  // An icon number without an image gives no icon (result 0); an idle number
  // without an image gives no idle icon.
  int LoadIcons(int iconId, int idleIconId);
  // Replaces both icons. idleIcon may be null for none; grayIdle makes the
  // idle icon the grayscale copy of activeIcon instead. Returns 0 when done,
  // 1 when an icon cannot be used (both are then dropped).
  int AssignIcons(const QImage& activeIcon, const QImage& idleIcon, bool grayIdle = false);
  // An empty text changes nothing; activate false keeps the tip from showing.
  void SetTipText(std::string text, bool activate);

  // The dialog's default button: Enter that no other control takes clicks it.
  void setDefault(bool isDefault);
  bool isDefault() const { return m_bDefault; }

  bool IsHovering() const { return m_bHover; }
  QImage ActiveIcon() const { return m_icons[0].image; }
  QImage IdleIcon() const { return m_icons[1].image; }
  QString TipText() const { return m_tipText; }
  bool IsTipActive() const { return m_bTipActive; }
  QFont ButtonFont() const { return m_font; }

  // Where the icon goes inside itemRect; with text, captionRect loses the
  // icon's width and margin on the left.
  QRect LayoutIcon(const QRect& itemRect, QSize iconSize, bool hasText, bool pressed,
                   QRect& captionRect) const;

  QSize sizeHint() const override;

  // Luminance of one pixel as the idle icons use it, truncated to an integer.
  static int GrayLevel(int red, int green, int blue);
  // A grayscale copy of icon: every pixel that is not exactly black becomes
  // its gray level, black stays black, alpha is kept.
  static QImage MakeGrayIcon(const QImage& icon);
  // The colours a disabled caption is embossed in: the highlight one pixel
  // right and down, the shadow on top.
  static QColor EmbossHighlight(const QPalette& colors);
  static QColor EmbossShadow(const QPalette& colors);
  // The tip text broken into lines no wider than maxWidth in font.
  static QString WrapTipText(const QString& text, const QFont& font, int maxWidth);

 protected:
  virtual void PaintBackground(QPainter& dc, const QRect& itemRect);
  virtual void PaintFrame(QPainter& dc, const QRect& itemRect);
  virtual void PaintIcon(QPainter& dc, bool hasText, const QRect& itemRect, QRect& captionRect,
                         bool pressed, bool disabled);
  virtual void PaintCaption(QPainter& dc, const QString& text, const QRect& itemRect,
                            QRect& captionRect, bool pressed, bool disabled);
  // The keyboard focus, shown once the user has moved it with the keyboard.
  virtual void PaintFocusFrame(QPainter& dc, const QRect& itemRect);

  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct IconRecord {
    QImage image;
    int width = 0;
    int height = 0;
  };
  struct StateColors {
    QColor background;
    QColor text;
  };
  enum ColorState { HoverOrPressed = 0, Normal = 1, Focused = 2 };

  // event()'s work: what it throws is told, not passed on to Qt.
  bool DispatchEvent(QEvent* event);
  void TrackHover(QPoint position, Qt::MouseButtons buttons);
  void EndHover();
  void ReadStateColors();
  void ReleaseIcons();
  void WatchWindowForEnter();

  QPoint m_ptIconMargin{3, 3};
  QPoint m_ptPressShift{1, 1};
  bool m_bHover = false;
  bool m_bPressed = false;
  bool m_bFocused = false;
  bool m_bDisabled = false;
  bool m_bDefault = false;
  std::array<StateColors, 3> m_stateColors;
  // The tooltip: its text and whether it may show.
  QString m_tipText;
  bool m_bTipActive = false;
  QFont m_font;
  std::array<IconRecord, 2> m_icons;
  // What LoadIcons drew the icons from, and for which device pixel ratio.
  struct LoadedIcons {
    int iconId;
    int idleIconId;
    qreal ratio;
  };
  std::optional<LoadedIcons> m_loadedIcons;
  QWidget* m_watchedWindow = nullptr;
};

}  // namespace mivotra
