#pragma once
// Text forms used in every report the user sees.

#include <optional>
#include <string>

#include "db/ComError.h"
#include "db/Variant.h"

namespace mivotra {

// The four-line report "Message : ...\nCode : 0x%08lx\nSource : ...\nDescription : ...\n";
// each line is cut to 1,023 UTF-8 bytes without splitting a character.
std::string FormatComError(const ComError& error);

// The text form of a database value (the version, table names).
std::string VariantToText(const Variant& value);

// The message line's text: the system's text without its final LF (and a CR
// just before that LF), or for a code without one "IDispatch error #%d"
// (0x80040201..0x8004FFFF) or "Unknown error 0x%0lX". ComError::ErrorMessage
// keeps this text.
std::string ErrorMessageText(HRESULT code, std::optional<std::string> systemText);

// The system's message for a code, in the user's language (Japanese when the
// locale is Japanese), or nullopt for codes the system has no text for.
std::optional<std::string> SystemMessage(HRESULT code);

}  // namespace mivotra
