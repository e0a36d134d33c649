#pragma once
// Creating a new, empty database file (ADOX's Catalog.Create): the only way
// the engine ever makes a file. Connections open existing files only.

#include <string>

namespace mivotra {

// Creates `file`, encrypted with `password` (empty: a plain file). Refuses a
// file that exists; leaves nothing behind on failure. Throws ComError.
void CreateDatabase(const std::string& file, const std::string& password);

}  // namespace mivotra
