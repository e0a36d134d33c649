#pragma once
// The tool's main window: the log of what the update does, the Run button and
// the search button. It shows what the update session reports and the boxes it
// asks for; the procedure itself lives in the window-free core.

#include <QDialog>
#include <QIcon>
#include <QMargins>
#include <QRect>
#include <cstdint>
#include <memory>

#include "platform/WindowProbe.h"
#include "ui/DBMsgDlg.h"
#include "ui/WaitCursor.h"
#include "update/PatchSession.h"
#include "update/Screen.h"

class QListWidget;
class QMenu;
class QAction;
class QProgressBar;
class QProgressDialog;
class QFrame;

namespace mivotra {

class CIconButton;

// The window menu's command that opens the version window.
inline constexpr int IDM_ABOUTBOX = 0x0010;

class CPatchDlg final : public QDialog, public Screen {
  Q_OBJECT

 public:
  // The probe tells whether the main application runs; null uses the X11 one.
  explicit CPatchDlg(QWidget* parent = nullptr, MainApplicationProbe* probe = nullptr);
  CPatchDlg(const CPatchDlg&) = delete;
  CPatchDlg& operator=(const CPatchDlg&) = delete;
  ~CPatchDlg() override;

  // Window set-up in its fixed order; ends with the settings read. The
  // database is opened once the window has been painted: opening an
  // encrypted one derives its key, and the window need not wait for that.
  // Until then the buttons stay greyed, as before any database is known.
  bool OnInitDialog();
  // 1 gives back the Close item and whichever button fits the connection; any
  // other value greys all three.
  void SetControlsEnabled(int enable);
  void OnSysCommand(int command);

  PatchSession& Session() { return m_session; }

  // Sizes the window to its template, or smaller where it does not fit in
  // area with the given frame: the log gives up the room.
  void FitInto(const QRect& area, const QMargins& frame);
  // Fits the window to its screen before the dialog places it.
  void setVisible(bool visible) override;

  // Screen
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  void ConnectionChanged(const ConnectionReport& report) override;
  void RunStarted() override;
  void StatementsStarted() override { SetWaitCursor(true); }
  void StatementsEnded() override { SetWaitCursor(false); }
  void ProgressStep() override { AdvanceProgress(); }
  void RunEnded(const RunRecord&) override;
  std::optional<std::string> ChooseDatabaseFile() override;
  bool ShowCopyProgress(std::uint64_t copiedBytes, std::uint64_t totalBytes) override;
  void EndCopyProgress() override;
  void OpenFolder(const std::string& path) override;
  void CopyTextToClipboard(const std::string& text) override;
  void ShowUpdateError(const std::string& text) override;

 public Q_SLOTS:
  void OnRunUpdate();
  void OnSearchDatabase();
  void accept() override;
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // Every handler of the window runs its work through one of these: what the
  // work throws is told in the unexpected-exception box, after
  // RecoverControls; at once, or once the event loop is back for the
  // handlers that run inside Qt's own event handling (painting, showing).
  template <class Work>
  void Handle(Work&& work) noexcept;
  template <class Work>
  void HandleEvent(Work&& work) noexcept;
  // After a handler's work threw: no copy progress, the arrow, and the
  // controls as between runs (or greyed while a run still goes on).
  void RecoverControls() noexcept;
  void BuildFromTemplate();
  // The deferred half of OnInitDialog.
  void OpenAfterFirstPaint();
  void AppendLogLine(const QString& line);
  void Layout(QSize client);
  void PopupWindowMenu();
  void SetCaption(std::string_view caption);
  void ApplyControls(const ControlChanges& changes);
  void SetRunEnabled(bool enabled);
  void SetSearchEnabled(bool enabled);
  void SetCloseEnabled(bool enabled);
  void SetWaitCursor(bool waiting);
  // The hidden progress bar moves one position on.
  void AdvanceProgress();

  QIcon m_hIcon;
  std::unique_ptr<MainApplicationProbe> m_ownProbe;
  PatchSession m_session;
  QListWidget* m_log = nullptr;
  CDBMsgDlg m_busyPopup;
  QProgressBar* m_progress = nullptr;
  CIconButton* m_runButton = nullptr;
  CIconButton* m_searchButton = nullptr;
  QFrame* m_line = nullptr;
  QMenu* m_windowMenu = nullptr;
  QAction* m_closeAction = nullptr;
  QProgressDialog* m_copyProgress = nullptr;
  bool m_closeEnabled = true;
  bool m_connected = false;  // as the last connection event told
  bool m_running = false;    // between RunStarted and the end of the run
  // Over the main window while the statements run.
  WaitCursor m_waitCursor{this};
  bool m_openAfterPaint = false;  // the located database waits for the first paint
  // The template's rectangles in pixels.
  QSize m_templateSize;
  QRect m_runRect, m_progressRect, m_logRect, m_lineRect, m_searchRect;
};

}  // namespace mivotra
