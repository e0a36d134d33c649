#include "target/PathSplit.h"

#include <cctype>

namespace mivotra {

ChosenPath SplitChosenPath(std::string_view fullPath) {
  // '/' and '.' are ASCII and never occur inside a UTF-8 multi-byte
  // character, so a byte search cannot cut a character in half.
  const std::size_t slash = fullPath.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view folder = fullPath.substr(0, nameStart);
  std::string_view name = fullPath.substr(nameStart);

  std::string_view extension;
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && name != "..") {
    extension = name.substr(dot);
    name = name.substr(0, dot);
  }

  ChosenPath chosen{std::string(folder), std::string(name), std::string(extension)};
  if (!chosen.PathName.empty() && chosen.PathName.back() != '/') chosen.PathName += '/';
  return chosen;
}

std::string DatabaseExtensionOf(const ChosenPath& chosen) {
  const std::string_view wanted = ".mdb";
  const std::string& own = chosen.Extension;
  if (own.size() != wanted.size()) return std::string(wanted);
  for (std::size_t i = 0; i < own.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(own[i])) != wanted[i]) return std::string(wanted);
  }
  return own;
}

}  // namespace mivotra
