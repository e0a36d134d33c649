// The four-line error report on any code and any source and description:
// long texts, broken UTF-8 and NULs. Each line keeps to 1,023 bytes, is cut
// only between characters, and the whole report is valid UTF-8.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "base/Utf8.h"
#include "jet/ComError.h"
#include "jet/SystemMessages.h"
#include "report/ErrorReport.h"

namespace mivotra {
namespace {

using fuzz::Check;
using fuzz::Shown;

constexpr std::size_t kLineLimit = 1023;

// The text as the report should show it in full: up to a NUL, broken
// sequences replaced, "null" for nothing.
std::string ShownInfo(const std::string& text) {
  const std::string_view upToNul = std::string_view(text).substr(0, text.find('\0'));
  if (upToNul.empty()) return "null";
  return utf8::IsValid(upToNul) ? std::string(upToNul) : utf8::Repair(upToNul);
}

// Takes one line of the report from `rest`: it must be the full line
// label + value + LF when that fits in 1,023 bytes, and otherwise the longest
// prefix of it that fits and ends between two characters (which loses the LF).
void TakeLine(std::string_view& rest, std::string_view label, const std::string& value,
              const std::string& report) {
  const std::string full = std::string(label) + value + "\n";
  std::size_t length = full.size();
  if (length > kLineLimit) {
    length = kLineLimit;
    // Back off over continuation bytes to the start of the cut character.
    while (length > 0 && (static_cast<unsigned char>(full[length]) & 0xC0) == 0x80) --length;
    Check(kLineLimit - length < 4, "a cut loses less than one character", Shown(report));
  }
  Check(rest.substr(0, length) == std::string_view(full).substr(0, length),
        "each line is its label and text, cut at the limit", Shown(report));
  rest.remove_prefix(length);
}

void CheckReport(const ComError& error) {
  const std::string report = FormatComError(error);
  Check(utf8::IsValid(report), "the report is valid UTF-8", Shown(report));

  char code[32];
  std::snprintf(code, sizeof code, "0x%08x", static_cast<std::uint32_t>(error.Error()));
  const std::string message = error.ErrorMessage();
  Check(!message.empty(), "every code has a message text", code);
  Check(message.back() != '\n', "the message line loses the system text's LF", Shown(message));

  std::string_view rest = report;
  TakeLine(rest, "Message : ", utf8::Repair(message), report);
  TakeLine(rest, "Code : ", code, report);
  TakeLine(rest, "Source : ", ShownInfo(error.Source()), report);
  TakeLine(rest, "Description : ", ShownInfo(error.Description()), report);
  Check(rest.empty(), "nothing follows the four lines", Shown(report));
  Check(report.size() <= 4 * kLineLimit, "four bounded lines", Shown(report));

  const std::string what = error.what();
  Check(what.find(std::string(code)) != std::string::npos, "what() names the code", what);
}

// A text from the input, sometimes repeated to a length past the line limit,
// so that long lines occur often without making the inputs themselves long.
std::string Text(FuzzedDataProvider& data) {
  std::string text = data.ConsumeRandomLengthString(600);
  if (data.ConsumeIntegralInRange<unsigned>(1, 4) == 4 && !text.empty()) {
    const std::size_t length = data.ConsumeIntegralInRange<std::size_t>(900, 2200);
    const std::string piece = text;
    while (text.size() < length) text += piece;
  }
  return text;
}

// The cut point helper on any text that is well-formed.
void CheckCutPoint(const std::string& text, std::size_t limit) {
  if (!utf8::IsValid(text)) return;
  const std::size_t cut = utf8::CutPoint(text, limit);
  Check(cut <= limit && cut <= text.size(), "a cut within the limit");
  Check(cut == text.size() || limit - cut < 4, "a cut loses less than one character");
  Check(utf8::IsValid(std::string_view(text).substr(0, cut)), "a cut leaves valid UTF-8",
        Shown(text));
}

}  // namespace
}  // namespace mivotra

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace mivotra;
  FuzzedDataProvider data(bytes, size);
  // The message table answers in the user's language.
  setenv("LC_ALL", data.ConsumeBool() ? "ja_JP.UTF-8" : "C.UTF-8", 1);
  const std::uint8_t codeChoice = data.ConsumeIntegral<std::uint8_t>();
  // Codes near the edges of the numbered range and the ones with system texts.
  static constexpr std::uint32_t kCodes[] = {0x80040200, 0x80040201, 0x8004FFFF, 0x80050000,
                                             0x80004003, 0x80004005, 0x8007000E, 0x00000000,
                                             0x80040E14, 0x8000FFFF, 0x80070057, 0xFFFFFFFF};
  const std::uint32_t rawCode = data.ConsumeIntegral<std::uint32_t>();
  const std::uint32_t code = codeChoice < 64 ? kCodes[codeChoice % std::size(kCodes)] : rawCode;
  const bool withInfo = data.ConsumeBool();
  std::string source = Text(data);
  std::string description = Text(data);
  CheckCutPoint(description, data.ConsumeIntegralInRange<std::size_t>(0, 2000));

  // The message text built from any system text (the table may grow).
  const std::optional<std::string> systemText =
      data.ConsumeBool() ? std::optional<std::string>(source) : std::nullopt;
  const std::string message = ErrorMessageText(MakeHResult(code), systemText);
  if (systemText && !systemText->empty()) {
    const std::string_view removed =
        std::string_view(*systemText).substr(std::min(message.size(), systemText->size()));
    fuzz::Check(systemText->starts_with(message) &&
                    (removed.empty() || removed == "\n" || removed == "\r\n"),
                "a system text loses at most its final line break", fuzz::Shown(message));
  } else {
    fuzz::Check(
        message.starts_with(code >= 0x80040201u && code <= 0x8004FFFFu ? "IDispatch error #"
                                                                       : "Unknown error 0x"),
        "a code without a system text gets a made-up message", message);
  }

  const ComError error =
      withInfo ? ComError(MakeHResult(code), ErrorInfo{std::move(source), std::move(description)})
               : ComError(MakeHResult(code));
  CheckReport(error);
  return 0;
}
