#pragma once
// The system's message texts for COM and Win32 codes, as FormatMessage gives
// them on Windows: the message line of every error report.

#include <optional>
#include <string>

#include "jet/ComError.h"

namespace mivotra {

// The system's message for a code, in the user's language (Japanese when the
// locale is Japanese), or nullopt for codes the system has no text for.
std::optional<std::string> SystemMessage(HRESULT code);

// The message line's text: the system's text without its final LF (and a CR
// just before that LF), or for a code without one "IDispatch error #%d"
// (0x80040201..0x8004FFFF) or "Unknown error 0x%0lX". ComError::ErrorMessage
// keeps this text.
std::string ErrorMessageText(HRESULT code, std::optional<std::string> systemText);

}  // namespace mivotra
