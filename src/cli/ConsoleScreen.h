#pragma once
// The console's screen: message boxes and the error window become blocks on
// standard error, the clipboard text goes to standard output.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "update/Screen.h"

namespace mivotra {

struct ShownMessage {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::None;
};

class ConsoleScreen : public Screen {
 public:
  // With listToOut false the clipboard text is kept back (a JSON result
  // stands in its place on standard output).
  ConsoleScreen(std::FILE* out, std::FILE* err, bool progressOnTerminal, bool listToOut = true);

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  // The window's caption, as a line.
  void ConnectionChanged(const ConnectionReport& report) override;
  // The console never asks a question.
  std::optional<std::string> ChooseDatabaseFile() override { return std::nullopt; }
  bool ShowCopyProgress(std::uint64_t copiedBytes, std::uint64_t totalBytes) override;
  void EndCopyProgress() override;
  // Where the window opens the file manager: the folder's path, as a line.
  void OpenFolder(const std::string& path) override;
  void CopyTextToClipboard(const std::string& text) override;
  void ShowUpdateError(const std::string& text) override;

  bool PrintedClipboard() const { return m_printedClipboard; }
  // The message boxes in the order shown.
  const std::vector<ShownMessage>& Messages() const { return m_messages; }
  // The first failure to write standard output (errno), 0 when none.
  int OutputError() const { return m_outputError; }
  // Writes to standard output, noting a failure instead of stopping.
  void WriteOut(const std::string& text);

 private:
  std::FILE* m_out;
  std::FILE* m_err;
  bool m_progress;
  bool m_listToOut;
  std::vector<ShownMessage> m_messages;
  int m_outputError = 0;
  bool m_progressShown = false;
  int m_lastPercent = -1;
  std::string m_progressLabel;
  bool m_printedClipboard = false;
};

}  // namespace mivotra
