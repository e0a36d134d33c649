// Text forms of database values: every type code, the flag bits, numbers,
// strings, dates and currency.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "report/ValueText.h"

namespace mivotra {
namespace {

struct Case {
  Variant value;
  std::string text;
};

void ExpectTexts(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(VariantToText(c.value), c.text) << "vt 0x" << std::hex << c.value.vt;
  }
}

// Values of the kinds the report's table covers and the engine never reads.
template <class Field, class Value>
Variant Of(VARTYPE type, Field Variant::*field, Value value) {
  Variant v = Variant::OfType(type);
  v.*field = static_cast<Field>(value);
  return v;
}
const auto I2 = [](std::int16_t x) { return Of(VT_I2, &Variant::iVal, x); };
const auto R4 = [](float x) { return Of(VT_R4, &Variant::fltVal, x); };
const auto UI1 = [](std::uint8_t x) { return Of(VT_UI1, &Variant::bVal, x); };
const auto Bool = [](std::int16_t x) { return Of(VT_BOOL, &Variant::boolVal, x); };
const auto Date = [](DATE x) { return Of(VT_DATE, &Variant::date, x); };
const auto Currency = [](std::int64_t scaled) { return Of(VT_CY, &Variant::cyVal, CY{scaled}); };

// A day (40121 is 2009-11-04) at a time of day.
DATE At(DATE day, int hour, int minute, int second) {
  return day + (hour * 3600 + minute * 60 + second) / 86400.0;
}

TEST(VariantToText, EveryTypeCodeWithItsDefaultValue) {
  ExpectTexts({
      {Variant::OfType(0), "NULL"},
      {Variant::OfType(1), "NULL"},
      {Variant::OfType(2), "0"},
      {Variant::OfType(3), "0"},
      {Variant::OfType(4), "0.0"},
      {Variant::OfType(5), "0.0"},
      {Variant::OfType(6), "0"},
      {Variant::OfType(7), "1899/12/30 00:00"},
      {Variant::OfType(8), ""},
      {Variant::OfType(9), "VT_DISPATCH"},
      {Variant::OfType(10), "VT_ERROR"},
      {Variant::OfType(11), "FALSE"},
      {Variant::OfType(12), "VT_VARIANT"},
      {Variant::OfType(13), "VT_UNKNOWN"},
      {Variant::OfType(14), "<Unknown>"},
      {Variant::OfType(15), "<Unknown>"},
      {Variant::OfType(16), "VT_I1"},
      {Variant::OfType(17), "0x00"},
      {Variant::OfType(18), "VT_UI2"},
      {Variant::OfType(19), "VT_UI4"},
      {Variant::OfType(20), "VT_I8"},
      {Variant::OfType(21), "VT_UI8"},
      {Variant::OfType(22), "VT_INT"},
      {Variant::OfType(23), "VT_UINT"},
      {Variant::OfType(24), "VT_VOID"},
      {Variant::OfType(25), "VT_HRESULT"},
      {Variant::OfType(26), "VT_PTR"},
      {Variant::OfType(27), "VT_SAFEARRAY"},
      {Variant::OfType(28), "VT_CARRAY"},
      {Variant::OfType(29), "VT_USERDEFINED"},
      {Variant::OfType(30), "VT_LPSTR"},
      {Variant::OfType(31), "VT_LPWSTR"},
      {Variant::OfType(32), "<Unknown>"},
      {Variant::OfType(63), "<Unknown>"},
      {Variant::OfType(64), "VT_FILETIME"},
      {Variant::OfType(65), "VT_BLOB"},
      {Variant::OfType(66), "VT_STREAM"},
      {Variant::OfType(67), "VT_STORAGE"},
      {Variant::OfType(68), "VT_STREAMED_OBJECT"},
      {Variant::OfType(69), "VT_STORED_OBJECT"},
      {Variant::OfType(70), "VT_BLOB_OBJECT"},
      {Variant::OfType(71), "VT_CF"},
      {Variant::OfType(72), "VT_CLSID"},
      {Variant::OfType(73), "<Unknown>"},
      {Variant::OfType(0x0FFF), "<Unknown>"},
      {Variant::OfType(0xFFFF), "Array of Pointer to "},
  });
}

TEST(VariantToText, FlagBits) {
  ExpectTexts({
      {Variant::OfType(0x2011), "Array of VT_UI1"},
      {Variant::OfType(0x4003), "<Unknown>Pointer to VT_I4"},
      {Variant::OfType(0x600C), "Array of Pointer to VT_VARIANT"},
      {Variant::OfType(0x400E), "<Unknown>Pointer to "},
      {Variant::OfType(0x200E), "Array of "},
      {Variant::OfType(0x2000), "Array of VT_EMPTY"},
      {Variant::OfType(0x6000), "Array of Pointer to VT_EMPTY"},
      {Variant::OfType(0x4008), "<Unknown>Pointer to VT_BSTR"},
      // Only an exact VT_BOOL returns at once.
      {Variant::OfType(0x400B), "<Unknown>Pointer to VT_BOOL"},
      {Variant::OfType(0x2048), "Array of VT_CLSID"},
      {Variant::OfType(0x2049), "Array of "},
      // VT_VECTOR is not recognised: it stays in the code, which is then in no table.
      {Variant::OfType(0x1011), "<Unknown>"},
      {Variant::OfType(0x3011), "Array of "},
      {Variant::OfType(0x5003), "<Unknown>Pointer to "},
      {Variant::OfType(0x8003), "<Unknown>"},
  });
}

TEST(VariantToText, Integers) {
  ExpectTexts({
      {I2(0), "0"},
      {I2(106), "106"},
      {I2(-1), "-1"},
      {I2(std::numeric_limits<std::int16_t>::min()), "-32768"},
      {I2(std::numeric_limits<std::int16_t>::max()), "32767"},
      {Variant::I4(std::numeric_limits<std::int32_t>::min()), "-2147483648"},
      {Variant::I4(std::numeric_limits<std::int32_t>::max()), "2147483647"},
      {UI1(10), "0x0A"},
      {UI1(0), "0x00"},
      {UI1(255), "0xFF"},
      {Bool(-1), "TRUE"},
      {Bool(0), "FALSE"},
      {Bool(1), "TRUE"},
      {Of(VT_DECIMAL, &Variant::dblVal, 1.06), "<Unknown>"},
  });
}

TEST(VariantToText, FloatingPointWithOneDecimal) {
  ExpectTexts({
      {Variant::R8(1.06), "1.1"},
      {R4(1.06f), "1.1"},
      {Variant::R8(1.04), "1.0"},
      {Variant::R8(-1.06), "-1.1"},
      {Variant::R8(0.25), "0.2"},  // an exact half rounds to even, as printf does
      {Variant::R8(0.75), "0.8"},
      {Variant::R8(0.35), "0.3"},  // 0.35 is held a little below
      {Variant::R8(-0.04), "-0.0"},
      {Variant::R8(1e20), "100000000000000000000.0"},
      {Variant::R8(std::numeric_limits<double>::max()),
       "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058955"
       "86327668781715404589535143824642343213268894641827684675467035375169860499105765512820762"
       "45490090389328944075868508455133942304583236903222948165808559332123348274797826204144723"
       "168738177180919299881250404026184124858368.0"},
      {R4(16777216.0f), "16777216.0"},
      {Variant::R8(std::numeric_limits<double>::infinity()), "inf"},
  });
}

// An environment variable set for one test and put back after it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (m_old) {
      setenv(m_name, m_old->c_str(), 1);
    } else {
      unsetenv(m_name);
    }
  }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

