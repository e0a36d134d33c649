#pragma once
// Copying text to the desktop's clipboard, for the error window and for the
// statement list after a successful update.

#include <string>

class QWidget;

namespace mivotra {

// Replaces the clipboard's contents with text, as plain UTF-8 text with its
// line ends unchanged. Without an owner window nothing is copied and the
// application's message box says so; failures are told the same way.
void CopyTextToClipboard(const std::string& text, QWidget* owner);

}  // namespace mivotra
