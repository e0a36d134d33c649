#include "cli/ConsoleScreen.h"

#include <cerrno>
#include <cstdint>

#include "base/Translate.h"
#include "res/Texts.h"
#include "update/PatchReport.h"

namespace mivotra {

ConsoleScreen::ConsoleScreen(std::FILE* out, std::FILE* err, bool progressOnTerminal,
                             bool listToOut)
    : m_out(out), m_err(err), m_progress(progressOnTerminal), m_listToOut(listToOut) {}

void ConsoleScreen::ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
  std::string block = "[" + std::string(caption) + "]\n" + std::string(text);
  if (block.back() != '\n') block += '\n';
  block += '\n';
  std::fwrite(block.data(), 1, block.size(), m_err);
  std::fflush(m_err);
  // The box is out; only the JSON result would lack it if memory ran out.
  try {
    m_messages.push_back({std::string(text), std::string(caption), icon});
  } catch (...) {
  }
}

void ConsoleScreen::ConnectionChanged(const ConnectionReport& report) {
  const std::string caption = ConnectionCaption(report);
  std::fprintf(m_err, "%s\n", caption.c_str());
  std::fflush(m_err);
}

void ConsoleScreen::OpenFolder(const std::string& path) {
  const std::string text = Format(Tr("mivotra-patch", "the backup folder is %1"), {path});
  std::fprintf(m_err, "mivotra-patch: %s\n", text.c_str());
  std::fflush(m_err);
}

bool ConsoleScreen::ShowCopyProgress(std::uint64_t copiedBytes, std::uint64_t totalBytes) {
  if (!m_progress || totalBytes == 0) return true;
  const int percent = static_cast<int>(copiedBytes * 100 / totalBytes);
  if (percent != m_lastPercent) {
    m_lastPercent = percent;
    m_progressShown = true;
    if (m_progressLabel.empty()) m_progressLabel = Tr("mivotra-patch", "Backing up");
    std::fprintf(m_err, "\r%s %3d%% (%llu / %llu MB)", m_progressLabel.c_str(), percent,
                 static_cast<unsigned long long>(copiedBytes >> 20),
                 static_cast<unsigned long long>(totalBytes >> 20));
    std::fflush(m_err);
  }
  return true;
}

void ConsoleScreen::EndCopyProgress() {
  if (m_progressShown) std::fputs("\n", m_err);
  m_progressShown = false;
  m_lastPercent = -1;
}

void ConsoleScreen::CopyTextToClipboard(const std::string& text) {
  if (!m_listToOut) return;
  WriteOut(text);
  m_printedClipboard = true;
}

void ConsoleScreen::WriteOut(const std::string& text) {
  // A reader that went away or a full disk: the database's state is already
  // settled, so this is told, not fatal (SIGPIPE is ignored for it).
  errno = 0;
  const bool written =
      std::fwrite(text.data(), 1, text.size(), m_out) == text.size() && std::fflush(m_out) == 0;
  if (!written && m_outputError == 0) m_outputError = errno != 0 ? errno : EIO;
}

void ConsoleScreen::ShowUpdateError(const std::string& text) {
  std::fprintf(m_err, "[%.*s]\n", static_cast<int>(texts::ErrorWindowCaption.size()),
               texts::ErrorWindowCaption.data());
  std::fwrite(text.data(), 1, text.size(), m_err);
  std::fflush(m_err);
}

}  // namespace mivotra