// A user with a German locale, built for the test where the system has none.
// Currency takes its decimal comma from the environment, also where the
// program sets no locale (the console); "%0.1f" stays with "." even once the
// window's toolkit has set the locale and printf writes "1,5".
TEST(VariantToText, OnlyCurrencyFollowsTheUsersNumericLocale) {
  test::TempDir locales;
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + (locales / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    GTEST_SKIP() << "localedef cannot build de_DE.UTF-8 (the locales package is missing)";
  }
  const ScopedEnv locpath("LOCPATH", locales.path().string());
  const ScopedEnv all("LC_ALL", "de_DE.UTF-8");
  const std::vector<Case> german = {
      {Currency(15000), "1,5"},
      {Currency(-1), "-0,0001"},
      {Currency(10600), "1,06"},
      {Currency(10000000000), "1000000"},  // still no grouping
  };
  ExpectTexts(german);

  const std::string savedNumeric = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, ""), nullptr) << "de_DE.UTF-8 cannot be loaded";
  char printed[16];
  std::snprintf(printed, sizeof printed, "%0.1f", 1.5);
  const std::string viaPrintf = printed;
  const std::string r8 = VariantToText(Variant::R8(1.5));
  const std::string r4 = VariantToText(R4(-2.25f));
  const std::string cy = VariantToText(Currency(15000));
  std::setlocale(LC_NUMERIC, savedNumeric.c_str());

  EXPECT_EQ(viaPrintf, "1,5");  // the locale really was in force
  EXPECT_EQ(r8, "1.5");
  EXPECT_EQ(r4, "-2.2");
  EXPECT_EQ(cy, "1,5");
}

