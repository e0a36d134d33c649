#pragma once
// The Jet SQL tokenizer.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mivotra::jet {

enum class TokenType {
  Name,    // a bare name or keyword, as written
  String,  // 'text', the value with doubled quotes undone
  Number,  // digits as written, with a fraction or without
  Date,    // #date#, already in the storage form "YYYY-MM-DD HH:MM:SS"
  Symbol,  // operator or punctuation: <> <= >= < > = ( ) , ;
  End,
};

struct Token {
  TokenType type = TokenType::End;
  std::string text;
  std::size_t offset = 0;  // byte offset in the statement
  std::size_t length = 0;  // bytes the token takes in the statement
};

// Splits a statement into tokens, ending with one End token. Throws ComError
// DB_E_Syntax for an unclosed string, a bad date or a stray character.
std::vector<Token> Tokenize(std::string_view sql);

}  // namespace mivotra::jet
