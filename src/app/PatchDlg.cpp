#include "app/PatchDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QEvent>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QProgressDialog>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <cstdint>

#include "base/Attempt.h"
#include "res/Texts.h"
#include "ui/Clipboard.h"
#include "ui/DialogUnits.h"
#include "ui/FocusFrame.h"
#include "ui/IconButton.h"
#include "ui/Icons.h"
#include "ui/MessageBoxes.h"
#include "ui/QtText.h"
#include "ui/UpdateErrorMsgDlg.h"
#include "ui/VersionDlg.h"
#include "ui/WindowFit.h"
#include "update/PatchReport.h"

namespace mivotra {
namespace {

// Layout of the window in dialog units (x, y, width, height).
constexpr int kWidth = 260, kHeight = 183;
constexpr QRect kRunButton{2, 2, 64, 20};
constexpr QRect kProgressBar{70, 2, 154, 20};
constexpr QRect kLog{4, 28, 252, 152};
constexpr QRect kLine{4, 25, 252, 1};
constexpr QRect kSearchButton{228, 2, 28, 20};
constexpr int kDialogPointSize = 11;

}  // namespace

template <class Work>
void CPatchDlg::Handle(Work&& work) noexcept {
  RunHandler(this, std::forward<Work>(work), [this] { RecoverControls(); });
}

template <class Work>
void CPatchDlg::HandleEvent(Work&& work) noexcept {
  RunEventHandler(this, std::forward<Work>(work), [this] { RecoverControls(); });
}

void CPatchDlg::RecoverControls() noexcept {
  // A run that still goes on keeps its greyed controls, its copy progress
  // and its cursor; before the located database is opened nothing is offered.
  if (m_running || m_openAfterPaint) return;
  Attempt([this] { EndCopyProgress(); });
  Attempt([this] { SetWaitCursor(false); });
  m_connected = m_session.Database().IsConnected();
  const ControlChanges controls = ControlsFor(true, m_connected);
  if (!Attempt([&] { ApplyControls(controls); })) Attempt([&] { ApplyControls(controls); });
}

CPatchDlg::CPatchDlg(QWidget* parent, MainApplicationProbe* probe)
    : QDialog(parent),
      m_hIcon(LoadIcon(kAppIconId)),
      m_ownProbe(probe ? nullptr : MakeWindowProbe(std::string(texts::MainApplicationWindowClass))),
      m_session(*this, probe ? *probe : *m_ownProbe) {
  BuildFromTemplate();
}

CPatchDlg::~CPatchDlg() {
  // Closing the window closes the connection; a failing close is still reported.
  RunHandler(this, [this] { m_session.Database().Disconnect(); });
}

void CPatchDlg::BuildFromTemplate() {
  setObjectName("CPatchDlg");
  // A top-level window of its own rather than a dialog kind: as the program's
  // main window it must not be transient for the application's hidden leader
  // window, which keeps window managers from giving it a taskbar button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont(kDialogPointSize));
  const DialogUnits units(font());
  auto pixels = [&units](const QRect& r) {
    return units.Rect(r.x(), r.y(), r.width(), r.height());
  };
  m_templateSize = units.Size(kWidth, kHeight);
  m_runRect = pixels(kRunButton);
  m_progressRect = pixels(kProgressBar);
  m_logRect = pixels(kLog);
  m_lineRect = pixels(kLine);
  m_lineRect.setHeight(std::max(2, units.Y(1)));
  m_searchRect = pixels(kSearchButton);

  // Created in the template's order, which is also the tab order.
  m_runButton = new CIconButton(this);
  m_runButton->setObjectName("runButton");
  m_runButton->setText(QtText(texts::RunButtonText));
  m_runButton->setEnabled(false);

  m_progress = new QProgressBar(this);
  m_progress->setObjectName("progressBar");
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);
  m_progress->hide();  // it exists for the update's steps, but is never shown

