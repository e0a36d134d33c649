#pragma once
// The error report every failure box and the update error window show.

#include <string>

#include "jet/ComError.h"

namespace mivotra {

// The four-line report "Message : ...\nCode : 0x%08lx\nSource : ...\nDescription : ...\n";
// each line is cut to 1,023 UTF-8 bytes without splitting a character.
std::string FormatComError(const ComError& error);

// The code as the report writes it: "0x" and eight lower-case hex digits.
std::string ErrorCodeText(HRESULT code);

}  // namespace mivotra
