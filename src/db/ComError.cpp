#include "db/ComError.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "db/ErrorReport.h"

namespace mivotra {
namespace {

// The system's text for the code without its line ending, or the forms the
// system falls back to for codes it has no text for. The error report's
// message line uses this very text.
std::string MessageTextFor(HRESULT code) {
  if (std::optional<std::string> text = SystemMessage(code); text && !text->empty()) {
    if (text->size() > 1 && text->back() == '\n') {
      text->pop_back();
      if (text->back() == '\r') text->pop_back();
    }
    return *text;
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

}  // namespace

ComError::ComError(HRESULT code, std::optional<ErrorInfo> info)
    : m_code(code), m_info(std::move(info)) {}

std::string ComError::Source() const {
  return m_info ? m_info->source : std::string();
}

std::string ComError::Description() const {
  return m_info ? m_info->description : std::string();
}

const std::string& ComError::ErrorMessage() const {
  if (!m_message) m_message = MessageTextFor(m_code);
  return *m_message;
}

const char* ComError::what() const noexcept {
  if (m_what.empty()) {
    try {
      char code[32];
      std::snprintf(code, sizeof code, " (0x%08lx)",
                    static_cast<unsigned long>(static_cast<std::uint32_t>(m_code)));
      m_what = ErrorMessage() + code;
    } catch (...) {
      return "ComError";  // out of memory while building the text
    }
  }
  return m_what.c_str();
}

}  // namespace mivotra