  m_log = new QListWidget(this);
  m_log->setObjectName("logList");
  m_log->setFrameShape(QFrame::Box);
  // A list box's scroll bar shows only once its lines no longer fit.
  m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // One line at a time can be highlighted, by a click or the arrow keys, so
  // the reader keeps their place; none is until the user picks one, also
  // when the list takes the focus and its first line becomes the current one.
  m_log->setSelectionMode(QAbstractItemView::SingleSelection);
  // Its current line framed for the keyboard user, plainly enough to find.
  m_log->setItemDelegate(new CCurrentLineDelegate(m_log));
  m_log->setAccessibleName(QtText(texts::LogListName));

  m_line = new QFrame(this);
  m_line->setFrameShape(QFrame::HLine);
  m_line->setFrameShadow(QFrame::Sunken);

  m_searchButton = new CIconButton(this);
  m_searchButton->setObjectName("searchButton");
  m_searchButton->setEnabled(false);
  // It shows no text: a screen reader would say only "push button".
  m_searchButton->setAccessibleName(QtText(texts::SearchButtonName));

  Layout(m_templateSize);

  connect(m_runButton, &QAbstractButton::clicked, this, &CPatchDlg::OnRunUpdate);
  connect(m_searchButton, &QAbstractButton::clicked, this, &CPatchDlg::OnSearchDatabase);

  // The window manager owns the title bar's menu here, so the window carries
  // its own: right click, or from the keyboard Shift+F10 and the Menu key
  // (most window managers keep Alt+Space for their own menu; where one does
  // not, Alt+Space opens ours).
  m_windowMenu = new QMenu(this);
  m_windowMenu->setObjectName("windowMenu");
  m_closeAction = m_windowMenu->addAction(QtText(texts::WindowMenuClose), this, &QWidget::close);
  m_closeAction->setObjectName("closeAction");
  for (const QKeySequence& keys :
       {QKeySequence(Qt::ALT | Qt::Key_Space), QKeySequence(Qt::SHIFT | Qt::Key_F10),
        QKeySequence(Qt::Key_Menu)}) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, this, &CPatchDlg::PopupWindowMenu);
  }
}

void CPatchDlg::PopupWindowMenu() {
  Handle([this] {
    m_windowMenu->popup(mapToGlobal(QPoint(0, 0)));
    // From the keyboard, the first item is ready for the arrow keys and Enter.
    m_windowMenu->setActiveAction(m_windowMenu->actions().value(0));
  });
}

void CPatchDlg::Layout(QSize client) {
  // A window smaller than its template gives up the room in the log; the
  // search button keeps its place at the right edge.
  const int dx = client.width() - m_templateSize.width();
  const int dy = client.height() - m_templateSize.height();
  m_runButton->setGeometry(m_runRect);
  m_progress->setGeometry(m_progressRect.adjusted(0, 0, dx, 0));
  m_log->setGeometry(m_logRect.adjusted(0, 0, dx, dy));
  m_line->setGeometry(m_lineRect.adjusted(0, 0, dx, 0));
  m_line->setFixedHeight(m_lineRect.height());
  m_searchButton->setGeometry(m_searchRect.translated(dx, 0));
  setFixedSize(client);
}

void CPatchDlg::FitInto(const QRect& area, const QMargins& frame) {
  // Both buttons side by side, and three lines of the log.
  const int between = m_searchRect.left() - m_runRect.right() - 1;
  const QSize minimum(m_templateSize.width() - between + m_runRect.left(),
                      m_logRect.top() + 3 * m_log->fontMetrics().lineSpacing());
  Layout(FitClientSize(m_templateSize, minimum, area, frame));
}

void CPatchDlg::setVisible(bool visible) {
  // A fit that fails leaves the template's size; the window is shown all the
  // same, or exec() would wait on a window nobody sees.
  if (visible && !isVisible())
    HandleEvent([this] { FitInto(AvailableArea(this), WindowFrame(this)); });
  HandleEvent([&] { QDialog::setVisible(visible); });
}

