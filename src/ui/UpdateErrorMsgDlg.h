#pragma once
// The window a failed update opens: the error details in an editable box,
// a button that copies what the box holds, and a button that closes it.

#include <QDialog>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace mivotra {

class LineEndKeeper;

class CUpdateErrorMsgDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CUpdateErrorMsgDlg(QWidget* parent = nullptr);
  CUpdateErrorMsgDlg(const CUpdateErrorMsgDlg&) = delete;
  CUpdateErrorMsgDlg& operator=(const CUpdateErrorMsgDlg&) = delete;
  ~CUpdateErrorMsgDlg() override;

  // The text to show; after each exchange from the window, the box's text.
  std::string m_strErrorText;

  // false: m_strErrorText into the box; true: the box into m_strErrorText.
  // The box keeps every line end as given ("\r\n" and lone "\n" alike); a line
  // break the user types becomes "\r\n".
  void UpdateData(bool saveAndValidate);

  // Sizes the window to its template, or smaller where the template does not
  // fit in area with the given frame: the text box gives up the room, the
  // buttons stay in the bottom right corner.
  void FitInto(const QRect& area, const QMargins& frame);
  QSize MinimumClientSize() const;

 public Q_SLOTS:
  void accept() override;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 public:
  // Fits the window to its owner's screen before the dialog places it.
  void setVisible(bool visible) override;

 private:
  void OnCopyErrorText();
  void Layout(QSize client);
  // Fits the window again once its own frame is known, where it is not the
  // one it was fitted to; activated: the window manager has framed it.
  void FitToOwnFrame(bool activated);
  // Fits the window to the screen with the frame, and moves it inside.
  void FitOnScreen(const QMargins& frame);

  QPushButton* m_closeButton;
  QPlainTextEdit* m_errorEdit;
  QPushButton* m_copyButton;
  LineEndKeeper* m_lineEnds;
  QSize m_templateSize;
  // Template rectangles in pixels; the buttons are kept at their distance
  // from the bottom right corner.
  QRect m_closeRect;
  QRect m_copyRect;
  QRect m_editRect;
  // What the box was last filled with, byte for byte, for as long as the user
  // has not changed it.
  std::string m_shownText;
  // The frame of the last fit, and how far the window's own frame is known
  // since it was shown: awaited, or asked for by a resize.
  QMargins m_fittedFrame;
  enum class FrameWait { None, Awaited, Asked };
  FrameWait m_frameWait = FrameWait::None;
};

}  // namespace mivotra
