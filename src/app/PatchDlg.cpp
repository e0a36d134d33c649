#include "app/PatchDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFrame>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QProgressDialog>
#include <QShortcut>
#include <QUrl>

#include "res/Texts.h"
#include "ui/Clipboard.h"
#include "ui/DialogUnits.h"
#include "ui/IconButton.h"
#include "ui/Icons.h"
#include "ui/MessageBoxes.h"
#include "ui/QtText.h"
#include "ui/UpdateErrorMsgDlg.h"
#include "ui/VersionDlg.h"
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

CPatchDlg::CPatchDlg(QWidget* parent, MainApplicationProbe* probe)
    : QDialog(parent),
      m_hIcon(LoadIcon(kAppIconId)),
      m_ownProbe(probe ? nullptr : MakeWindowProbe(std::string(texts::MainApplicationWindowClass))),
      m_session(*this, probe ? *probe : *m_ownProbe) {
  BuildFromTemplate();
}

CPatchDlg::~CPatchDlg() {
  // Closing the window closes the connection; a failing close is still reported.
  m_session.Database().Disconnect();
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
  auto place = [&units](QWidget* widget, const QRect& r) {
    widget->setGeometry(units.Rect(r.x(), r.y(), r.width(), r.height()));
  };

  // Created in the template's order, which is also the tab order.
  m_runButton = new CIconButton(this);
  m_runButton->setObjectName("runButton");
  m_runButton->setText(QtText(texts::RunButtonText));
  m_runButton->setEnabled(false);
  place(m_runButton, kRunButton);

  m_progress = new QProgressBar(this);
  m_progress->setObjectName("progressBar");
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);
  place(m_progress, kProgressBar);
  m_progress->hide();  // it exists for the update's steps, but is never shown

  m_log = new QListWidget(this);
  m_log->setObjectName("logList");
  m_log->setFrameShape(QFrame::Box);
  // A list box's scroll bar shows only once its lines no longer fit.
  m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_log->setSelectionMode(QAbstractItemView::SingleSelection);
  place(m_log, kLog);

  m_line = new QFrame(this);
  m_line->setFrameShape(QFrame::HLine);
  m_line->setFrameShadow(QFrame::Sunken);
  place(m_line, kLine);
  m_line->setFixedHeight(std::max(2, units.Y(1)));

  m_searchButton = new CIconButton(this);
  m_searchButton->setObjectName("searchButton");
  m_searchButton->setEnabled(false);
  place(m_searchButton, kSearchButton);

  setFixedSize(units.Size(kWidth, kHeight));

  connect(m_runButton, &QAbstractButton::clicked, this, &CPatchDlg::OnRunUpdate);
  connect(m_searchButton, &QAbstractButton::clicked, this, &CPatchDlg::OnSearchDatabase);

  // The window manager owns the title bar's menu here, so the window carries
  // its own: right click or Alt+Space.
  m_windowMenu = new QMenu(this);
  m_windowMenu->setObjectName("windowMenu");
  m_closeAction = m_windowMenu->addAction(QtText(texts::WindowMenuClose), this, &QWidget::close);
  auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
  connect(shortcut, &QShortcut::activated, this,
          [this] { m_windowMenu->popup(mapToGlobal(QPoint(0, 0))); });
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
  m_session.LocateDatabase();
  if (!m_busyPopup.IsCreated()) m_busyPopup.Create(this);
  return true;
}

void CPatchDlg::AppendLogLine(const QString& line) {
  // Inserted at the end, so the lines keep the order they were written in.
  m_log->insertItem(m_log->count(), line);
}

void CPatchDlg::OnSysCommand(int command) {
  if ((command & 0xFFF0) == IDM_ABOUTBOX) {
    CVersionDlg about(this);
    about.exec();
  }
}

int CPatchDlg::ProgressPosition() const {
  return m_progress->value();
}

void CPatchDlg::OnRunUpdate() {
  m_session.OnRunUpdate();
}

void CPatchDlg::OnSearchDatabase() {
  m_session.OnSearchDatabase();
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
  m_windowMenu->popup(event->globalPos());
}

void CPatchDlg::ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
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
  if (waiting == m_waitCursor) return;
  m_waitCursor = waiting;
  if (waiting) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void CPatchDlg::AdvanceProgress() {
  m_progress->setValue(m_progress->value() + 1);
}

void CPatchDlg::CopyTextToClipboard(const std::string& text) {
  mivotra::CopyTextToClipboard(text, this);
}

void CPatchDlg::ShowUpdateError(const std::string& text) {
  CUpdateErrorMsgDlg window(this);
  window.m_strErrorText = text;
  window.exec();
}

}  // namespace mivotra
