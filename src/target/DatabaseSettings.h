#pragma once
// Where the main application keeps its database: the group DATABASE of its
// settings, QSettings("MIVOTRA", "MIVOTRA"). This tool reads them through
// QSettings itself, so that it takes exactly what the main application takes,
// and never writes them.

#include <string>

namespace mivotra {

struct StoredDatabase {
  std::string FileName;  // name of the database file without ".mdb"
  std::string PathName;  // its folder, taken as stored
  std::string Password;  // database password, possibly empty
  bool found = false;    // the settings hold a DATABASE group whose values are texts
  // Why settings that are there name no database: a value QSettings does not
  // give as text, or a settings file that cannot be read. Empty otherwise.
  std::string unusable;
};

// The settings file QSettings("MIVOTRA", "MIVOTRA") uses for the current user:
// $XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf (~/.config when unset), looked up
// anew on every call.
std::string DatabaseSettingsFile();

// Reads FileName, PathName and Password of the group DATABASE as
// QSettings("MIVOTRA", "MIVOTRA") gives them: from the current settings file
// and the fallbacks QSettings reads after it (MIVOTRA.conf beside the MIVOTRA
// folder, then the system's in /etc/xdg). An absent value gives an empty
// field, and text after a NUL is dropped. When one of the three is no text (a
// list, an invalid value, a byte array or any other type), or the user's file
// is not a regular file, nothing is taken: found == false and `unusable` says
// why. QSettings keeps what it read for the life of the process and reads a
// file again only when its size or modification time changed.
StoredDatabase ReadDatabaseSettings();

}  // namespace mivotra
