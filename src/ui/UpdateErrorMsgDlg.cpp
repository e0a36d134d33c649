#include "ui/UpdateErrorMsgDlg.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <optional>
#include <string_view>

#include "res/Texts.h"
#include "ui/Clipboard.h"
#include "ui/DialogUnits.h"
#include "ui/LineEndKeeper.h"
#include "ui/MessageBoxes.h"
#include "ui/QtText.h"
#include "ui/WindowFit.h"

namespace mivotra {
CUpdateErrorMsgDlg::CUpdateErrorMsgDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("CUpdateErrorMsgDlg"));
  setWindowTitle(QtText(texts::ErrorWindowCaption));
  setFont(DialogFont(11));
  const DialogUnits units(font());
  m_templateSize = units.Size(385, 287);

  // Created in tab order.
  m_closeButton = new QPushButton(QtText(texts::ErrorWindowClose), this);
  m_closeButton->setObjectName(QStringLiteral("closeButton"));
  m_closeButton->setDefault(true);

  m_errorEdit = new QPlainTextEdit(this);
  m_errorEdit->setObjectName(QStringLiteral("errorTextEdit"));
  m_errorEdit->setAccessibleName(QtText(texts::ErrorTextName));
  // Long lines scroll sideways instead of wrapping; Tab moves on as in any dialog.
  m_errorEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_errorEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_errorEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_errorEdit->setTabChangesFocus(true);
  m_lineEnds = new LineEndKeeper(m_errorEdit->document());

  m_copyButton = new QPushButton(QtText(texts::ErrorWindowCopy), this);
  m_copyButton->setObjectName(QStringLiteral("copyButton"));

  // The template's buttons, each widened to the left where its caption in
  // the font at hand would not fit.
  auto fitted = [](QRect r, const QPushButton* button) {
    const int need = button->sizeHint().width();
    if (need > r.width()) r.setLeft(r.right() + 1 - need);
    return r;
  };
  const QRect closeTemplate = units.Rect(332, 268, 50, 17);
  m_closeRect = fitted(closeTemplate, m_closeButton);
  m_copyRect =
      units.Rect(260, 268, 68, 17).translated(m_closeRect.left() - closeTemplate.left(), 0);
  m_copyRect = fitted(m_copyRect, m_copyButton);
  m_editRect = units.Rect(4, 4, 377, 260);
  Layout(m_templateSize);

  setTabOrder(m_closeButton, m_errorEdit);
  setTabOrder(m_errorEdit, m_copyButton);

  connect(m_closeButton, &QPushButton::clicked, this, &CUpdateErrorMsgDlg::accept);
  connect(m_copyButton, &QPushButton::clicked, this, &CUpdateErrorMsgDlg::OnCopyErrorText);
}

CUpdateErrorMsgDlg::~CUpdateErrorMsgDlg() = default;

void CUpdateErrorMsgDlg::Layout(QSize client) {
  const int dx = client.width() - m_templateSize.width();
  const int dy = client.height() - m_templateSize.height();
  m_closeButton->setGeometry(m_closeRect.translated(dx, dy));
  m_copyButton->setGeometry(m_copyRect.translated(dx, dy));
  m_errorEdit->setGeometry(m_editRect.adjusted(0, 0, dx, dy));
  setFixedSize(client);
}

QSize CUpdateErrorMsgDlg::MinimumClientSize() const {
  // Both buttons, and three lines of text above them.
  const int width = m_templateSize.width() - m_copyRect.left() + m_editRect.left();
  const int lines = 3 * m_errorEdit->fontMetrics().lineSpacing() + 2 * m_errorEdit->frameWidth() +
                    2 * static_cast<int>(m_errorEdit->document()->documentMargin());
  const int height = m_templateSize.height() - m_editRect.height() + lines;
  return {width, height};
}

void CUpdateErrorMsgDlg::FitInto(const QRect& area, const QMargins& frame) {
  Layout(FitClientSize(m_templateSize, MinimumClientSize(), area, frame));
}

