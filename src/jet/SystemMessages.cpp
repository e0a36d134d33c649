// The system message table: the few standard codes the engine and its
// callers raise, in English and Japanese. The texts end with CR LF, as the
// Windows table's do; the error report strips that ending.

#include "jet/SystemMessages.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/Translate.h"

namespace mivotra {
namespace {

struct SystemText {
  HRESULT code;
  std::string_view english;
  std::string_view japanese;
};

constexpr std::array kSystemTexts{
    SystemText{E_Pointer, "Invalid pointer\r\n", "無効なポインターです\r\n"},
    SystemText{E_Fail, "Unspecified error\r\n", "エラーを特定できません\r\n"},
    SystemText{E_AccessDenied, "Access is denied.\r\n", "アクセスが拒否されました。\r\n"},
    SystemText{E_OutOfMemory,
               "Not enough memory resources are available to complete this operation.\r\n",
               "この操作を完了するのに十分な記憶域がありません。\r\n"},
};

}  // namespace

std::optional<std::string> SystemMessage(HRESULT code) {
  for (const SystemText& text : kSystemTexts) {
    if (text.code == code) {
      return std::string(UserLanguageIsJapanese() ? text.japanese : text.english);
    }
  }
  return std::nullopt;
}

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

}  // namespace mivotra
