#pragma once
// A reader over one statement's tokens for the recursive descent: look
// ahead, take what is expected, and fail with the statement's context and
// the place where reading stopped.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/sql/Tokenize.h"

namespace mivotra::jet::sql {

class TokenCursor {
 public:
  explicit TokenCursor(std::string_view sql);

  const Token& Peek(std::size_t ahead = 0) const;
  const Token& Next();
  // One token back, for a caller that looked by taking.
  void Back();

  bool IsWord(std::string_view word, std::size_t ahead = 0) const;
  bool AcceptWord(std::string_view word);
  void ExpectWord(std::string_view word);
  bool IsSymbol(std::string_view symbol, std::size_t ahead = 0) const;
  bool AcceptSymbol(std::string_view symbol);
  void ExpectSymbol(std::string_view symbol);

  // A name that is no reserved word.
  bool AtName(std::size_t ahead = 0) const;
  std::string ReadName();
  // ( name, name, ... )
  std::vector<std::string> NameList();
  std::int64_t ReadInteger();

  // The first sentence of every syntax message from here on, as Jet words it
  // for the clause being read ("Syntax error in FROM clause.").
  void SetContext(std::string context) { m_context = std::move(context); }
  [[noreturn]] void Fail(std::string_view detail = {}) const;

 private:
  std::string_view m_sql;
  std::vector<Token> m_tokens;
  std::size_t m_pos = 0;
  std::string m_context;
};

}  // namespace mivotra::jet::sql
