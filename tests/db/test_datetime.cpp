// OLE Automation dates and calendar fields, both ways, and the storage text.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "jet/DateTime.h"

namespace mivotra {
namespace {

constexpr double kSecond = 1.0 / 86400;

struct Fields {
  int year, month, day, hour, minute, second;
};

TEST(CalendarFromDate, KnownDates) {
  struct Case {
    DATE date;
    Fields expected;
  };
  const std::vector<Case> cases = {
      {0.0, {1899, 12, 30, 0, 0, 0}},
      {1.0, {1899, 12, 31, 0, 0, 0}},
      {2.0, {1900, 1, 1, 0, 0, 0}},
      {0.5, {1899, 12, 30, 12, 0, 0}},
      {40121.0, {2009, 11, 4, 0, 0, 0}},
      {40121.0 + (13 * 3600 + 45 * 60 + 59) * kSecond, {2009, 11, 4, 13, 45, 59}},
      {40126.0, {2009, 11, 9, 0, 0, 0}},
      {36585.0, {2000, 2, 29, 0, 0, 0}},
      {39813.0, {2008, 12, 31, 0, 0, 0}},
      {25569.0, {1970, 1, 1, 0, 0, 0}},
      // Before day 0 the fraction still counts forward from midnight.
      {-5.25, {1899, 12, 25, 6, 0, 0}},
      {-0.25, {1899, 12, 30, 6, 0, 0}},
      {-1.75, {1899, 12, 29, 18, 0, 0}},
      {-657434.0, {100, 1, 1, 0, 0, 0}},
      {-657434.5, {100, 1, 1, 12, 0, 0}},
      {2958465.0, {9999, 12, 31, 0, 0, 0}},
      {2958465.5, {9999, 12, 31, 12, 0, 0}},
  };
  for (const Case& c : cases) {
    const std::optional<CalendarTime> t = CalendarFromDate(c.date);
    ASSERT_TRUE(t.has_value()) << c.date;
    const Fields& e = c.expected;
    EXPECT_EQ(DateToStorageText(*t),
              DateToStorageText(CalendarTime{e.year, e.month, e.day, e.hour, e.minute, e.second}))
        << c.date;
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
    EXPECT_EQ(DateToStorageText(*t), c.text);
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

TEST(DateFromCalendar, RejectsFieldsOutsideTheCalendar) {
  struct Case {
    int year, month, day, hour, minute, second;
  };
  const std::vector<Case> cases = {
      {99, 12, 31, 0, 0, 0},  {10000, 1, 1, 0, 0, 0}, {2009, 0, 1, 0, 0, 0},
      {2009, 13, 1, 0, 0, 0}, {2009, 1, 0, 0, 0, 0},  {2009, 1, 32, 0, 0, 0},
      {2009, 2, 29, 0, 0, 0}, {1900, 2, 29, 0, 0, 0}, {2009, 4, 31, 0, 0, 0},
      {2009, 2, 30, 0, 0, 0}, {2009, 1, 1, 24, 0, 0}, {2009, 1, 1, 0, 60, 0},
      {2009, 1, 1, 0, 0, 60}, {2009, 1, 1, -1, 0, 0}, {2009, 1, 1, 0, -1, 0},
      {2009, 1, 1, 0, 0, -1}, {-2009, 1, 1, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(DateFromCalendar(c.year, c.month, c.day, c.hour, c.minute, c.second))
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute << ":"
        << c.second;
  }
  EXPECT_TRUE(DateFromCalendar(2000, 2, 29));
  EXPECT_TRUE(DateFromCalendar(2008, 2, 29));
  EXPECT_TRUE(DateFromCalendar(100, 1, 1));
  EXPECT_TRUE(DateFromCalendar(9999, 12, 31, 23, 59, 59));
}

TEST(DateFromCalendar, KnownValues) {
  EXPECT_EQ(DateFromCalendar(1899, 12, 30), 0.0);
  EXPECT_EQ(DateFromCalendar(2009, 11, 4), 40121.0);
  EXPECT_EQ(DateFromCalendar(1899, 12, 25, 6), -5.25);
  EXPECT_EQ(DateFromCalendar(100, 1, 1), -657434.0);
  EXPECT_EQ(DateFromCalendar(9999, 12, 31), 2958465.0);
  EXPECT_EQ(DateFromCalendar(1899, 12, 30, 12), 0.5);
}

// Every day of the calendar, each at a different time of day, comes back as
// the same fields.
TEST(DateFromCalendar, RoundTripsEveryDay) {
  int failures = 0;
  for (long day = -657434; day <= 2958465 && failures < 5; ++day) {
    const std::optional<CalendarTime> midnight = CalendarFromDate(static_cast<double>(day));
    ASSERT_TRUE(midnight.has_value()) << day;
    const long secondOfDay = (day * 7919L % 86400 + 86400) % 86400;
    const int hour = static_cast<int>(secondOfDay / 3600);
    const int minute = static_cast<int>(secondOfDay / 60 % 60);
    const int second = static_cast<int>(secondOfDay % 60);
    const std::optional<DATE> date =
        DateFromCalendar(midnight->year, midnight->month, midnight->day, hour, minute, second);
    const std::optional<CalendarTime> back = date ? CalendarFromDate(*date) : std::nullopt;
    const bool same = back && back->year == midnight->year && back->month == midnight->month &&
                      back->day == midnight->day && back->hour == hour && back->minute == minute &&
                      back->second == second && std::trunc(*date) == static_cast<double>(day);
    if (!same) {
      ++failures;
      ADD_FAILURE() << "day " << day << " at " << secondOfDay << "s";
    }
  }
}

TEST(StorageText, Writes) {
  EXPECT_EQ(DateToStorageText(CalendarTime{2009, 11, 4, 13, 45, 59}), "2009-11-04 13:45:59");
  EXPECT_EQ(DateToStorageText(CalendarTime{100, 1, 1, 0, 0, 0}), "0100-01-01 00:00:00");
  EXPECT_EQ(DateToStorageText(*CalendarFromDate(2958465.0)), "9999-12-31 00:00:00");
}

}  // namespace
}  // namespace mivotra
