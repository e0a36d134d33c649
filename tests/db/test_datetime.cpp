// OLE Automation dates as calendar fields, for the value text of a date.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "report/DateTime.h"

namespace mivotra {
namespace {

constexpr double kSecond = 1.0 / 86400;

std::string Text(const CalendarTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

TEST(CalendarFromDate, KnownDates) {
  struct Case {
    DATE date;
    std::string text;
  };
  const std::vector<Case> cases = {
      {0.0, "1899-12-30 00:00:00"},
      {1.0, "1899-12-31 00:00:00"},
      {2.0, "1900-01-01 00:00:00"},
      {0.5, "1899-12-30 12:00:00"},
      {40121.0, "2009-11-04 00:00:00"},
      {40121.0 + (13 * 3600 + 45 * 60 + 59) * kSecond, "2009-11-04 13:45:59"},
      {40126.0, "2009-11-09 00:00:00"},
      {36585.0, "2000-02-29 00:00:00"},
      {39813.0, "2008-12-31 00:00:00"},
      {25569.0, "1970-01-01 00:00:00"},
      // Before day 0 the fraction still counts forward from midnight.
      {-5.25, "1899-12-25 06:00:00"},
      {-0.25, "1899-12-30 06:00:00"},
      {-1.75, "1899-12-29 18:00:00"},
      {-657434.0, "0100-01-01 00:00:00"},
      {-657434.5, "0100-01-01 12:00:00"},
      {2958465.0, "9999-12-31 00:00:00"},
      {2958465.5, "9999-12-31 12:00:00"},
  };
  for (const Case& c : cases) {
    const std::optional<CalendarTime> t = CalendarFromDate(c.date);
    ASSERT_TRUE(t.has_value()) << c.date;
    EXPECT_EQ(Text(*t), c.text) << c.date;
  }
}

TEST(CalendarFromDate, SecondsRoundOnlyAboveOneHalf) {
  const DATE newYearsEve = 40178.0;  // 2009-12-31
  struct Case {
    DATE date;
    std::string text;
  };
  const std::vector<Case> cases = {
      {newYearsEve + (86399 + 0.6) * kSecond, "2010-01-01 00:00:00"},
      {newYearsEve + (86399 + 0.4) * kSecond, "2009-12-31 23:59:59"},
      {newYearsEve + (86399 + 0.999) * kSecond, "2010-01-01 00:00:00"},
      {newYearsEve + (12 * 3600 + 0.4) * kSecond, "2009-12-31 12:00:00"},
      {newYearsEve + (12 * 3600 + 0.6) * kSecond, "2009-12-31 12:00:01"},
      {newYearsEve + (10 * 3600 + 3599.7) * kSecond, "2009-12-31 11:00:00"},
      {newYearsEve + (10 * 3600 + 59.7) * kSecond, "2009-12-31 10:01:00"},
      {40147.0 + (86399 + 0.6) * kSecond, "2009-12-01 00:00:00"},  // end of November
      {36584.0 + (86399 + 0.6) * kSecond, "2000-02-29 00:00:00"},  // into a leap day
      {-5.25 - 0.6 * kSecond, "1899-12-25 06:00:01"},
      {-5.0 - (86399 + 0.6) * kSecond, "1899-12-26 00:00:00"},
      {-657434.0 - (86399 + 0.6) * kSecond, "0100-01-02 00:00:00"},
  };
  for (const Case& c : cases) {
    const std::optional<CalendarTime> t = CalendarFromDate(c.date);
    ASSERT_TRUE(t.has_value()) << c.text;
    EXPECT_EQ(Text(*t), c.text);
  }
}

TEST(CalendarFromDate, OutsideTheCalendar) {
  for (DATE date : {-657435.0, -657435.5, 2958466.0, 2958466.25, -1e9, 1e9,
                    // The last second of 9999 rounding up has no year to go to.
                    2958465.0 + (86399 + 0.6) * kSecond, std::numeric_limits<double>::infinity(),
                    -std::numeric_limits<double>::infinity(), std::nan("")}) {
    EXPECT_FALSE(CalendarFromDate(date).has_value()) << date;
  }
  for (DATE date : {-657434.999, 2958465.999}) {
    EXPECT_TRUE(CalendarFromDate(date).has_value()) << date;
  }
}

// Every day of the calendar is the day after the one before it, and its
// time of day (a different one each day) comes back to the second.
TEST(CalendarFromDate, EveryDayFollowsTheDayBefore) {
  auto daysIn = [](int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
  };
  CalendarTime expected{100, 1, 1, 0, 0, 0};
  int failures = 0;
  for (long day = -657434; day <= 2958465 && failures < 5; ++day) {
    const long secondOfDay = (day * 7919L % 86400 + 86400) % 86400;
    expected.hour = static_cast<int>(secondOfDay / 3600);
    expected.minute = static_cast<int>(secondOfDay / 60 % 60);
    expected.second = static_cast<int>(secondOfDay % 60);
    // Before day 0 the fraction counts forwards from midnight all the same.
    const DATE fraction = static_cast<double>(secondOfDay) / 86400;
    const DATE date =
        day < 0 ? static_cast<double>(day) - fraction : static_cast<double>(day) + fraction;
    const std::optional<CalendarTime> t = CalendarFromDate(date);
    if (!t || Text(*t) != Text(expected)) {
      ++failures;
      ADD_FAILURE() << "day " << day << " gave " << (t ? Text(*t) : "nothing") << " for "
                    << Text(expected);
    }
    if (++expected.day > daysIn(expected.year, expected.month)) {
      expected.day = 1;
      if (++expected.month > 12) {
        expected.month = 1;
        ++expected.year;
      }
    }
  }
}

}  // namespace
}  // namespace mivotra