void CUpdateErrorMsgDlg::setVisible(bool visible) {
  // A fit that fails leaves the template's size.
  if (visible && !isVisible()) {
    RunEventHandler(this, [this] {
      m_fittedFrame = WindowFrame(this);
      FitInto(AvailableArea(this), m_fittedFrame);
    });
    m_frameWait = FrameWait::Awaited;
  }
  if (!visible) m_frameWait = FrameWait::None;
  QDialog::setVisible(visible);
}

bool CUpdateErrorMsgDlg::event(QEvent* event) {
  // The fit before the window was shown took the frame of another window,
  // or a guess; a window manager that tells no frame (weston) puts its own
  // on only once the window is mapped. The window system reports the
  // window's own frame with the window's next move or resize.
  const QEvent::Type type = event->type();
  if (m_frameWait != FrameWait::None &&
      (type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowActivate)) {
    RunEventHandler(this, [this, type] { FitToOwnFrame(type == QEvent::WindowActivate); });
  }
  return QDialog::event(event);
}

void CUpdateErrorMsgDlg::FitToOwnFrame(bool activated) {
  std::optional<QMargins> frame = ShownFrame(this);
  if (m_frameWait == FrameWait::Asked) {
    // The answer to the resize below: the window's frame, or none at all.
    if (activated) return;
    m_frameWait = FrameWait::None;
    FitOnScreen(frame.value_or(m_fittedFrame));
    return;
  }
  if (frame) {
    m_frameWait = FrameWait::None;
    if (*frame != m_fittedFrame) FitOnScreen(*frame);
    return;
  }
  if (!activated) return;
  // Framed by now, and nothing moved since: a real resize (one pixel, undone
  // by the fit that follows) makes the window system tell the frame.
  Layout(size() - QSize(0, 1));
  m_frameWait = FrameWait::Asked;
}

void CUpdateErrorMsgDlg::FitOnScreen(const QMargins& frame) {
  m_fittedFrame = frame;
  const QRect area = AvailableArea(this);
  FitInto(area, frame);
  // Placed with the frame it was fitted to, the window with its real frame
  // may reach over the edge of the screen.
  const QRect outer = frameGeometry();
  if (!area.isValid() || area.contains(outer)) return;
  const int x = std::clamp(outer.left(), area.left(),
                           std::max(area.left(), area.right() + 1 - outer.width()));
  const int y =
      std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
  move(x, y);
}

void CUpdateErrorMsgDlg::UpdateData(bool saveAndValidate) {
  if (!saveAndValidate) {
    m_shownText = m_strErrorText;
    m_lineEnds->SetText(QtText(m_strErrorText));
    m_errorEdit->moveCursor(QTextCursor::Start);
    return;
  }
  // Unchanged (or changed and undone): the very bytes given, even those that
  // are not valid UTF-8.
  if (!m_errorEdit->document()->isModified()) {
    m_strErrorText = m_shownText;
    return;
  }
  m_strErrorText = m_lineEnds->Text().toStdString();
}

void CUpdateErrorMsgDlg::showEvent(QShowEvent* event) {
  // Each opening starts from the member, with the focus on 閉じる.
  if (!event->spontaneous()) {
    RunEventHandler(this, [this] {
      UpdateData(false);
      m_closeButton->setFocus(Qt::OtherFocusReason);
    });
  }
  QDialog::showEvent(event);
}

void CUpdateErrorMsgDlg::accept() {
  // A text that cannot be taken back keeps the window open; Esc still closes it.
  RunHandler(this, [this] {
    UpdateData(true);
    QDialog::accept();
  });
}

void CUpdateErrorMsgDlg::OnCopyErrorText() {
  RunHandler(this, [this] {
    UpdateData(true);
    CopyTextToClipboard(m_strErrorText, this);
  });
}

}  // namespace mivotra
