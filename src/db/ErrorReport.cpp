#include "db/ErrorReport.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "db/Utf8.h"

namespace mivotra {
namespace {

// Each line was formatted into a 1,024-byte buffer: the text is cut at 1,023
// bytes, which also loses the line's LF; we cut on a character boundary.
constexpr std::size_t kLineLimit = 1023;

std::string Line(std::string_view label, std::string_view value) {
  std::string line(label);
  line += value;
  line += '\n';
  line.resize(utf8::CutPoint(line, kLineLimit));
  return line;
}

// Source and description come from the engine and may hold anything; a
// printf-style "%s" stopped at a NUL, and broken bytes become U+FFFD.
std::string InfoText(const std::string& text) {
  std::string shown = utf8::Repair(std::string_view(text).substr(0, text.find('\0')));
  return shown.empty() ? std::string("null") : shown;
}

}  // namespace

std::string ErrorMessageText(HRESULT code, std::optional<std::string> systemText) {
  // An empty text is no text: FormatMessage reports it as a failure.
  if (systemText && !systemText->empty()) {
    if (systemText->size() > 1 && systemText->back() == '\n') {
      systemText->pop_back();
      if (systemText->back() == '\r') systemText->pop_back();
    }
    return std::move(*systemText);
  }
  const auto bits = static_cast<std::uint32_t>(code);
  char buffer[64];
  if (bits >= 0x80040201u && bits <= 0x8004FFFFu) {
    std::snprintf(buffer, sizeof buffer, "IDispatch error #%d",
                  static_cast<int>(bits - 0x80040200u));
  } else {
    // %lX of a 32-bit long on Windows: the code's own 32 bits, no sign extension.
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(bits));
  }
  return buffer;
}

std::string FormatComError(const ComError& error) {
  char code[32];
  std::snprintf(code, sizeof code, "0x%08lx",
                static_cast<unsigned long>(static_cast<std::uint32_t>(error.Error())));
  std::string report = Line("Message : ", utf8::Repair(error.ErrorMessage()));
  report += Line("Code : ", code);
  report += Line("Source : ", InfoText(error.Source()));
  report += Line("Description : ", InfoText(error.Description()));
  return report;
}

}  // namespace mivotra
