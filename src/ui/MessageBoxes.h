#pragma once
// The program's message boxes: modal, with the single button OK.

#include <QString>
#include <functional>
#include <string_view>
#include <utility>

#include "update/Dialogs.h"

class QWidget;

namespace mivotra {

// Object name of every box shown here, so that tests and tools can find it.
inline constexpr const char* kMessageBoxObjectName = "mivotraMessageBox";

// Shows text under caption with the given icon and returns once OK (or Esc,
// or the close box) ended it. The text is shown as plain text, never as markup.
void ShowMessageBox(QWidget* parent, std::string_view text, std::string_view caption,
                    MessageIcon icon);

// The width a window needs for its whole caption to show in its title bar.
int CaptionWidth(const QString& caption);

// The application's own box: the program's name as caption and the warning icon.
void ShowAppMessage(QWidget* parent, std::string_view text);

// The application's box "*** 処理されない例外 ***". When it cannot be shown
// (no memory for it) it is tried once more; it never throws.
void ShowUnexpectedException(QWidget* parent) noexcept;

// Runs the work of a window handler. Qt's event loop must never see an
// exception (Qt leaves that undefined), so what the work throws ends here:
// `recover`, which must not throw, puts the window right, and the box tells
// the user. False when the work threw.
template <class Work, class Recover>
bool RunHandler(QWidget* parent, Work&& work, Recover&& recover) noexcept {
  try {
    std::forward<Work>(work)();
    return true;
  } catch (...) {
    // The box is shown once the exception is gone: it may need the memory.
  }
  std::forward<Recover>(recover)();
  ShowUnexpectedException(parent);
  return false;
}

template <class Work>
bool RunHandler(QWidget* parent, Work&& work) noexcept {
  return RunHandler(parent, std::forward<Work>(work), [] {});
}

// The same box once the event loop is back, `recover` (which must not throw)
// first while parent is still there. For handlers that run inside Qt's own
// event handling, such as painting, where a modal box opened at once would
// never be drawn. Failures before it shows make one box.
void ShowUnexpectedExceptionLater(QWidget* parent, std::function<void()> recover = {}) noexcept;
// The box that still waits for the event loop, shown now: for the end of the
// program, when no loop comes back.
void ShowPendingUnexpectedException() noexcept;

template <class Work, class Recover>
bool RunEventHandler(QWidget* parent, Work&& work, Recover&& recover) noexcept {
  try {
    std::forward<Work>(work)();
    return true;
  } catch (...) {
  }
  try {
    ShowUnexpectedExceptionLater(parent, std::forward<Recover>(recover));
  } catch (...) {
    // No memory to hold `recover`: then the box alone.
    ShowUnexpectedExceptionLater(parent);
  }
  return false;
}

template <class Work>
bool RunEventHandler(QWidget* parent, Work&& work) noexcept {
  try {
    std::forward<Work>(work)();
    return true;
  } catch (...) {
  }
  ShowUnexpectedExceptionLater(parent);
  return false;
}

}  // namespace mivotra
