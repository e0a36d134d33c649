#pragma once
// Opening a database file: what it is (plain, encrypted, something else) is
// read from the file before SQLite may touch it, so that SQLite never makes
// a database of a missing or foreign file; then the key, a first read that
// proves it, and the engine's pragmas and functions.

#include <memory>
#include <string>

#include "jet/Session.h"

namespace mivotra::jet {

std::shared_ptr<Session> OpenSqliteDatabase(const std::string& file, const std::string& password);

}  // namespace mivotra::jet
