// OLE Automation dates on any double (NaN, infinities, subnormals, the edges
// of the calendar) as calendar fields: real fields of the same moment.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "report/DateTime.h"

namespace mivotra {
namespace {

using fuzz::Check;

constexpr double kFirstDay = -657434;  // 100-01-01
constexpr double kLastDay = 2958465;   // 9999-12-31

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The fields' day counted from 1899-12-30, a year and a month at a time from
// the calendar's first day.
double DayNumber(const CalendarTime& time) {
  long days = static_cast<long>(kFirstDay);
  for (int year = 100; year < time.year; ++year) days += IsLeapYear(year) ? 366 : 365;
  for (int month = 1; month < time.month; ++month) days += DaysInMonth(time.year, month);
  return static_cast<double>(days + time.day - 1);
}

// A date on a straight time line: before 1899-12-30 the fraction counts
// forwards from the day's midnight although the day number counts backwards,
// so -1.25 is 06:00 on 1899-12-29 and -0.25 and 0.25 are the same moment.
double Moment(double date) {
  const double day = std::trunc(date);
  return day + std::fabs(date - day);
}

std::string Detail(double date) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", date);
  return text;
}

void CheckFields(const CalendarTime& time, const std::string& detail) {
  Check(time.year >= 100 && time.year <= 9999, "the year is in the calendar", detail);
  Check(time.month >= 1 && time.month <= 12, "a month", detail);
  Check(time.day >= 1 && time.day <= DaysInMonth(time.year, time.month), "a day of the month",
        detail);
  Check(time.hour >= 0 && time.hour <= 23, "an hour", detail);
  Check(time.minute >= 0 && time.minute <= 59, "a minute", detail);
  Check(time.second >= 0 && time.second <= 59, "a second", detail);
}

void CheckDate(double date) {
  const std::string detail = Detail(date);
  const std::optional<CalendarTime> time = CalendarFromDate(date);
  if (std::isfinite(date) && date >= kFirstDay && date <= kLastDay) {
    Check(time.has_value(), "every date of the calendar's days converts", detail);
  }
  if (!time) return;
  Check(date > kFirstDay - 1 && date < kLastDay + 1, "nothing outside the calendar converts",
        detail);
  CheckFields(*time, detail);

  // The same moment, to the second.
  const double back =
      DayNumber(*time) + (time->hour * 3600 + time->minute * 60 + time->second) / 86400.0;
  const double secondsApart = std::fabs(back - Moment(date)) * 86400;
  Check(secondsApart <= 1.0 + 1e-3, "the fields are the date's moment to the second",
        detail + " gave " + Detail(back));
}

}  // namespace
}  // namespace mivotra

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace mivotra;
  FuzzedDataProvider data(bytes, size);
  // Any bit pattern, and a value in or near the calendar's range.
  const auto bits = data.ConsumeIntegral<std::uint64_t>();
  double raw;
  std::memcpy(&raw, &bits, sizeof raw);
  CheckDate(raw);
  CheckDate(data.ConsumeFloatingPointInRange(kFirstDay - 2, kLastDay + 2));
  // The last half second of a day, where rounding carries into the next.
  const double day = std::trunc(data.ConsumeFloatingPointInRange(kFirstDay - 2, kLastDay + 2));
  const double fraction = 1 - data.ConsumeFloatingPointInRange(0.0, 1.0 / 86400);
  CheckDate(day >= 0 ? day + fraction : day - fraction);
  return 0;
}
