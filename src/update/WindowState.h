#pragma once
// What the main window shows of the update's state: the caption, the Run and
// search buttons, the window menu's Close item, the cursor and the hidden
// progress bar.

#include <string_view>

namespace mivotra {

class WindowState {
 public:
  virtual ~WindowState() = default;

  virtual void SetCaption(std::string_view caption) = 0;
  virtual void SetRunEnabled(bool enabled) = 0;
  virtual void SetSearchEnabled(bool enabled) = 0;
  // The window menu's Close item; while greyed the window cannot be closed.
  virtual void SetCloseEnabled(bool enabled) = 0;
  virtual void SetWaitCursor(bool waiting) = 0;
  // The hidden progress bar of the main window moves one position on.
  virtual void AdvanceProgress() = 0;
};

}  // namespace mivotra
