#include "jet/sql/Tokenize.h"

#include <algorithm>
#include <array>
#include <optional>

#include "base/Translate.h"
#include "jet/sql/Characters.h"
#include "jet/sql/DateLiteral.h"
#include "jet/sql/SyntaxError.h"

namespace mivotra::jet {

using sql::Excerpt;
using sql::IsDigit;
using sql::IsNameChar;
using sql::IsNameStart;
using sql::IsSpace;
using sql::SyntaxError;

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  const std::size_t n = sql.size();
  auto digitAt = [&](std::size_t j) {
    return j < n && IsDigit(static_cast<unsigned char>(sql[j]));
  };
  while (i < n) {
    const auto c = static_cast<unsigned char>(sql[i]);
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    Token token;
    token.offset = i;
    if (c == '\'') {
      std::string value;
      std::size_t j = i + 1;
      bool closed = false;
      while (j < n && sql[j] != '\0') {
        if (sql[j] == '\'') {
          if (j + 1 < n && sql[j + 1] == '\'') {
            value += '\'';
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        value += sql[j++];
      }
      if (!closed) {
        SyntaxError(
            Format(Tr("engine", "Syntax error in string in query expression '%1' (character %2)."),
                   {Excerpt(sql, i), std::to_string(i + 1)}));
      }
      token.type = TokenType::String;
      token.text = std::move(value);
      i = j;
    } else if (c == '#') {
      const std::size_t close = sql.find('#', i + 1);
      const std::optional<std::string> date =
          close == std::string_view::npos ? std::nullopt
                                          : ParseDateLiteral(sql.substr(i + 1, close - i - 1));
      if (!date) {
        const std::string_view literal =
            close == std::string_view::npos ? sql.substr(i) : sql.substr(i, close - i + 1);
        SyntaxError(
            Format(Tr("engine", "Syntax error in date in query expression '%1' (character %2)."),
                   {Excerpt(literal, 0), std::to_string(i + 1)}));
      }
      token.type = TokenType::Date;
      token.text = *date;
      i = close + 1;
    } else if (IsDigit(c)) {
      std::size_t j = i;
      while (digitAt(j)) ++j;
      if (j < n && sql[j] == '.' && digitAt(j + 1)) {
        ++j;
        while (digitAt(j)) ++j;
      }
      token.type = TokenType::Number;
      token.text = std::string(sql.substr(i, j - i));
      i = j;
    } else if (IsNameStart(c)) {
      std::size_t j = i;
      while (j < n && IsNameChar(static_cast<unsigned char>(sql[j]))) ++j;
      token.type = TokenType::Name;
      token.text = std::string(sql.substr(i, j - i));
      i = j;
    } else {
      static constexpr std::array<std::string_view, 3> kTwoChar = {"<>", "<=", ">="};
      static constexpr std::string_view kOneChar = "<>=(),;";
      token.type = TokenType::Symbol;
      const std::string_view two = sql.substr(i, 2);
      if (std::find(kTwoChar.begin(), kTwoChar.end(), two) != kTwoChar.end()) {
        token.text = std::string(two);
      } else if (kOneChar.find(static_cast<char>(c)) != std::string_view::npos) {
        token.text = std::string(1, static_cast<char>(c));
      } else {
        SyntaxError(Format(Tr("engine", "Invalid character in SQL statement at character %1."),
                           {std::to_string(i + 1)}));
      }
      i += token.text.size();
    }
    token.length = i - token.offset;
    tokens.push_back(std::move(token));
  }
  Token end;
  end.offset = n;
  tokens.push_back(std::move(end));
  return tokens;
}

}  // namespace mivotra::jet
