#include "report/DateTime.h"

#include <cmath>
#include <cstdint>

namespace mivotra {
namespace {

constexpr std::int64_t kFirstDay = -657434;  // 100-01-01
constexpr std::int64_t kLastDay = 2958465;   // 9999-12-31
constexpr std::int64_t kSecondsPerDay = 86400;

// Day 0 of the OLE calendar (1899-12-30) counted from 1970-01-01.
constexpr std::int64_t kOleEpochFromUnix = -25569;

struct CivilDate {
  int year, month, day;
};

// The proleptic Gregorian date of a day counted from 1970-01-01 (H. Hinnant's
// algorithm).
constexpr CivilDate CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

}  // namespace

std::optional<CalendarTime> CalendarFromDate(DATE date) {
  // Every fraction of the first and the last day is still that day.
  if (!(date > static_cast<double>(kFirstDay - 1) && date < static_cast<double>(kLastDay + 1))) {
    return std::nullopt;  // also NaN
  }
  const double dayPart = std::trunc(date);
  // Before day 0 the fraction still counts forward from midnight: -5.25 is 06:00.
  const double seconds = std::fabs(date - dayPart) * static_cast<double>(kSecondsPerDay);
  double wholeSeconds = std::floor(seconds);
  // Milliseconds are dropped, but more than half a second rounds up; this
  // also mends times a binary fraction holds a hair below the whole second.
  if (seconds - wholeSeconds > 0.5) wholeSeconds += 1;

  auto day = static_cast<std::int64_t>(dayPart);
  auto secondOfDay = static_cast<std::int64_t>(wholeSeconds);
  if (secondOfDay >= kSecondsPerDay) {
    secondOfDay -= kSecondsPerDay;
    ++day;
  }
  if (day > kLastDay) return std::nullopt;  // 9999-12-31 23:59:59.6 has no year to carry into

  const std::int64_t unixDay = day + kOleEpochFromUnix;
  const CivilDate civil = CivilFromDays(unixDay);
  CalendarTime time;
  time.year = civil.year;
  time.month = civil.month;
  time.day = civil.day;
  time.hour = static_cast<int>(secondOfDay / 3600);
  time.minute = static_cast<int>(secondOfDay / 60 % 60);
  time.second = static_cast<int>(secondOfDay % 60);
  return time;
}

}  // namespace mivotra
