#pragma once
// The program's message boxes: modal, with the single button OK.

#include <QString>
#include <string_view>

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

}  // namespace mivotra
