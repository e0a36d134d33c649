// Opening a database of each format through the engine, against one
// SQLCipher open of the same file with its format known beforehand (the
// least any reader pays: one key derivation and a first page). The engine
// tries SQLCipher 4's settings before SQLCipher 3's, except where the file's
// size rules SQLCipher 4 out, so only a SQLCipher 3 file whose size 4,096
// divides pays for two derivations.
//
//   bench_open_formats [--runs N] FOLDER
//
// Prints one line per format: the medians of both sides and their ratio.

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/Catalog.h"
#include "jet/CipherFormat.h"
#include "jet/ComError.h"
#include "jet/ConnectionString.h"
#include "jet/Engine.h"

namespace {

namespace fs = std::filesystem;
using mivotra::jet::CipherFormat;
using Clock = std::chrono::steady_clock;

constexpr char kPassword[] = "bench'password";

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

mivotra::ConnectionPtr Open(const fs::path& file, const std::string& password) {
  mivotra::ConnectionPtr db;
  if (mivotra::CreateConnection(db) != mivotra::S_Ok)
    throw mivotra::ComError(mivotra::E_OutOfMemory);
  db->Open(mivotra::BuildConnectionString(file.parent_path().string() + "/", file.stem().string(),
                                          password));
  return db;
}

// A small database of `format`, grown until 4,096 divides its size or not.
void Make(const fs::path& file, CipherFormat format, bool wholeSqlcipher4Pages) {
  const std::string password = format == CipherFormat::Plain ? "" : kPassword;
  mivotra::CreateDatabase(file.string(), password, format);
  auto db = Open(file, password);
  db->Execute("CREATE TABLE t_pad (id INTEGER PRIMARY KEY, pad VARCHAR(255))", nullptr);
  for (int id = 1; id < 40 || (fs::file_size(file) % 4096 == 0) != wholeSqlcipher4Pages; ++id) {
    db->Execute(
        "INSERT INTO t_pad VALUES (" + std::to_string(id) + ", '" + std::string(250, 'x') + "')",
        nullptr);
  }
  db->Close();
}

double EngineOpen(const fs::path& file, const std::string& password, bool expectRefusal) {
  const auto start = Clock::now();
  try {
    Open(file, password)->Close();
    if (expectRefusal) throw std::runtime_error("a wrong password opened " + file.string());
  } catch (const mivotra::ComError& error) {
    if (!expectRefusal) throw;
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double KnownFormatOpen(const fs::path& file, CipherFormat format) {
  const auto start = Clock::now();
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  mivotra::jet::KeyDatabase(db, kPassword, format);
  const int rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("the known format did not open " + file.string());
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 9;
  fs::path folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      folder = argv[i];
    }
  }
  if (folder.empty()) {
    std::fprintf(stderr, "usage: bench_open_formats [--runs N] FOLDER\n");
    return 2;
  }
  struct Case {
    const char* title;
    const char* name;
    CipherFormat format;
    bool wholeSqlcipher4Pages;
    bool wrongPassword;
  };
  const Case cases[] = {
      {"plain", "plain.mdb", CipherFormat::Plain, true, false},
      {"SQLCipher 4", "sqlcipher4.mdb", CipherFormat::SqlCipher4, true, false},
      {"SQLCipher 3, size not a multiple of 4096", "sqlcipher3.mdb", CipherFormat::SqlCipher3,
       false, false},
      {"SQLCipher 3, size a multiple of 4096", "sqlcipher3-4k.mdb", CipherFormat::SqlCipher3, true,
       false},
      {"wrong password, size a multiple of 4096", "sqlcipher4.mdb", CipherFormat::SqlCipher4, true,
       true},
  };
  try {
    for (const Case& c : cases) {
      const fs::path file = folder / c.name;
      if (!fs::exists(file)) Make(file, c.format, c.wholeSqlcipher4Pages);
      const std::string password = c.format == CipherFormat::Plain ? ""
                                   : c.wrongPassword               ? "not the password"
                                                                   : kPassword;
      std::vector<double> ours, known;
      for (int run = 0; run < runs; ++run) {
        ours.push_back(EngineOpen(file, password, c.wrongPassword));
        known.push_back(KnownFormatOpen(file, c.format));
      }
      const double a = Median(ours);
      const double b = Median(known);
      std::printf("open, %s: ours %.1f ms, one open of the known format %.1f ms, ratio %.2f\n",
                  c.title, a, b, a / b);
    }
  } catch (const mivotra::ComError& error) {
    std::fprintf(stderr, "bench_open_formats: %s\n", error.Description().c_str());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_open_formats: %s\n", error.what());
    return 2;
  }
  return 0;
}
