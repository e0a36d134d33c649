#pragma once
// A recording screen that lets a test act at the moments that matter, and the
// message boxes as they travel from a child process.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mivotra::test {

class HookScreen : public RecordingScreen {
 public:
  bool ShowCopyProgress(std::uint64_t copied, std::uint64_t total) override {
    if (onCopyProgress) onCopyProgress(copied, total);
    return RecordingScreen::ShowCopyProgress(copied, total);
  }
  void ProgressStep() override {
    RecordingScreen::ProgressStep();
    if (onAdvance) onAdvance(progress);
  }

  std::function<void(std::uint64_t copied, std::uint64_t total)> onCopyProgress;
  std::function<void(int position)> onAdvance;  // 1, 2, 3: after groups B, C and F
};

std::vector<std::string> MessageTexts(const RecordingScreen& screen);

// Message boxes travel from a child process as caption, text and icon
// separated by 0x1F, one box per 0x1E.
std::string EncodeMessages(const RecordingScreen& screen);

std::vector<ScreenEvent> DecodeMessages(const std::string& encoded);

}  // namespace mivotra::test
