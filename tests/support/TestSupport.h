#pragma once
// Shared fixtures: temporary folders, a screen that records what a user would
// have seen, and sample databases made by the real sample maker.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "update/Screen.h"

namespace mivotra::test {

// A fresh folder under the system's temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

struct ScreenEvent {
  enum Kind {
    Message,
    Caption,
    RunEnabled,
    SearchEnabled,
    CloseEnabled,
    ChooseFile,
    CopyProgressEnd,
    OpenFolder,
    WaitCursor,
    Progress,
    Clipboard,
    UpdateError
  };
  Kind kind;
  std::string text{};     // message text, caption, folder, clipboard or error window text
  std::string caption{};  // message caption
  MessageIcon icon = MessageIcon::None;
  bool flag = false;  // enabled / waiting
};

// Records every call in order, the events as the window shows them; answers
// the open-file dialog from a queue and cancels a copy once it has seen
// cancelAfterBytes.
class RecordingScreen : public Screen {
 public:
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  void ConnectionChanged(const ConnectionReport& report) override;
  void RunStarted() override { SetControlsEnabled(0); }
  void StatementsStarted() override { SetWaitCursor(true); }
  void StatementsEnded() override { SetWaitCursor(false); }
  void ProgressStep() override;
  void RunEnded(const RunRecord&) override { SetControlsEnabled(1); }
  std::optional<std::string> ChooseDatabaseFile() override;
  bool ShowCopyProgress(std::uint64_t copiedBytes, std::uint64_t totalBytes) override;
  void EndCopyProgress() override;
  void OpenFolder(const std::string& path) override;
  void CopyTextToClipboard(const std::string& text) override;
  void ShowUpdateError(const std::string& text) override;

  std::vector<ScreenEvent> events;
  std::deque<std::optional<std::string>> fileChoices;
  std::optional<std::uint64_t> cancelCopyAfterBytes;
  std::uint64_t copyProgressCalls = 0;

  // As the window does: 1 gives back Close and the button that fits the
  // connection; any other value greys all three.
  void SetControlsEnabled(int enable);

  // Current state, as a window would show it.
  bool connected = false;
  std::string caption;
  bool runEnabled = false;
  bool searchEnabled = false;
  bool closeEnabled = true;
  bool waitCursor = false;
  int progress = 0;
  std::optional<std::string> clipboard;

  // Only the message boxes, in order.
  std::vector<ScreenEvent> Messages() const;
  // Whether the wait cursor went off for good before the run's last box or
  // error window, the outcome. (A box while statements run is the window's
  // to show with the arrow.)
  bool ArrowOverTheOutcome() const;
  void Clear() { events.clear(); }

 private:
  void ApplyControls(const ControlChanges& changes);
  void SetRunEnabled(bool enabled);
  void SetSearchEnabled(bool enabled);
  void SetCloseEnabled(bool enabled);
  void SetWaitCursor(bool waiting);
};

struct SampleOptions {
  std::string version = "1.06";
  bool withCommentTable = false;
  long kumiRows = -1;  // the maker's default
  std::string password{};
  int cipherCompatibility = 0;  // 3 or 4; 0: the maker's default
};

// Runs the real sample maker; fails the current test when it fails.
void MakeSampleDatabase(const std::filesystem::path& file, const SampleOptions& options = {});

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);
// Bytes that look random and come out the same for the same seed.
std::string RandomBytes(std::size_t size, std::uint32_t seed = 1);
// The names in a folder; none when it is missing.
std::set<std::string> Listing(const std::filesystem::path& folder);

}  // namespace mivotra::test