TEST(VariantToText, Strings) {
  ExpectTexts({
      {Variant::Bstr("1.06"), "1.06"},
      {Variant::Bstr("t_db_ver"), "t_db_ver"},
      {Variant::Bstr("振替用コード"), "振替用コード"},
      {Variant::Bstr(""), ""},
      {Variant::Bstr(std::string("1.06\0garbage", 12)), "1.06"},
      {Variant::Bstr(std::string("\0abc", 4)), ""},
      // Bytes that are no text give nothing, not a broken text.
      {Variant::Bstr("1.0\xFF"), ""},
      {Variant::Bstr("\xE3\x81"), ""},
      {Variant::Bstr("\xED\xA0\x80"), ""},
      // Broken bytes after the NUL are never looked at.
      {Variant::Bstr(std::string("ok\0\xFF", 4)), "ok"},
  });
}

TEST(VariantToText, Dates) {
  ExpectTexts({
      {Date(40121.0), "2009/11/04 00:00"},
      {Date(At(40121.0, 13, 45, 59)), "2009/11/04 13:45"},
      {Date(At(40121.0, 13, 45, 59) + 0.6 / 86400), "2009/11/04 13:46"},
      {Date(At(40178.0, 23, 59, 59) + 0.6 / 86400), "2010/01/01 00:00"},
      {Date(At(40178.0, 23, 59, 59) + 0.4 / 86400), "2009/12/31 23:59"},
      {Date(-5.25), "1899/12/25 06:00"},
      {Date(-657434.0), "100/01/01 00:00"},
      {Date(-657434.999), "100/01/01 23:58"},
      {Date(2958465.0), "9999/12/31 00:00"},
      {Date(2958465.999), "9999/12/31 23:58"},
      {Date(-657435.0), "Invalid DateTime"},
      {Date(2958466.0), "Invalid DateTime"},
      {Date(1e300), "Invalid DateTime"},
      {Date(std::nan("")), "Invalid DateTime"},
      {Date(-std::numeric_limits<double>::infinity()), "Invalid DateTime"},
  });
}

TEST(VariantToText, Currency) {
  ExpectTexts({
      {Currency(0), "0"},
      {Currency(10000), "1"},
      {Currency(15000), "1.5"},
      {Currency(-15000), "-1.5"},
      {Currency(9), "0.0009"},
      {Currency(-1), "-0.0001"},
      {Currency(100), "0.01"},
      {Currency(1200), "0.12"},
      {Currency(12345678), "1234.5678"},
      {Currency(10000000000), "1000000"},  // no grouping
      {Currency(10600), "1.06"},
      {Currency(std::numeric_limits<std::int64_t>::max()), "922337203685477.5807"},
      {Currency(std::numeric_limits<std::int64_t>::min()), "-922337203685477.5808"},
  });
}

}  // namespace
}  // namespace mivotra
