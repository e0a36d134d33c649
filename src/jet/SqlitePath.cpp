#include "jet/SqlitePath.h"

#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mivotra::jet {
namespace {

// Room left under SQLite's 512 bytes for the journal's and the log's suffixes.
constexpr std::size_t kLongestDirectName = 512 - 16;

constexpr char kFolderPathVfs[] = "mivotra-folder-path";

// SQLite's "unix" file system but for the full path name: a name through a
// folder's descriptor is already absolute and must stay as it is (the
// default one resolves every link in it, /proc/self/fd/N included).
int FullPathnameAsItIs(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  const auto length = std::strlen(name);
  if (name[0] != '/' || length >= static_cast<std::size_t>(size)) {
    auto* unixVfs = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return unixVfs->xFullPathname(unixVfs, name, size, out);
  }
  std::memcpy(out, name, length + 1);
  return SQLITE_OK;
}

// The unix file system's own calls, which store the unix file system in
// each file they open (the engine finds SQLite's descriptor through it).
int OpenThroughUnix(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                    int* outFlags) {
  auto* unixVfs = static_cast<sqlite3_vfs*>(vfs->pAppData);
  return unixVfs->xOpen(unixVfs, name, file, flags, outFlags);
}

sqlite3_vfs* RegisterFolderPathVfs() {
  static sqlite3_vfs shim = [] {
    sqlite3_vfs* unixVfs = sqlite3_vfs_find("unix");
    sqlite3_vfs copy = unixVfs ? *unixVfs : sqlite3_vfs{};
    copy.pNext = nullptr;
    copy.zName = kFolderPathVfs;
    copy.pAppData = unixVfs;
    copy.xOpen = OpenThroughUnix;
    copy.xFullPathname = FullPathnameAsItIs;
    return copy;
  }();
  static const bool registered =
      shim.pAppData != nullptr && sqlite3_vfs_register(&shim, 0) == SQLITE_OK;
  return registered ? &shim : nullptr;
}

}  // namespace

const char* SqlitePath::Vfs() const {
  if (m_folder < 0) return nullptr;
  // Without the file system SQLite's default one is tried, and fails clearly.
  return RegisterFolderPathVfs() ? kFolderPathVfs : nullptr;
}

SqlitePath::SqlitePath(const std::string& file) {
  if (file.size() <= kLongestDirectName) {
    // SQLite reads ":memory:" and other names that start with ':' as special.
    m_name = !file.empty() && file.front() == ':' ? "./" + file : file;
    return;
  }
  const std::size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : file.substr(0, slash);
  m_folder = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (m_folder < 0) {
    m_error = errno;
    return;
  }
  m_name = "/proc/self/fd/" + std::to_string(m_folder) + "/" +
           (slash == std::string::npos ? file : file.substr(slash + 1));
}

SqlitePath::~SqlitePath() {
  if (m_folder >= 0) close(m_folder);
}

int SqlitePath::ReleaseFolder() {
  const int folder = m_folder;
  m_folder = -1;
  return folder;
}

}  // namespace mivotra::jet
