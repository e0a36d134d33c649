#pragma once
// One copy of the tool per user: a lock file in the user's runtime folder.
// A copy that crashed leaves a stale lock, which the next start takes over.

#include <memory>
#include <string>

class QLockFile;

namespace mivotra {

class InstanceGuard {
 public:
  // Tries to take the guard named `name` (the lock file is name + ".lock").
  explicit InstanceGuard(const std::string& name);
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  // False when another running copy holds it.
  bool Acquired() const { return m_acquired; }
  std::string LockFilePath() const { return m_path; }

 private:
  std::unique_ptr<QLockFile> m_lock;
  std::string m_path;
  bool m_acquired = false;
};

inline constexpr const char* kInstanceGuardName = "MivotraPatch20091109Instance";

}  // namespace mivotra
