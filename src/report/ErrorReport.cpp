#include "report/ErrorReport.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "base/Utf8.h"

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

std::string ErrorCodeText(HRESULT code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx",
                static_cast<unsigned long>(static_cast<std::uint32_t>(code)));
  return text;
}

std::string FormatComError(const ComError& error) {
  std::string report = Line("Message : ", utf8::Repair(error.ErrorMessage()));
  report += Line("Code : ", ErrorCodeText(error.Error()));
  report += Line("Source : ", InfoText(error.Source()));
  report += Line("Description : ", InfoText(error.Description()));
  return report;
}

}  // namespace mivotra
