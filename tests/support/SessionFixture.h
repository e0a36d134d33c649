#pragma once
// A session over a sample database in a fresh folder, with the main
// application's settings pointing at it.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "update/PatchSession.h"

namespace mivotra::test {

class FakeProbe : public MainApplicationProbe {
 public:
  bool IsMainApplicationRunning() override {
    ++calls;
    return running;
  }
  bool running = false;
  int calls = 0;
};

// Writes $XDG_CONFIG_HOME/MIVOTRA/MIVOTRA.conf whole, with a modification time
// no earlier write in this process gave it: QSettings reads a file it read
// before again only when its size or time changed, and a file rewritten within
// one tick of the file system's clock keeps its time.
void WriteSettingsFile(const std::filesystem::path& configHome, const std::string& bytes);

// The same with the DATABASE group.
void WriteSettings(const std::filesystem::path& configHome, const std::string& fileName,
                   const std::string& pathName, const std::string& password);

class SessionFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes the sample, points the settings at it and locates it as at start-up.
  PatchSession& StartWithSample(const SampleOptions& options = {});
  PatchSession& NewSession();
  // A new session that finds the database as the programs do at start-up:
  // the settings read, and the file opened when it is there.
  PatchSession& LocateWithNewSession();
  std::string Folder() const { return dir.path().string() + "/"; }
  std::filesystem::path BackupFile() const;

  TempDir dir;
  std::filesystem::path database;
  RecordingScreen screen;
  FakeProbe probe;
  std::unique_ptr<PatchSession> session;
};

}  // namespace mivotra::test
