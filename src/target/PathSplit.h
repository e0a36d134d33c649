#pragma once
// Splitting the path the open-file dialog returns into the database's folder
// and its name without the extension.

#include <string>
#include <string_view>

namespace mivotra {

struct ChosenPath {
  std::string PathName;   // folder, ending with '/'; empty when the path names no folder
  std::string FileName;   // name without its extension
  std::string Extension;  // what was dropped, dot included; empty when none
};

// The extension the database file is opened with: the chosen file's own
// spelling when it is ".mdb" in any letter case (".MDB", ".Mdb"), which a
// case-sensitive file system needs; ".mdb" for any other.
std::string DatabaseExtensionOf(const ChosenPath& chosen);

// Only '/' separates folders. The extension runs from the last dot of the
// name to its end and is dropped whatever it is; a dot that begins the name
// (".hidden", "..") starts no extension. Bytes other than '/' and '.' pass
// through unchanged, so UTF-8 names keep every character.
ChosenPath SplitChosenPath(std::string_view fullPath);

}  // namespace mivotra
