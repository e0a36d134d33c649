#include "SessionFixture.h"

#include <chrono>
#include <cstdlib>

#include "res/Texts.h"

namespace mivotra::test {

void WriteSettingsFile(const std::filesystem::path& configHome, const std::string& bytes) {
  static int writes = 0;
  const std::filesystem::path file = configHome / "MIVOTRA" / "MIVOTRA.conf";
  std::filesystem::create_directories(file.parent_path());
  WriteFile(file, bytes);
  std::filesystem::last_write_time(
      file, std::filesystem::file_time_type::clock::now() + std::chrono::milliseconds(++writes));
}

void WriteSettings(const std::filesystem::path& configHome, const std::string& fileName,
                   const std::string& pathName, const std::string& password) {
  // Quoted so QSettings keeps commas, semicolons and blanks as written.
  auto quote = [](const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    return out + "\"";
  };
  WriteSettingsFile(configHome, "[DATABASE]\nFileName=" + quote(fileName) + "\nPathName=" +
                                    quote(pathName) + "\nPassword=" + quote(password) + "\n");
}

void SessionFixture::SetUp() {
  setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
  database = dir / "data1.mdb";
}

void SessionFixture::TearDown() {
  if (session) session->Database().Disconnect();
  session.reset();
}

PatchSession& SessionFixture::NewSession() {
  if (session) session->Database().Disconnect();
  session = std::make_unique<PatchSession>(screen, probe);
  return *session;
}

PatchSession& SessionFixture::LocateWithNewSession() {
  PatchSession& located = NewSession();
  located.ReadSettings();
  located.OpenLocatedDatabase();
  return located;
}

PatchSession& SessionFixture::StartWithSample(const SampleOptions& options) {
  MakeSampleDatabase(database, options);
  WriteSettings(dir / "config", "data1", Folder(), options.password);
  LocateWithNewSession();
  EXPECT_TRUE(session->Database().IsConnected()) << screen.caption;
  screen.Clear();
  return *session;
}

std::filesystem::path SessionFixture::BackupFile() const {
  return dir.path() / std::string(texts::BackupFolderName) / "data1ver_1_06backup.mdb";
}

}  // namespace mivotra::test
