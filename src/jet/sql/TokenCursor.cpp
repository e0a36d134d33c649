#include "jet/sql/TokenCursor.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <utility>

#include "base/Translate.h"
#include "jet/sql/Characters.h"
#include "jet/sql/SqlText.h"
#include "jet/sql/SyntaxError.h"

namespace mivotra::jet::sql {
namespace {

// The words of the statements this front end reads: as bare names they are
// never taken for a table, column or alias.
constexpr std::array<std::string_view, 22> kReserved = {
    "AND",  "AS",    "CONSTRAINT", "CREATE", "DEFAULT", "FROM",    "INDEX",      "INSERT",
    "INTO", "KEY",   "NOT",        "NULL",   "ON",      "PRIMARY", "REFERENCES", "SELECT",
    "SET",  "TABLE", "UNIQUE",     "UPDATE", "VALUES",  "WHERE",
};

bool IsReserved(std::string_view word) {
  const std::string upper = Upper(word);
  return std::find(kReserved.begin(), kReserved.end(), upper) != kReserved.end();
}

}  // namespace

TokenCursor::TokenCursor(std::string_view sql) : m_sql(sql), m_tokens(Tokenize(sql)) {}

const Token& TokenCursor::Peek(std::size_t ahead) const {
  return m_tokens[std::min(m_pos + ahead, m_tokens.size() - 1)];
}

const Token& TokenCursor::Next() {
  const Token& token = Peek();
  if (m_pos < m_tokens.size() - 1) ++m_pos;
  return token;
}

void TokenCursor::Back() {
  if (m_pos > 0) --m_pos;
}

bool TokenCursor::IsWord(std::string_view word, std::size_t ahead) const {
  const Token& token = Peek(ahead);
  return token.type == TokenType::Name && EqualsNoCase(token.text, word);
}

bool TokenCursor::AcceptWord(std::string_view word) {
  if (!IsWord(word)) return false;
  Next();
  return true;
}

void TokenCursor::ExpectWord(std::string_view word) {
  if (!AcceptWord(word)) Fail(Format(Tr("engine", "Expected %1."), {word}));
}

bool TokenCursor::IsSymbol(std::string_view symbol, std::size_t ahead) const {
  const Token& token = Peek(ahead);
  return token.type == TokenType::Symbol && token.text == symbol;
}

bool TokenCursor::AcceptSymbol(std::string_view symbol) {
  if (!IsSymbol(symbol)) return false;
  Next();
  return true;
}

void TokenCursor::ExpectSymbol(std::string_view symbol) {
  if (!AcceptSymbol(symbol)) Fail(Format(Tr("engine", "Expected '%1'."), {symbol}));
}

void TokenCursor::Fail(std::string_view detail) const {
  // Whole sentences, one after another: English puts a space between
  // them, Japanese none.
  auto then = [](const std::string& first, std::string_view next) {
    return Format(Tr("engine", "%1 %2"), {first, next});
  };
  std::string message = m_context.empty() ? Tr("engine", "Syntax error.") : m_context;
  if (!detail.empty()) message = then(message, detail);
  const Token& token = Peek();
  if (token.type == TokenType::End) {
    message = then(message, Tr("engine", "The statement ends too early."));
  } else {
    message =
        then(message, Format(Tr("engine", "Near '%1' (character %2)."),
                             {Excerpt(m_sql, token.offset), std::to_string(token.offset + 1)}));
  }
  SyntaxError(std::move(message));
}

bool TokenCursor::AtName(std::size_t ahead) const {
  const Token& token = Peek(ahead);
  return token.type == TokenType::Name && !IsReserved(token.text);
}

std::string TokenCursor::ReadName() {
  if (!AtName()) Fail(Tr("engine", "Expected a name."));
  return Next().text;
}

std::vector<std::string> TokenCursor::NameList() {
  std::vector<std::string> names;
  ExpectSymbol("(");
  do {
    names.push_back(ReadName());
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  return names;
}

std::int64_t TokenCursor::ReadInteger() {
  const Token& token = Peek();
  std::int64_t value = 0;
  if (token.type != TokenType::Number || !AllDigits(token.text) ||
      std::from_chars(token.text.data(), token.text.data() + token.text.size(), value).ec !=
          std::errc()) {
    Fail(Tr("engine", "Expected a whole number."));
  }
  Next();
  return value;
}

}  // namespace mivotra::jet::sql
