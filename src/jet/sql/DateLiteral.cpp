#include "jet/sql/DateLiteral.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "jet/DateTime.h"
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
  CalendarTime fields;
  fields.year = (*date)[0];
  fields.month = (*date)[1];
  fields.day = (*date)[2];
  fields.hour = time[0];
  fields.minute = time[1];
  fields.second = time[2];
  if (!DateFromCalendar(fields.year, fields.month, fields.day, fields.hour, fields.minute,
                        fields.second))
    return std::nullopt;
  return DateToStorageText(fields);
}

}  // namespace mivotra::jet
