#include "jet/CipherFormat.h"

#include <sqlcipher/sqlite3.h>

namespace mivotra::jet {

std::vector<CipherFormat> PossibleCipherFormats(std::uintmax_t size) {
  std::vector<CipherFormat> formats;
  if (size == 0) return formats;
  // What a current main application writes comes first: every SQLCipher 4
  // file and three in four SQLCipher 3 files need one key derivation.
  if (size % 4096 == 0) formats.push_back(CipherFormat::SqlCipher4);
  if (size % 1024 == 0) formats.push_back(CipherFormat::SqlCipher3);
  return formats;
}

int KeyDatabase(sqlite3* db, std::string_view password, CipherFormat format) {
  if (format == CipherFormat::Plain) return SQLITE_OK;
  int rc = sqlite3_key(db, password.data(), static_cast<int>(password.size()));
  if (rc != SQLITE_OK) return rc;
  // SQLCipher starts its log (on standard error) with the first key; from
  // then on the setting holds for the whole process.
  rc = sqlite3_exec(db, "PRAGMA cipher_log_level = NONE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return rc;
  // Named outright rather than left to the library's defaults, which a
  // new SQLCipher generation changes.
  return sqlite3_exec(db,
                      format == CipherFormat::SqlCipher3 ? "PRAGMA cipher_compatibility = 3"
                                                         : "PRAGMA cipher_compatibility = 4",
                      nullptr, nullptr, nullptr);
}

}  // namespace mivotra::jet
