#pragma once
// The on-disk formats of an encrypted database. The main application may have
// written either SQLCipher generation's defaults; a file is always read and
// written in the format it already has, never converted, so that the program
// that made it still reads it.

#include <cstdint>
#include <string_view>
#include <vector>

struct sqlite3;

namespace mivotra::jet {

enum class CipherFormat {
  Plain,       // an ordinary SQLite file
  SqlCipher4,  // 4,096-byte pages, PBKDF2-HMAC-SHA512 with 256,000 iterations
  SqlCipher3,  // 1,024-byte pages, PBKDF2-HMAC-SHA1 with 64,000 iterations
};

// The formats an encrypted file of `size` bytes can have, the likelier
// first. A file is a whole number of pages, so a size that 4,096 does not
// divide rules out SQLCipher 4 (and its key derivation, the dearer one).
std::vector<CipherFormat> PossibleCipherFormats(std::uintmax_t size);

// Gives a connection its password and format; nothing is read or derived
// until the first page is. Returns SQLite's result code. SQLCipher's own log
// is switched off: the program reports failures in its own words.
int KeyDatabase(sqlite3* db, std::string_view password, CipherFormat format);

}  // namespace mivotra::jet
