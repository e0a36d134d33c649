#include "jet/sql/DateLiteral.h"

#include <array>
#include <charconv>
#include <vector>

#include "jet/DateTime.h"
#include "jet/sql/Characters.h"
#include "jet/sql/SqlText.h"

namespace mivotra::jet {
namespace {

using sql::AllDigits;
using sql::IsSpace;

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsSpace(static_cast<unsigned char>(text[i]))) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

std::optional<int> SmallNumber(std::string_view digits, std::size_t maxDigits) {
  if (!AllDigits(digits) || digits.size() > maxDigits) return std::nullopt;
  int value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

bool ParseDatePart(std::string_view word, int& year, int& month, int& day) {
  const char separator = word.find('/') != std::string_view::npos ? '/' : '-';
  std::array<std::string_view, 3> fields;
  std::size_t start = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const std::size_t end = k < 2 ? word.find(separator, start) : word.size();
    if (end == std::string_view::npos) return false;
    fields[k] = word.substr(start, end - start);
    start = end + 1;
  }
  if (fields[2].find(separator) != std::string_view::npos) return false;
  // Four digits first: year/month/day; otherwise Jet reads US order, whatever the locale.
  const bool yearFirst = fields[0].size() >= 3;
  const auto y = SmallNumber(yearFirst ? fields[0] : fields[2], 4);
  const auto m = SmallNumber(yearFirst ? fields[1] : fields[0], 2);
  const auto d = SmallNumber(yearFirst ? fields[2] : fields[1], 2);
  if (!y || !m || !d) return false;
  year = *y;
  const std::size_t yearDigits = (yearFirst ? fields[0] : fields[2]).size();
  if (yearDigits <= 2) year += year < 30 ? 2000 : 1900;  // Jet's two-digit year window
  month = *m;
  day = *d;
  return true;
}

bool ParseTimePart(std::string_view word, int& hour, int& minute, int& second) {
  const std::size_t first = word.find(':');
  if (first == std::string_view::npos) return false;
  const std::size_t secondColon = word.find(':', first + 1);
  const auto h = SmallNumber(word.substr(0, first), 2);
  const auto m = SmallNumber(
      word.substr(first + 1, secondColon == std::string_view::npos ? std::string_view::npos
                                                                   : secondColon - first - 1),
      2);
  std::optional<int> s = 0;
  if (secondColon != std::string_view::npos) s = SmallNumber(word.substr(secondColon + 1), 2);
  if (!h || !m || !s) return false;
  hour = *h;
  minute = *m;
  second = *s;
  return true;
}

}  // namespace

std::optional<std::string> ParseDateLiteral(std::string_view text) {
  const auto words = SplitWords(text);
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  std::size_t i = 0;
  bool any = false;
  if (i < words.size() && words[i].find(':') == std::string_view::npos) {
    if (!ParseDatePart(words[i], year, month, day)) return std::nullopt;
    ++i;
    any = true;
  }
  if (i < words.size() && words[i].find(':') != std::string_view::npos) {
    if (!ParseTimePart(words[i], hour, minute, second)) return std::nullopt;
    ++i;
    any = true;
    if (i < words.size() && (EqualsNoCase(words[i], "AM") || EqualsNoCase(words[i], "PM"))) {
      if (hour < 1 || hour > 12) return std::nullopt;
      const bool pm = EqualsNoCase(words[i], "PM");
      hour = hour % 12 + (pm ? 12 : 0);
      ++i;
    }
  }
  if (!any || i != words.size()) return std::nullopt;
  if (!DateFromCalendar(year, month, day, hour, minute, second)) return std::nullopt;
  CalendarTime time;
  time.year = year;
  time.month = month;
  time.day = day;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  return DateToStorageText(time);
}

}  // namespace mivotra::jet
