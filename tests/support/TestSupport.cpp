#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "update/PatchReport.h"

namespace mivotra::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "mivotra-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only folders behind; make them removable first.
  for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(m_path, ignored);
}

void RecordingScreen::ShowMessage(std::string_view text, std::string_view caption,
                                  MessageIcon icon) {
  events.push_back({ScreenEvent::Message, std::string(text), std::string(caption), icon});
}
void RecordingScreen::ConnectionChanged(const ConnectionReport& report) {
  connected = report.Connected();
  caption = ConnectionCaption(report);
  events.push_back({ScreenEvent::Caption, caption});
  ApplyControls(ControlsAfter(report));
}
void RecordingScreen::ApplyControls(const ControlChanges& changes) {
  if (changes.close) SetCloseEnabled(*changes.close);
  if (changes.run) SetRunEnabled(*changes.run);
  if (changes.search) SetSearchEnabled(*changes.search);
}
void RecordingScreen::SetControlsEnabled(int enable) {
  ApplyControls(ControlsFor(enable == 1, connected));
}
void RecordingScreen::SetRunEnabled(bool enabled) {
  runEnabled = enabled;
  events.push_back({ScreenEvent::RunEnabled, {}, {}, MessageIcon::None, enabled});
}
void RecordingScreen::SetSearchEnabled(bool enabled) {
  searchEnabled = enabled;
  events.push_back({ScreenEvent::SearchEnabled, {}, {}, MessageIcon::None, enabled});
}
void RecordingScreen::SetCloseEnabled(bool enabled) {
  closeEnabled = enabled;
  events.push_back({ScreenEvent::CloseEnabled, {}, {}, MessageIcon::None, enabled});
}
std::optional<std::string> RecordingScreen::ChooseDatabaseFile() {
  events.push_back({ScreenEvent::ChooseFile});
  if (fileChoices.empty()) return std::nullopt;
  auto choice = fileChoices.front();
  fileChoices.pop_front();
  return choice;
}
bool RecordingScreen::ShowCopyProgress(std::uint64_t copiedBytes, std::uint64_t) {
  ++copyProgressCalls;
  return !(cancelCopyAfterBytes && copiedBytes >= *cancelCopyAfterBytes);
}
void RecordingScreen::EndCopyProgress() {
  events.push_back({ScreenEvent::CopyProgressEnd});
}
void RecordingScreen::OpenFolder(const std::string& path) {
  events.push_back({ScreenEvent::OpenFolder, path});
}
bool RecordingScreen::ArrowOverTheOutcome() const {
  std::optional<std::size_t> cursor;
  std::optional<std::size_t> box;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].kind == ScreenEvent::WaitCursor) cursor = i;
    if (events[i].kind == ScreenEvent::Message || events[i].kind == ScreenEvent::UpdateError)
      box = i;
  }
  return cursor && !events[*cursor].flag && box && *box > *cursor;
}

void RecordingScreen::SetWaitCursor(bool waiting) {
  waitCursor = waiting;
  events.push_back({ScreenEvent::WaitCursor, {}, {}, MessageIcon::None, waiting});
}
void RecordingScreen::ProgressStep() {
  ++progress;
  events.push_back({ScreenEvent::Progress});
}
void RecordingScreen::CopyTextToClipboard(const std::string& text) {
  clipboard = text;
  events.push_back({ScreenEvent::Clipboard, text});
}
void RecordingScreen::ShowUpdateError(const std::string& text) {
  events.push_back({ScreenEvent::UpdateError, text});
}
std::vector<ScreenEvent> RecordingScreen::Messages() const {
  std::vector<ScreenEvent> out;
  for (const auto& e : events)
    if (e.kind == ScreenEvent::Message) out.push_back(e);
  return out;
}

void MakeSampleDatabase(const std::filesystem::path& file, const SampleOptions& options) {
  std::vector<std::string> args = {MIVOTRA_SAMPLE_DB_EXE, "--schema-version", options.version};
  if (options.withCommentTable) args.push_back("--with-comment-table");
  if (options.kumiRows >= 0) {
    args.push_back("--kumi-rows");
    args.push_back(std::to_string(options.kumiRows));
  }
  if (!options.password.empty()) {
    args.push_back("--password-env");
    args.push_back("MIVOTRA_TEST_SAMPLE_PASSWORD");
  }
  if (options.cipherCompatibility != 0) {
    args.push_back("--cipher-compatibility");
    args.push_back(std::to_string(options.cipherCompatibility));
  }
  args.push_back(file.string());

  pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    if (!options.password.empty())
      setenv("MIVOTRA_TEST_SAMPLE_PASSWORD", options.password.c_str(), 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "sample maker failed for " << file;
}

std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<char>(seed >> 24);
  }
  return bytes;
}

std::set<std::string> Listing(const std::filesystem::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.insert(entry.path().filename());
  return names;
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace mivotra::test
