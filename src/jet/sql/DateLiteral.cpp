#include "jet/sql/DateLiteral.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "jet/sql/Characters.h"

namespace mivotra::jet {
namespace {

// The numbers of `text` between `separator`s: at least `required` and at
// most one for each of `maxDigits`, the i-th of 1 to maxDigits[i] digits.
std::optional<std::vector<int>> Fields(std::string_view text, char separator,
                                       const std::vector<std::size_t>& maxDigits,
                                       std::size_t required) {
  std::vector<int> values;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(text.find(separator, start), text.size());
    const std::string_view digits = text.substr(start, end - start);
    if (values.size() == maxDigits.size() || !sql::AllDigits(digits) ||
        digits.size() > maxDigits[values.size()])
      return std::nullopt;
    int value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    values.push_back(value);
    if (end == text.size()) break;
    start = end + 1;
  }
  if (values.size() < required) return std::nullopt;
  return values;
}

// Jet's calendar: the Gregorian one from the year 100 to 9999.
bool IsCalendarTime(int year, int month, int day, int hour, int minute, int second) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 100 || year > 9999 || month < 1 || month > 12) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int days = month == 2 && leap ? 29 : kDays[month - 1];
  return day >= 1 && day <= days && hour <= 23 && minute <= 59 && second <= 59;
}

}  // namespace

std::optional<std::string> ParseDateLiteral(std::string_view text) {
  const std::size_t blank = text.find(' ');
  const std::string_view datePart = text.substr(0, blank);
  const auto date = Fields(datePart, '/', {4, 2, 2}, 3);
  // Year first, in four digits: the only order that no locale reads otherwise.
  if (!date || datePart.find('/') != 4) return std::nullopt;
  std::vector<int> time = {0, 0, 0};
  if (blank != std::string_view::npos) {
    const auto clock = Fields(text.substr(blank + 1), ':', {2, 2, 2}, 2);
    if (!clock) return std::nullopt;
    for (std::size_t i = 0; i < clock->size(); ++i) time[i] = (*clock)[i];
  }
  const int year = (*date)[0], month = (*date)[1], day = (*date)[2];
  if (!IsCalendarTime(year, month, day, time[0], time[1], time[2])) return std::nullopt;
  // Stored as text "YYYY-MM-DD HH:MM:SS", so that any SQLite tool reads it.
  char stored[80];  // room for any int, so that the compiler sees no truncation
  std::snprintf(stored, sizeof stored, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, time[0],
                time[1], time[2]);
  return stored;
}

}  // namespace mivotra::jet
