#pragma once
// The modal windows of the update procedure: message boxes, the open-file
// dialog, the update error window, the clipboard and the file manager.

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

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal box with the single button OK; returns when the user closed it.
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
  // The open-file dialog; nullopt when the user cancelled.
  virtual std::optional<std::string> ChooseDatabaseFile() = 0;
  // The modal update error window with its text.
  virtual void ShowUpdateError(const std::string& text) = 0;
  // Places text on the clipboard, reporting its own failures.
  virtual void CopyTextToClipboard(const std::string& text) = 0;
  // Shows a folder in the desktop's file manager; the outcome is not reported.
  virtual void OpenFolder(const std::string& path) = 0;
};

// The application's own message box: the program's name as caption and the
// exclamation icon, as for error reports.
void ShowAppMessage(Dialogs& dialogs, std::string_view text);

}  // namespace mivotra
