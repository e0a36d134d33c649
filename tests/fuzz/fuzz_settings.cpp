// The settings reader on any settings file, written to disk once per input,
// and on files QSettings itself writes: those must give back exactly the
// values stored (up to a NUL, which a file name or password cannot hold).

#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "target/DatabaseSettings.h"

namespace mivotra {
namespace {

using fuzz::Check;
using fuzz::Shown;

// One folder for the whole run, XDG_CONFIG_HOME, removed when the fuzzer
// exits normally. A plain array, so no destructor runs before the exit
// handler that needs it. In memory where there is a tmpfs: QSettings' lock
// file syncs the disk on every write, which would make each input cost
// milliseconds.
char g_folder[64];

std::string Folder() {
  static const bool made = [] {
    bool madeOne = false;
    for (const char* base : {"/dev/shm", "/tmp"}) {
      std::snprintf(g_folder, sizeof g_folder, "%s/mivotra-fuzz-settings-XXXXXX", base);
      if ((madeOne = mkdtemp(g_folder) != nullptr)) break;
    }
    if (!madeOne) fuzz::Fail("a temporary folder");
    mkdir((std::string(g_folder) + "/MIVOTRA").c_str(), 0700);
    setenv("XDG_CONFIG_HOME", g_folder, 1);
    std::atexit([] {
      for (const char* file : {"/MIVOTRA/MIVOTRA.conf", "/written.conf", "/written.conf.lock"})
        std::remove((std::string(g_folder) + file).c_str());
      rmdir((std::string(g_folder) + "/MIVOTRA").c_str());
      rmdir(g_folder);
    });
    return true;
  }();
  return made ? g_folder : "";
}

std::string SettingsFile() {
  return Folder() + "/MIVOTRA/MIVOTRA.conf";
}

// Gives the settings file a modification time of its own: QSettings reads a
// file again only when its size or time changed, and inputs follow each other
// within one tick of the clock.
void GiveItsOwnTime(const std::string& path) {
  static long writes = 0;
  ++writes;
  const struct timespec times[2] = {{writes, 0}, {writes, 0}};
  Check(utimensat(AT_FDCWD, path.c_str(), times, 0) == 0, "its time can be set", path);
}

void ReadAnyFile(std::string_view bytes) {
  {
    std::ofstream file(SettingsFile(), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Check(file.good(), "the settings file can be written", SettingsFile());
  }
  GiveItsOwnTime(SettingsFile());
  const StoredDatabase stored = ReadDatabaseSettings();
  for (const std::string* field : {&stored.FileName, &stored.PathName, &stored.Password}) {
    Check(field->find('\0') == std::string::npos, "no value holds a NUL", Shown(bytes));
  }
  if (!stored.found) {
    Check(stored.FileName.empty() && stored.PathName.empty() && stored.Password.empty(),
          "no group, no values", Shown(bytes));
  } else {
    Check(stored.unusable.empty(), "values taken are not also refused", Shown(bytes));
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

// Without U+FEFF: QSettings loses it at the start of some pieces of a value
// on the way to the file or back (Qt 6.4), and the main application with it.
std::string WithoutByteOrderMarks(std::string bytes) {
  for (std::size_t at; (at = bytes.find("\xEF\xBB\xBF")) != std::string::npos;) bytes.erase(at, 3);
  return bytes;
}

void ReadWhatQSettingsWrote(FuzzedDataProvider& data) {
  const std::string fileName = WithoutByteOrderMarks(data.ConsumeRandomLengthString(200));
  const std::string pathName = WithoutByteOrderMarks(data.ConsumeRandomLengthString(200));
  const std::string password = WithoutByteOrderMarks(data.ConsumeRemainingBytesAsString());
  // Written elsewhere, then moved there: the process that writes a file
  // keeps what it wrote, and would not read the file again.
  const std::string path = Folder() + "/written.conf";
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
  Check(std::rename(path.c_str(), SettingsFile().c_str()) == 0, "the file moved", path);
  GiveItsOwnTime(SettingsFile());
  const StoredDatabase stored = ReadDatabaseSettings();
  Check(stored.found, "the group QSettings wrote is found", stored.unusable);
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
