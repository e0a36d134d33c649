// The text form of database values: the version the update run compares and
// the table names of the schema scan.

#include "report/ValueText.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

#include "base/Utf8.h"
#include "report/DateTime.h"

namespace mivotra {
namespace {

// The published VT_* names; codes without a name (14, 15, 32..63, above 72)
// have no value text either.
std::optional<std::string_view> TypeName(VARTYPE type) {
  switch (type) {
    case VT_EMPTY:
      return "VT_EMPTY";
    case VT_NULL:
      return "VT_NULL";
    case VT_I2:
      return "VT_I2";
    case VT_I4:
      return "VT_I4";
    case VT_R4:
      return "VT_R4";
    case VT_R8:
      return "VT_R8";
    case VT_CY:
      return "VT_CY";
    case VT_DATE:
      return "VT_DATE";
    case VT_BSTR:
      return "VT_BSTR";
    case VT_DISPATCH:
      return "VT_DISPATCH";
    case VT_ERROR:
      return "VT_ERROR";
    case VT_BOOL:
      return "VT_BOOL";
    case VT_VARIANT:
      return "VT_VARIANT";
    case VT_UNKNOWN:
      return "VT_UNKNOWN";
    case VT_I1:
      return "VT_I1";
    case VT_UI1:
      return "VT_UI1";
    case VT_UI2:
      return "VT_UI2";
    case VT_UI4:
      return "VT_UI4";
    case VT_I8:
      return "VT_I8";
    case VT_UI8:
      return "VT_UI8";
    case VT_INT:
      return "VT_INT";
    case VT_UINT:
      return "VT_UINT";
    case VT_VOID:
      return "VT_VOID";
    case VT_HRESULT:
      return "VT_HRESULT";
    case VT_PTR:
      return "VT_PTR";
    case VT_SAFEARRAY:
      return "VT_SAFEARRAY";
    case VT_CARRAY:
      return "VT_CARRAY";
    case VT_USERDEFINED:
      return "VT_USERDEFINED";
    case VT_LPSTR:
      return "VT_LPSTR";
    case VT_LPWSTR:
      return "VT_LPWSTR";
    case VT_FILETIME:
      return "VT_FILETIME";
    case VT_BLOB:
      return "VT_BLOB";
    case VT_STREAM:
      return "VT_STREAM";
    case VT_STORAGE:
      return "VT_STORAGE";
    case VT_STREAMED_OBJECT:
      return "VT_STREAMED_OBJECT";
    case VT_STORED_OBJECT:
      return "VT_STORED_OBJECT";
    case VT_BLOB_OBJECT:
      return "VT_BLOB_OBJECT";
    case VT_CF:
      return "VT_CF";
    case VT_CLSID:
      return "VT_CLSID";
    default:
      return std::nullopt;
  }
}

// "%0.1f" as the C locale prints it, whatever LC_NUMERIC the process runs under.
std::string OneDecimal(double value) {
  char buffer[512];  // DBL_MAX has 309 integer digits
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
  return std::string(buffer, result.ptr);
}

// The decimal separator of the user's numeric locale, read from the
// environment as setlocale(LC_ALL, "") would, without changing the process's
// own locale: printf and strtod go on reading "." everywhere else, and the
// console, which sets no locale, shows the same text as the window.
std::string UserDecimalSeparator() {
  std::string separator = ".";
  if (const locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
    const char* radix = nl_langinfo_l(RADIXCHAR, user);
    // A separator of a locale whose character set is not UTF-8 is no text here.
    if (radix != nullptr && *radix != '\0' && utf8::IsValid(radix)) separator = radix;
    freelocale(user);
  }
  return separator;
}

// The currency's four decimal places, trailing zeros dropped, no grouping;
// the decimal separator is the user's, as the platform's conversion writes it.
std::string CurrencyText(CY value) {
  const bool negative = value.int64 < 0;
  // Through unsigned so the most negative value has a magnitude too.
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.int64)
                                           : static_cast<std::uint64_t>(value.int64);
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 10000);
  std::uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    int digits = 4;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --digits;
    }
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%0*llu", digits,
                  static_cast<unsigned long long>(fraction));
    text += UserDecimalSeparator();
    text += buffer;
  }
  return text;
}

std::string DateText(DATE date) {
  const std::optional<CalendarTime> time = CalendarFromDate(date);
  if (!time) return "Invalid DateTime";
  // strftime's "%Y/%m/%d %H:%M": %Y has no padding of its own.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d/%02d/%02d %02d:%02d", time->year, time->month, time->day,
                time->hour, time->minute);
  return buffer;
}

// The stored string up to its first NUL; a string that is not well-formed
// gives nothing, as a rejected code page conversion did.
std::string StringText(const std::string& value) {
  const std::string_view shown = std::string_view(value).substr(0, value.find('\0'));
  return utf8::IsValid(shown) ? std::string(shown) : std::string();
}

std::optional<std::string> ValueText(const Variant& value) {
  char buffer[32];
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return "NULL";
    case VT_I2:
      std::snprintf(buffer, sizeof buffer, "%hd", value.iVal);
      return buffer;
    case VT_I4:
      std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value.lVal));
      return buffer;
    case VT_R4:
      return OneDecimal(static_cast<double>(value.fltVal));
    case VT_R8:
      return OneDecimal(value.dblVal);
    case VT_CY:
      return CurrencyText(value.cyVal);
    case VT_DATE:
      return DateText(value.date);
    case VT_BSTR:
      return StringText(value.bstrVal);
    case VT_UI1:
      std::snprintf(buffer, sizeof buffer, "0x%02hX", static_cast<unsigned short>(value.bVal));
      return buffer;
    default: {
      // Codes without a value of their own show their name.
      const std::optional<std::string_view> name = TypeName(value.vt);
      if (name) return std::string(*name);
      return std::nullopt;
    }
  }
}

}  // namespace

std::string VariantToText(const Variant& value) {
  if (value.vt == VT_BOOL) return value.boolVal != 0 ? "TRUE" : "FALSE";

  std::string text = "<Unknown>";
  if (std::optional<std::string> valueText = ValueText(value)) text = std::move(*valueText);

  VARTYPE type = value.vt;
  if (type & VT_ARRAY) {
    type &= static_cast<VARTYPE>(~VT_ARRAY);
    text = "Array of ";
  }
  if (type & VT_BYREF) {
    type &= static_cast<VARTYPE>(~VT_BYREF);
    text += "Pointer to ";
  }
  if (type != value.vt) {
    if (const std::optional<std::string_view> name = TypeName(type)) text += *name;
  }
  return text;
}

}  // namespace mivotra
