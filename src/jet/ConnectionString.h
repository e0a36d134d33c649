#pragma once
// The OLE DB connection string: built for the target database, parsed by the engine.

#include <map>
#include <string>
#include <string_view>

namespace mivotra {

// "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + pathName + fileName +
// extension + ";Jet OLEDB:Database Password='" + password + "';" with every '
// of the password doubled, so the engine receives the password as stored.
// The extension is ".mdb" unless a file chosen as ".MDB" (or any other case)
// keeps its own spelling, which a case-sensitive file system needs.
std::string BuildConnectionString(std::string_view pathName, std::string_view fileName,
                                  std::string_view password, std::string_view extension = ".mdb");

// Parses "key=value;..." by the OLE DB rules: keys are trimmed and compared
// without regard to case (the map holds them lower-cased); values are trimmed,
// or quoted with ' or " (a doubled quote inside stands for one); "==" in a key
// is a literal "=". The last occurrence of a key wins. Throws ComError
// (E_Fail, naming the fault but never the values) on a malformed string.
std::map<std::string, std::string> ParseConnectionString(std::string_view text);

}  // namespace mivotra
