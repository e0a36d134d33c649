#pragma once
// One copy of the tool per user: a lock file in a folder only that user can
// write to, $XDG_RUNTIME_DIR or <temp folder>/MivotraPatch20091109-<uid>, so
// no other user can block the tool or fake a running copy. A copy that
// crashed leaves a stale lock, which the next start takes over.

#include <string>

#include "base/UniqueFd.h"

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
  // Where the lock file is; empty when no folder was private enough for one.
  std::string LockFilePath() const { return m_path; }

 private:
  bool TakeLock();

  std::string m_path;
  UniqueFd m_lock;  // the lock file, locked; not valid without a guard
  bool m_acquired = false;
  bool m_lockRefused = false;  // another copy holds the lock
};

inline constexpr const char* kInstanceGuardName = "MivotraPatch20091109Instance";

}  // namespace mivotra