void CPatchDlg::keyPressEvent(QKeyEvent* event) {
  // Enter that no control takes (the log leaves it alone) ends the window,
  // as a dialog's default OK does.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == 0) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool CPatchDlg::OnInitDialog() {
  if (!texts::AboutMenuItem.empty()) {
    m_windowMenu->addSeparator();
    QAction* about = m_windowMenu->addAction(QtText(texts::AboutMenuItem), this,
                                             [this] { OnSysCommand(IDM_ABOUTBOX); });
    about->setObjectName("aboutAction");
  }
  setWindowIcon(m_hIcon);
  m_searchButton->Configure(kSearchIconId, CIconButton::MAKE_GRAY_ICON,
                            std::string(texts::SearchButtonTip));
  for (const auto& line : LogHeaderLines(m_session.UpdateItems()))
    AppendLogLine(QString::fromStdString(line));
  m_runButton->Configure(kRunIconId, CIconButton::MAKE_GRAY_ICON, std::string(texts::RunButtonTip));
  m_session.ReadSettings();
  m_openAfterPaint = true;
  if (!m_busyPopup.IsCreated()) m_busyPopup.Create(this);
  return true;
}

void CPatchDlg::OpenAfterFirstPaint() {
  Handle([this] {
    m_session.OpenLocatedDatabase();
    // When the window was activated the buttons were still greyed, and the
    // focus went to the first control that could take it. It runs right after
    // the first paint, before the user can have moved the focus, so it goes
    // where it would have gone with the database open.
    if (QWidget* focus = focusWidget()) {
      focus->clearFocus();
      focusNextPrevChild(true);
    }
  });
}

bool CPatchDlg::event(QEvent* event) {
  // The window's own handlers (keys, closing, the menu, painting) all start here.
  bool handled = false;
  HandleEvent([&] { handled = QDialog::event(event); });
  if (event->type() == QEvent::Paint && m_openAfterPaint) {
    HandleEvent([this] {
      // Queued, so it runs once this paint has reached the window system.
      QTimer::singleShot(0, this, [this] { OpenAfterFirstPaint(); });
      // Only once it is queued: else the next paint tries again.
      m_openAfterPaint = false;
    });
  }
  return handled;
}

void CPatchDlg::AppendLogLine(const QString& line) {
  // Inserted at the end, so the lines keep the order they were written in.
  m_log->insertItem(m_log->count(), line);
}

void CPatchDlg::OnSysCommand(int command) {
  if ((command & 0xFFF0) != IDM_ABOUTBOX) return;
  Handle([this] {
    CVersionDlg about(this);
    about.exec();
  });
}

void CPatchDlg::OnRunUpdate() {
  Handle([this] {
    // However the session comes back, its run is over: the controls may return.
    struct RunOver {
      bool& running;
      ~RunOver() { running = false; }
    } over{m_running};
    m_session.OnRunUpdate();
  });
}

void CPatchDlg::OnSearchDatabase() {
  Handle([this] { m_session.OnSearchDatabase(); });
}

void CPatchDlg::RunStarted() {
  m_running = true;
  SetControlsEnabled(0);
}

void CPatchDlg::RunEnded(const RunRecord&) {
  m_running = false;
  // Tried once more rather than given up: after a success, the
  // unexpected-exception box would read as the update's failure.
  if (!Attempt([this] { SetControlsEnabled(1); })) SetControlsEnabled(1);
}

void CPatchDlg::SetControlsEnabled(int enable) {
  ApplyControls(ControlsFor(enable == 1, m_connected));
}

void CPatchDlg::ConnectionChanged(const ConnectionReport& report) {
  m_connected = report.Connected();
  // Told here: the connection attempt would take what this throws for its
  // own failure to open.
  Handle([&] {
    SetCaption(ConnectionCaption(report));
    ApplyControls(ControlsAfter(report));
  });
}

