// OLE Automation dates on any double (NaN, infinities, subnormals, the edges
// of the calendar) and calendar fields both ways, and the storage text.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "jet/DateTime.h"

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

bool SameFields(const CalendarTime& a, const CalendarTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
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

  // Back to a date: the same moment, to the second, and the same fields again.
  const std::optional<DATE> back =
      DateFromCalendar(time->year, time->month, time->day, time->hour, time->minute, time->second);
  Check(back.has_value(), "converted fields form a date", detail);
  const std::optional<CalendarTime> again = CalendarFromDate(*back);
  Check(again && SameFields(*again, *time), "fields survive a round trip", detail);
  const double secondsApart = std::fabs(Moment(*back) - Moment(date)) * 86400;
  Check(secondsApart <= 1.0 + 1e-3, "the round trip moves the moment by at most a second",
        detail + " came back as " + Detail(*back));

  const std::string stored = DateToStorageText(*time);
  Check(stored.size() == 19, "storage text has a fixed width", stored);
}

void CheckFieldsAnyValue(int year, int month, int day, int hour, int minute, int second) {
  const std::optional<DATE> date = DateFromCalendar(year, month, day, hour, minute, second);
  const bool valid = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                     day <= DaysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
                     minute <= 59 && second >= 0 && second <= 59;
  Check(date.has_value() == valid, "exactly the calendar's fields form a date");
  if (!date) return;
  const std::optional<CalendarTime> time = CalendarFromDate(*date);
  Check(time && time->year == year && time->month == month && time->day == day &&
            time->hour == hour && time->minute == minute && time->second == second,
        "fields come back unchanged", Detail(*date));
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

  const int year = data.ConsumeIntegralInRange(90, 10010);
  const int month = data.ConsumeIntegralInRange(-1, 14);
  const int dayOfMonth = data.ConsumeIntegralInRange(-1, 33);
  const int hour = data.ConsumeIntegralInRange(-1, 25);
  const int minute = data.ConsumeIntegralInRange(-1, 61);
  const int second = data.ConsumeIntegralInRange(-1, 61);
  CheckFieldsAnyValue(year, month, dayOfMonth, hour, minute, second);
  return 0;
}
