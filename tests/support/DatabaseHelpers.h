#pragma once
// Reading a test database back through the engine.

#include <filesystem>
#include <string>
#include <vector>

#include "jet/Engine.h"

namespace mivotra::test {

// An open connection to `file` with `password`.
ConnectionPtr OpenDatabase(const std::filesystem::path& file, const std::string& password = "");

// Every value of the one column a query selects (a field, or an expression
// named with AS), as VariantToText shows it.
std::vector<std::string> QueryColumn(Connection& db, const std::string& sql);
std::string QueryText(Connection& db, const std::string& sql);

// A stable picture of the whole database: every table's schema and rows, to
// show that a failed run changed nothing.
std::string DatabaseFingerprint(const std::filesystem::path& file,
                                const std::string& password = "");

}  // namespace mivotra::test