void CPatchDlg::ApplyControls(const ControlChanges& changes) {
  if (changes.close) SetCloseEnabled(*changes.close);
  if (changes.run) SetRunEnabled(*changes.run);
  if (changes.search) SetSearchEnabled(*changes.search);
}

void CPatchDlg::accept() {
  if (m_closeEnabled) QDialog::accept();
}

void CPatchDlg::reject() {
  if (m_closeEnabled) QDialog::reject();
}

void CPatchDlg::closeEvent(QCloseEvent* event) {
  if (m_closeEnabled) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

void CPatchDlg::contextMenuEvent(QContextMenuEvent* event) {
  // On X11 the Menu key also comes as a context menu request, after its
  // shortcut has opened the menu: popping it up again there would drop the
  // first item's highlight, and with it the focus a screen reader announces.
  if (event->reason() == QContextMenuEvent::Keyboard) {
    if (!m_windowMenu->isVisible()) PopupWindowMenu();
    return;
  }
  m_windowMenu->popup(event->globalPos());
}

void CPatchDlg::ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
  const WaitCursor::Modal arrow(m_waitCursor);
  ShowMessageBox(this, text, caption, icon);
}

void CPatchDlg::SetCaption(std::string_view caption) {
  setWindowTitle(QtText(caption));
}

void CPatchDlg::SetRunEnabled(bool enabled) {
  m_runButton->setEnabled(enabled);
  m_runButton->repaint();
}

void CPatchDlg::SetSearchEnabled(bool enabled) {
  m_searchButton->setEnabled(enabled);
  m_searchButton->repaint();
}

void CPatchDlg::SetCloseEnabled(bool enabled) {
  m_closeEnabled = enabled;
  m_closeAction->setEnabled(enabled);
}

std::optional<std::string> CPatchDlg::ChooseDatabaseFile() {
  const WaitCursor::Modal arrow(m_waitCursor);
  QFileDialog dialog(this);
  dialog.setObjectName("openDatabaseDialog");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The user may type the name of a file that does not exist.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QtText(texts::OpenFileFilter));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

bool CPatchDlg::ShowCopyProgress(std::uint64_t copiedBytes, std::uint64_t totalBytes) {
  if (!m_copyProgress) {
    m_copyProgress = new QProgressDialog(QtText(texts::CopyProgressCaption),
                                         QtText(texts::CopyProgressCancel), 0, 1000, this);
    m_copyProgress->setObjectName("copyProgress");
    m_copyProgress->setWindowTitle(QtText(texts::UpdateDateLabel));
    m_copyProgress->setWindowModality(Qt::WindowModal);
    // Short copies finish before anything is shown, as the desktop's own copy does.
    m_copyProgress->setMinimumDuration(700);
    m_copyProgress->setAutoClose(false);
    m_copyProgress->setAutoReset(false);
  }
  const int permille = totalBytes == 0 ? 1000 : static_cast<int>(copiedBytes * 1000 / totalBytes);
  m_copyProgress->setValue(permille);  // processes events while the dialog is modal
  QApplication::processEvents();
  return !m_copyProgress->wasCanceled();
}

void CPatchDlg::EndCopyProgress() {
  delete m_copyProgress;
  m_copyProgress = nullptr;
}

void CPatchDlg::OpenFolder(const std::string& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void CPatchDlg::SetWaitCursor(bool waiting) {
  m_waitCursor.SetWaiting(waiting);
}

void CPatchDlg::AdvanceProgress() {
  m_progress->setValue(m_progress->value() + 1);
}

void CPatchDlg::CopyTextToClipboard(const std::string& text) {
  // It tells its failures in a box.
  const WaitCursor::Modal arrow(m_waitCursor);
  mivotra::CopyTextToClipboard(text, this);
}

void CPatchDlg::ShowUpdateError(const std::string& text) {
  const WaitCursor::Modal arrow(m_waitCursor);
  CUpdateErrorMsgDlg window(this);
  window.m_strErrorText = text;
  window.exec();
}

}  // namespace mivotra
