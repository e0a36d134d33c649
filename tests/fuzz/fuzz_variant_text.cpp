// VariantToText on any type code with any value: every variant yields a text,
// and the text says what the value is.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "base/Utf8.h"
#include "jet/Variant.h"
#include "report/DateTime.h"
#include "report/ValueText.h"

namespace mivotra {
namespace {

using fuzz::Check;
using fuzz::Shown;

// The names a code may end with once its array or reference flag is removed.
bool IsNamedCode(VARTYPE type) {
  return type <= 13 || (type >= 16 && type <= 31) || (type >= 64 && type <= 72);
}

// The currency text read back as a scaled integer; nullopt when it is not
// of the form -?digits(.digits{1,4})? without trailing zeros after the point.
std::optional<std::int64_t> ParseCurrency(const std::string& text) {
  std::size_t pos = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++pos;
  __int128 value = 0;
  std::size_t digits = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    value = value * 10 + (text[pos++] - '0');
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  int decimals = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
      value = value * 10 + (text[pos++] - '0');
      ++decimals;
    }
    if (decimals == 0 || decimals > 4 || text.back() == '0') return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;
  for (; decimals < 4; ++decimals) value *= 10;
  if (negative) value = -value;
  if (value < std::numeric_limits<std::int64_t>::min() ||
      value > std::numeric_limits<std::int64_t>::max())
    return std::nullopt;
  return static_cast<std::int64_t>(value);
}

void CheckPlainValue(const Variant& value, const std::string& text) {
  const std::string detail = "type " + std::to_string(value.vt) + " gave " + Shown(text);
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      Check(text == "NULL", "empty and null read NULL", detail);
      break;
    case VT_I2:
      Check(text == std::to_string(value.iVal), "a short in decimal", detail);
      break;
    case VT_I4:
      Check(text == std::to_string(value.lVal), "a long in decimal", detail);
      break;
    case VT_R4:
    case VT_R8: {
      const double number = value.vt == VT_R4 ? static_cast<double>(value.fltVal) : value.dblVal;
      if (!std::isfinite(number)) break;
      const std::size_t point = text.find('.');
      Check(point != std::string::npos && point + 2 == text.size(), "one decimal digit", detail);
      const double back = std::strtod(text.c_str(), nullptr);
      // Half a unit of the last shown digit, and the double's own spacing.
      const double slack = 0.05 + std::fabs(number) * 4 * std::numeric_limits<double>::epsilon();
      Check(std::fabs(back - number) <= slack, "the number rounds to its text", detail);
      break;
    }
    case VT_CY: {
      const std::optional<std::int64_t> back = ParseCurrency(text);
      Check(back.has_value(), "currency text is digits with up to four decimals", detail);
      Check(*back == value.cyVal.int64, "currency text keeps the exact value", detail);
      break;
    }
    case VT_DATE: {
      const std::optional<CalendarTime> time = CalendarFromDate(value.date);
      if (!time) {
        Check(text == "Invalid DateTime", "a date outside the calendar", detail);
        break;
      }
      char expected[64];
      // strftime's %Y does not pad a year before 1000.
      std::snprintf(expected, sizeof expected, "%d/%02d/%02d %02d:%02d", time->year, time->month,
                    time->day, time->hour, time->minute);
      Check(text == expected, "a date as year/month/day hour:minute", detail);
      break;
    }
    case VT_BSTR: {
      const std::string_view shown =
          std::string_view(value.bstrVal).substr(0, value.bstrVal.find('\0'));
      Check(text == (utf8::IsValid(shown) ? shown : std::string_view()),
            "a string up to its NUL, or nothing when it is not UTF-8", detail);
      break;
    }
    case VT_BOOL:
      Check(text == (value.boolVal != 0 ? "TRUE" : "FALSE"), "booleans", detail);
      break;
    case VT_UI1: {
      char expected[8];
      std::snprintf(expected, sizeof expected, "0x%02X", value.bVal);
      Check(text == expected, "a byte in hexadecimal", detail);
      break;
    }
    default:
      if (!IsNamedCode(value.vt))
        Check(text == "<Unknown>", "codes without a name", detail);
      else
        Check(text.starts_with("VT_"), "other named codes show their name", detail);
  }
}

void CheckText(const Variant& value) {
  const std::string text = VariantToText(value);
  const std::string detail = "type " + std::to_string(value.vt) + " gave " + Shown(text);
  Check(!text.empty() || value.vt == VT_BSTR, "only a string can give an empty text", detail);
  Check(utf8::IsValid(text), "the text is valid UTF-8", detail);
  if (value.vt != VT_BSTR) Check(text.size() < 400, "a bounded text", detail);

  const VARTYPE flags = value.vt & (VT_ARRAY | VT_BYREF);
  if (flags == 0) {
    CheckPlainValue(value, text);
    return;
  }
  const auto base = static_cast<VARTYPE>(value.vt & ~(VT_ARRAY | VT_BYREF));
  std::string expected = (flags & VT_ARRAY) ? "Array of " : "<Unknown>";
  if (flags & VT_BYREF) expected += "Pointer to ";
  if (IsNamedCode(base)) {
    Check(text.starts_with(expected) && text.size() > expected.size() &&
              text.substr(expected.size()).starts_with("VT_"),
          "flagged codes give the prefixes and the base type's name", detail);
  } else {
    Check(text == expected, "flagged codes without a name give the prefixes alone", detail);
  }
}

}  // namespace
}  // namespace mivotra

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace mivotra;
  FuzzedDataProvider data(bytes, size);
  Variant value;
  // Most inputs pick one of the codes with a value text, so those get the attention.
  const std::uint8_t choice = data.ConsumeIntegral<std::uint8_t>();
  if (choice < 128) {
    value.vt = static_cast<VARTYPE>(choice % 18);
  } else if (choice < 160) {
    value.vt = static_cast<VARTYPE>((choice % 73) | (choice & 1 ? VT_ARRAY : 0) |
                                    (choice & 2 ? VT_BYREF : 0));
  } else {
    value.vt = data.ConsumeIntegral<VARTYPE>();
  }
  value.iVal = data.ConsumeIntegral<std::int16_t>();
  value.lVal = data.ConsumeIntegral<std::int32_t>();
  // Raw bit patterns, so NaN, infinities and subnormals all occur.
  const auto floatBits = data.ConsumeIntegral<std::uint32_t>();
  std::memcpy(&value.fltVal, &floatBits, sizeof value.fltVal);
  const auto doubleBits = data.ConsumeIntegral<std::uint64_t>();
  std::memcpy(&value.dblVal, &doubleBits, sizeof value.dblVal);
  value.cyVal.int64 = data.ConsumeIntegral<std::int64_t>();
  // Dates mostly in the calendar's range, where the interesting cases are.
  value.date =
      data.ConsumeBool() ? data.ConsumeFloatingPointInRange(-700000.0, 3000000.0) : value.dblVal;
  value.boolVal = data.ConsumeIntegral<std::int16_t>();
  value.bVal = data.ConsumeIntegral<std::uint8_t>();
  value.bstrVal = data.ConsumeRemainingBytesAsString();
  CheckText(value);
  return 0;
}
