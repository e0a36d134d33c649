#pragma once
// Everything the update procedure shows a user goes through this interface.
// The desktop window, the console front end and the tests each implement it,
// so the same procedure serves all of them and runs without a display.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mivotra {

enum class MessageIcon {
  None,
  Stop,         // MB_ICONHAND
  Information,  // MB_ICONINFORMATION
  Exclamation,  // MB_ICONEXCLAMATION
};

class Screen {
 public:
  virtual ~Screen() = default;

  // A modal box with the single button OK; returns when the user closed it.
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

  virtual void SetCaption(std::string_view caption) = 0;
  virtual void SetRunEnabled(bool enabled) = 0;
  virtual void SetSearchEnabled(bool enabled) = 0;
  // The window menu's Close item; while greyed the window cannot be closed.
  virtual void SetCloseEnabled(bool enabled) = 0;

  // The open-file dialog; nullopt when the user cancelled.
  virtual std::optional<std::string> ChooseDatabaseFile() = 0;

  // Progress of a long copy. Returns false when the user cancelled it.
  virtual bool ShowCopyProgress(std::uint64_t copiedBytes, std::uint64_t totalBytes) = 0;
  virtual void EndCopyProgress() = 0;
  // Shows a folder in the desktop's file manager; the outcome is not reported.
  virtual void OpenFolder(const std::string& path) = 0;

  virtual void SetWaitCursor(bool waiting) = 0;
  // The hidden progress bar of the main window moves one position on.
  virtual void AdvanceProgress() = 0;

  // Places text on the clipboard, reporting its own failures.
  virtual void CopyTextToClipboard(const std::string& text) = 0;
  // The modal update error window with its text.
  virtual void ShowUpdateError(const std::string& text) = 0;
};

// Tells whether the main application runs (its top-level window exists).
class MainApplicationProbe {
 public:
  virtual ~MainApplicationProbe() = default;
  virtual bool IsMainApplicationRunning() = 0;
};

}  // namespace mivotra

namespace mivotra {

// The application's own message box: the program's name as caption and the
// exclamation icon, as for error reports.
void ShowAppMessage(Screen& screen, std::string_view text);

}  // namespace mivotra
