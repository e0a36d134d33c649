#pragma once
// The program's texts are UTF-8 std::strings; Qt's are QStrings.

#include <QString>
#include <string_view>

namespace mivotra {

inline QString QtText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace mivotra
