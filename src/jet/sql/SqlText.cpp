#include "jet/sql/SqlText.h"

#include <algorithm>

namespace mivotra::jet {
namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string QuoteName(std::string_view name) {
  // Not "name": SQLite reads a double-quoted name that matches no column as
  // a string, which would turn a misspelt field into a constant.
  std::string out = "`";
  for (char c : name) {
    if (c == '`') out += '`';
    out += c;
  }
  return out + "`";
}

std::string QuoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

std::string JoinQuoted(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& name : names) {
    if (!out.empty()) out += ", ";
    out += QuoteName(name);
  }
  return out;
}

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = Lower(c);
  return folded;
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace mivotra::jet
