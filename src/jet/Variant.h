#pragma once
// A value read from the database: an OLE Automation type code and a value,
// with the member names of the Windows VARIANT so that readers of either
// platform recognise them. Strings are UTF-8.

#include <cstdint>
#include <string>

namespace mivotra {

using VARTYPE = std::uint16_t;

enum VarEnum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_FILETIME = 64,
  VT_BLOB = 65,
  VT_STREAM = 66,
  VT_STORAGE = 67,
  VT_STREAMED_OBJECT = 68,
  VT_STORED_OBJECT = 69,
  VT_BLOB_OBJECT = 70,
  VT_CF = 71,
  VT_CLSID = 72,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

// Currency: a 64-bit integer scaled by 10,000 (four decimal places).
struct CY {
  std::int64_t int64 = 0;
};

// OLE Automation date: days since 1899-12-30, the fraction is the time of day.
using DATE = double;

struct Variant {
  VARTYPE vt = VT_EMPTY;
  std::int16_t iVal = 0;     // VT_I2
  std::int32_t lVal = 0;     // VT_I4
  float fltVal = 0;          // VT_R4
  double dblVal = 0;         // VT_R8
  CY cyVal;                  // VT_CY
  DATE date = 0;             // VT_DATE
  std::string bstrVal;       // VT_BSTR (UTF-8; may hold a NUL or invalid bytes as stored)
  std::int16_t boolVal = 0;  // VT_BOOL: non-zero is true
  std::uint8_t bVal = 0;     // VT_UI1

  static Variant Null() { return OfType(VT_NULL); }
  static Variant OfType(VARTYPE type) {
    Variant v;
    v.vt = type;
    return v;
  }
  static Variant I4(std::int32_t x) {
    Variant v = OfType(VT_I4);
    v.lVal = x;
    return v;
  }
  static Variant R8(double x) {
    Variant v = OfType(VT_R8);
    v.dblVal = x;
    return v;
  }
  static Variant Bstr(std::string x) {
    Variant v = OfType(VT_BSTR);
    v.bstrVal = std::move(x);
    return v;
  }

  bool IsNull() const { return vt == VT_NULL; }
  // Clears to VT_EMPTY, as VariantClear does.
  void Clear() { *this = Variant{}; }
};

}  // namespace mivotra
