#pragma once
// The failure every engine operation raises: a COM-style HRESULT with an
// optional error-info (source, description), as ADO reports its failures.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace mivotra {

using HRESULT = std::int32_t;

constexpr HRESULT MakeHResult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

// Standard COM and Win32 codes.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);

// Codes ADO and the Jet provider raise for the same faults.
inline constexpr HRESULT DB_E_SYNTAX = MakeHResult(0x80040E14);     // syntax error, object exists
inline constexpr HRESULT DB_E_NOTABLE = MakeHResult(0x80040E37);    // input table or query not found
inline constexpr HRESULT DB_SEC_E_AUTH_FAILED = MakeHResult(0x80040E4D);  // not a valid password
inline constexpr HRESULT ADO_E_PROVIDER_NOT_FOUND = MakeHResult(0x800A0E7A);
inline constexpr HRESULT ADO_E_OBJECT_CLOSED = MakeHResult(0x800A0E78);
inline constexpr HRESULT ADO_E_OBJECT_OPEN = MakeHResult(0x800A0E79);
inline constexpr HRESULT ADO_E_ITEM_NOT_FOUND = MakeHResult(0x800A0CC1);
inline constexpr HRESULT ADO_E_NO_CURRENT_RECORD = MakeHResult(0x800A0BCD);
inline constexpr HRESULT ADO_E_NO_TRANSACTION = MakeHResult(0x800A0CAE);

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
