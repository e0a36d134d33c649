#pragma once
// OLE Automation dates (days since 1899-12-30, fraction = time of day) as
// their calendar fields, as VarUdateFromDate converts them: the value text of
// a VT_DATE.

#include <optional>

#include "jet/Variant.h"

namespace mivotra {

struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Valid from day -657434 (100-01-01) to 2958465 (9999-12-31); milliseconds are
// dropped, a fraction of a second above one half rounds the second up; for
// negative dates the time of day is the absolute value of the fraction.
std::optional<CalendarTime> CalendarFromDate(DATE date);

}  // namespace mivotra
