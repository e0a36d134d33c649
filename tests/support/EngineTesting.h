#pragma once
// Helpers shared by the engine's tests: new database files, connections,
// capturing the ComError of a call, reading single values.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"
#include "jet/Catalog.h"
#include "jet/ComError.h"
#include "jet/ConnectionString.h"
#include "jet/Engine.h"

namespace mivotra::test {

std::string ConnectionStringFor(const std::filesystem::path& file, const std::string& password);

ConnectionPtr NewConnection();

ConnectionPtr Open(const std::filesystem::path& file, const std::string& password = "");

// A new database file, opened.
ConnectionPtr Create(const std::filesystem::path& file, const std::string& password = "");

// The ComError a call raises; a failed expectation when it raises none.
ComError ErrorOf(const std::function<void()>& call);

bool Contains(const std::string& text, const std::string& part);

void Exec(Connection& db, const std::string& sql);

// The named column of the first row, read through the engine.
Variant Scalar(Connection& db, const std::string& sql, std::string_view column);

// Every row of any SQLite query, read past the engine (RawDatabase::Rows).
std::vector<std::string> Rows(const std::filesystem::path& file, const std::string& password,
                              const std::string& sql);

// Runs SQL the programs never send (DELETE, DROP) past the engine.
void RawExec(const std::filesystem::path& file, const std::string& password,
             const std::string& sql);

}  // namespace mivotra::test
