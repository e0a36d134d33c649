#pragma once
// The failure every engine operation raises: a COM-style HRESULT with an
// optional error-info (source, description), as ADO reports its failures.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace mivotra {

using HRESULT = std::int32_t;

constexpr HRESULT MakeHResult(std::uint32_t bits) {
  return static_cast<HRESULT>(bits);
}

// Standard COM and Win32 codes. The names differ from the Windows ones
// (E_Fail for E_FAIL, ...) because windows.h defines those as macros, which
// would replace these wherever both are included.
inline constexpr HRESULT S_Ok = 0;
inline constexpr HRESULT E_Pointer = MakeHResult(0x80004003);
inline constexpr HRESULT E_Fail = MakeHResult(0x80004005);
inline constexpr HRESULT E_AccessDenied = MakeHResult(0x80070005);
inline constexpr HRESULT E_OutOfMemory = MakeHResult(0x8007000E);

// Codes ADO and the Jet provider raise for the same faults.
inline constexpr HRESULT DB_E_Syntax = MakeHResult(0x80040E14);   // syntax error, object exists
inline constexpr HRESULT DB_E_NoTable = MakeHResult(0x80040E37);  // input table or query not found
inline constexpr HRESULT DB_SEC_E_AuthFailed = MakeHResult(0x80040E4D);  // not a valid password
inline constexpr HRESULT ADO_E_ProviderNotFound = MakeHResult(0x800A0E7A);
inline constexpr HRESULT ADO_E_ObjectClosed = MakeHResult(0x800A0E78);
inline constexpr HRESULT ADO_E_ObjectOpen = MakeHResult(0x800A0E79);
inline constexpr HRESULT ADO_E_ItemNotFound = MakeHResult(0x800A0CC1);
inline constexpr HRESULT ADO_E_NoCurrentRecord = MakeHResult(0x800A0BCD);

struct ErrorInfo {
  std::string source;       // UTF-8
  std::string description;  // UTF-8
};

class ComError : public std::exception {
 public:
  explicit ComError(HRESULT code, std::optional<ErrorInfo> info = std::nullopt);

  HRESULT Error() const noexcept { return m_code; }
  const std::optional<ErrorInfo>& Info() const noexcept { return m_info; }
  // Empty when there is no error-info object.
  std::string Source() const;
  std::string Description() const;
  // The system's text for the code, computed on first request and kept.
  const std::string& ErrorMessage() const;

  const char* what() const noexcept override;

 private:
  HRESULT m_code;
  std::optional<ErrorInfo> m_info;
  mutable std::optional<std::string> m_message;
  mutable std::string m_what;
};

}  // namespace mivotra
