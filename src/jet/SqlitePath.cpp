#include "jet/SqlitePath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace mivotra::jet {
namespace {

// Room left under SQLite's 512 bytes for the journal's and the log's suffixes.
constexpr std::size_t kLongestDirectName = 512 - 16;

}  // namespace

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
