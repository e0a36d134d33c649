#pragma once
// OLE Automation dates (days since 1899-12-30, fraction = time of day) and
// their calendar fields, as VarUdateFromDate and VarDateFromUdate convert them.

#include <optional>
#include <string>

#include "jet/Variant.h"

namespace mivotra {

struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Valid from day -657434 (100-01-01) to 2958465 (9999-12-31); milliseconds are
// dropped, a fraction of a second above one half rounds the second up; for
// negative dates the time of day is the absolute value of the fraction.
std::optional<CalendarTime> CalendarFromDate(DATE date);
// nullopt for fields outside the calendar (month 13, 30 February, year 10000 ...).
std::optional<DATE> DateFromCalendar(int year, int month, int day, int hour = 0, int minute = 0,
                                     int second = 0);

// The engine stores dates as text "YYYY-MM-DD HH:MM:SS" so any SQLite tool reads them.
std::string DateToStorageText(const CalendarTime& time);

}  // namespace mivotra
