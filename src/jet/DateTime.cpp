#include "jet/DateTime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace mivotra {
namespace {

constexpr std::int64_t kFirstDay = -657434;  // 100-01-01
constexpr std::int64_t kLastDay = 2958465;   // 9999-12-31
constexpr std::int64_t kSecondsPerDay = 86400;

// Day 0 of the OLE calendar (1899-12-30) counted from 1970-01-01.
constexpr std::int64_t kOleEpochFromUnix = -25569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct CivilDate {
  int year, month, day;
};

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

static_assert(DaysFromCivil(1899, 12, 30) == kOleEpochFromUnix);
static_assert(DaysFromCivil(100, 1, 1) - kOleEpochFromUnix == kFirstDay);
static_assert(DaysFromCivil(9999, 12, 31) - kOleEpochFromUnix == kLastDay);

constexpr bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int DaysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
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

std::optional<DATE> DateFromCalendar(int year, int month, int day, int hour, int minute,
                                     int second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59) {
    return std::nullopt;
  }
  const std::int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
      kOleEpochFromUnix;
  const double fraction =
      static_cast<double>(hour * 3600 + minute * 60 + second) / static_cast<double>(kSecondsPerDay);
  const auto whole = static_cast<double>(days);
  return days < 0 ? whole - fraction : whole + fraction;
}

std::string DateToStorageText(const CalendarTime& time) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return buffer;
}

}  // namespace mivotra
