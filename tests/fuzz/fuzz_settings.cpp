// The settings reader on any file, written to disk once per input, and on
// files QSettings itself writes: those must give back exactly the values
// stored (up to a NUL, which a file name or password cannot hold).

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzCheck.h"
#include "target/DatabaseSettings.h"

namespace mivotra {
namespace {

using fuzz::Check;
using fuzz::Shown;

// One folder for the whole run, removed when the fuzzer exits normally. A
// plain array, so no destructor runs before the exit handler that needs it.
// In memory where there is a tmpfs: QSettings' lock file syncs the disk on
// every write, which would make each input cost milliseconds.
char g_folder[64];

std::string Folder() {
  static const bool made = [] {
    bool madeOne = false;
    for (const char* base : {"/dev/shm", "/tmp"}) {
      std::snprintf(g_folder, sizeof g_folder, "%s/mivotra-fuzz-settings-XXXXXX", base);
      if ((madeOne = mkdtemp(g_folder) != nullptr)) break;
    }
    if (!madeOne) fuzz::Fail("a temporary folder");
    std::atexit([] {
      for (const char* file : {"/raw.conf", "/written.conf", "/written.conf.lock"})
        std::remove((std::string(g_folder) + file).c_str());
      rmdir(g_folder);
    });
    return true;
  }();
  return made ? g_folder : "";
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr, "the settings file can be written", path);
  Check(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "written whole", path);
  std::fclose(file);
}

void ReadAnyFile(std::string_view bytes) {
  const std::string path = Folder() + "/raw.conf";
  WriteFile(path, bytes);
  const StoredDatabase stored = ReadDatabaseSettingsFile(path);
  for (const std::string* field : {&stored.FileName, &stored.PathName, &stored.Password}) {
    Check(field->find('\0') == std::string::npos, "no value holds a NUL", Shown(bytes));
  }
  if (!stored.found) {
    Check(stored.FileName.empty() && stored.PathName.empty() && stored.Password.empty(),
          "no group, no values", Shown(bytes));
  }
  if (bytes.find('=') == std::string_view::npos) {
    Check(!stored.found, "a file without '=' holds no value", Shown(bytes));
  }
}

// What QSettings keeps of the bytes: a QString (broken UTF-8 becomes U+FFFD),
// read back up to a NUL.
std::string Expected(const std::string& bytes) {
  std::string kept =
      QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toUtf8().toStdString();
  if (const std::size_t nul = kept.find('\0'); nul != std::string::npos) kept.resize(nul);
  return kept;
}

void ReadWhatQSettingsWrote(FuzzedDataProvider& data) {
  const std::string fileName = data.ConsumeRandomLengthString(200);
  const std::string pathName = data.ConsumeRandomLengthString(200);
  const std::string password = data.ConsumeRemainingBytesAsString();
  const std::string path = Folder() + "/written.conf";
  std::remove(path.c_str());
  {
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    auto set = [&settings](const char* key, const std::string& value) {
      settings.setValue(QString::fromLatin1(key),
                        QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    };
    set("DATABASE/FileName", fileName);
    set("DATABASE/PathName", pathName);
    set("DATABASE/Password", password);
    settings.sync();
    Check(settings.status() == QSettings::NoError, "QSettings wrote the file", path);
  }
  const StoredDatabase stored = ReadDatabaseSettingsFile(path);
  Check(stored.found, "the group QSettings wrote is found");
  Check(stored.FileName == Expected(fileName), "FileName as QSettings stored it",
        Shown(stored.FileName) + " for " + Shown(fileName));
  Check(stored.PathName == Expected(pathName), "PathName as QSettings stored it",
        Shown(stored.PathName) + " for " + Shown(pathName));
  Check(stored.Password == Expected(password), "Password as QSettings stored it",
        Shown(stored.Password) + " for " + Shown(password));
}

}  // namespace
}  // namespace mivotra

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  mivotra::ReadAnyFile(std::string_view(reinterpret_cast<const char*>(bytes), size));
  FuzzedDataProvider data(bytes, size);
  mivotra::ReadWhatQSettingsWrote(data);
  return 0;
}
