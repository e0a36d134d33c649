#include "jet/ComError.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "jet/SystemMessages.h"

namespace mivotra {

ComError::ComError(HRESULT code, std::optional<ErrorInfo> info)
    : m_code(code), m_info(std::move(info)) {}

std::string ComError::Source() const {
  return m_info ? m_info->source : std::string();
}

std::string ComError::Description() const {
  return m_info ? m_info->description : std::string();
}

const std::string& ComError::ErrorMessage() const {
  if (!m_message) m_message = ErrorMessageText(m_code, SystemMessage(m_code));
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
