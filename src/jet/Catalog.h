#pragma once
// Creating a new, empty database file (ADOX's Catalog.Create): the only way
// the engine ever makes a file. Connections open existing files only.

#include <string>

#include "jet/CipherFormat.h"

namespace mivotra {

// Creates `file`, encrypted with `password` in `format` (empty password: a
// plain file). Refuses a file that exists; leaves nothing behind on failure.
// Throws ComError.
void CreateDatabase(const std::string& file, const std::string& password,
                    jet::CipherFormat format = jet::CipherFormat::SqlCipher4);

}  // namespace mivotra
