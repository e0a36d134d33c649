#pragma once
// Where the main application keeps its database: the group DATABASE of its
// settings, QSettings("MIVOTRA", "MIVOTRA"). This tool only reads them.

#include <string>

namespace mivotra {

struct StoredDatabase {
  std::string FileName;  // name of the database file without ".mdb"
  std::string PathName;  // its folder, taken as stored
  std::string Password;  // database password, possibly empty
  bool found = false;    // the settings hold a DATABASE group
};

// The settings file QSettings("MIVOTRA", "MIVOTRA") uses for the current user:
// $XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf (~/.config when unset), looked up
// anew on every call.
std::string DatabaseSettingsFile();

// Reads FileName, PathName and Password of the group DATABASE from the
// current settings file. An absent value gives an empty field; an absent or
// unreadable file, or one without the group, gives found == false. Values are
// taken whole, however long, and come back as the text the user stored: a
// value QSettings would turn into a list ("a, b") or another type comes back
// as it stands in the file, and bytes that are not UTF-8 are kept as they are.
// Text after a NUL character is dropped.
StoredDatabase ReadDatabaseSettings();

// The same, from a settings file in QSettings' INI format at the given path.
StoredDatabase ReadDatabaseSettingsFile(const std::string& path);

}  // namespace mivotra
