#include "jet/ConnectionString.h"

#include <cctype>
#include <string>

#include "base/Translate.h"
#include "jet/ComError.h"
#include "jet/Sources.h"

namespace mivotra {
namespace {

// The fault names what is wrong and where, never the text around it: the
// string carries the database password.
[[noreturn]] void ThrowFormatFault(const std::string& fault, std::size_t position) {
  std::string description =
      Format(Tr("engine",
                "Format of the initialization string does not conform to the OLE DB rules. (%1 at "
                "character %2.)"),
             {fault, std::to_string(position + 1)});
  throw ComError(E_Fail, ErrorInfo{std::string(jet::kEngineSource), std::move(description)});
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace

std::string BuildConnectionString(std::string_view pathName, std::string_view fileName,
                                  std::string_view password, std::string_view extension) {
  std::string text = "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=";
  const std::string source = std::string(pathName) + std::string(fileName) + std::string(extension);
  // A folder with ';' (or leading blanks or a leading quote) would end the
  // value early, and a leading '=' would read as "==", a literal '=' in the
  // key; only then is it quoted, so ordinary paths read as before.
  const bool needsQuotes = source.find(';') != std::string::npos || IsBlank(source.front()) ||
                           IsBlank(source.back()) || source.front() == '\'' ||
                           source.front() == '"' || source.front() == '=';
  if (needsQuotes) {
    text += '"';
    for (char c : source) {
      text += c;
      if (c == '"') text += '"';
    }
    text += '"';
  } else {
    text += source;
  }
  text += ";Jet OLEDB:Database Password='";
  // Doubled, so a quote in the password does not end the value early.
  for (char c : password) {
    text += c;
    if (c == '\'') text += '\'';
  }
  text += "';";
  return text;
}

std::map<std::string, std::string> ParseConnectionString(std::string_view text) {
  std::map<std::string, std::string> pairs;
  std::size_t pos = 0;
  while (pos < text.size()) {
    // The key runs to the first '=' that is not doubled.
    const std::size_t keyStart = pos;
    std::string key;
    bool sawEquals = false;
    while (pos < text.size()) {
      const char c = text[pos];
      if (c == '=') {
        if (pos + 1 < text.size() && text[pos + 1] == '=') {
          key += '=';
          pos += 2;
          continue;
        }
        sawEquals = true;
        ++pos;
        break;
      }
      if (c == ';') break;
      key += c;
      ++pos;
    }
    if (!sawEquals) {
      if (!Trim(key).empty()) ThrowFormatFault(Tr("engine", "a key without '='"), keyStart);
      ++pos;  // an empty entry between two semicolons, or trailing blanks
      continue;
    }
    const std::string_view trimmedKey = Trim(key);
    if (trimmedKey.empty()) ThrowFormatFault(Tr("engine", "a value without a key"), keyStart);

    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    std::string value;
    if (pos < text.size() && (text[pos] == '\'' || text[pos] == '"')) {
      const char quote = text[pos];
      const std::size_t quoteStart = pos;
      ++pos;
      bool closed = false;
      while (pos < text.size()) {
        if (text[pos] == quote) {
          if (pos + 1 < text.size() && text[pos + 1] == quote) {
            value += quote;
            pos += 2;
            continue;
          }
          closed = true;
          ++pos;
          break;
        }
        value += text[pos++];
      }
      if (!closed) ThrowFormatFault(Tr("engine", "an unterminated quoted value"), quoteStart);
      while (pos < text.size() && IsBlank(text[pos])) ++pos;
      if (pos < text.size() && text[pos] != ';') {
        ThrowFormatFault(Tr("engine", "text after a quoted value"), pos);
      }
    } else {
      const std::size_t end = text.find(';', pos);
      const std::size_t stop = end == std::string_view::npos ? text.size() : end;
      value = Trim(text.substr(pos, stop - pos));
      pos = stop;
    }
    ++pos;  // the ';' (or past the end)
    pairs[Lower(trimmedKey)] = std::move(value);
  }
  return pairs;
}

}  // namespace mivotra
