#pragma once
// SQLite takes file names of at most 512 bytes, and it adds "-journal" to
// the database's name. A longer path is reached through a descriptor of its
// folder, "/proc/self/fd/N/<name>", which the system resolves like the path.
// SQLite itself would resolve that link back into the long path, so such a
// name is opened through a file system of SQLite's that takes it as it is.

#include <string>

namespace mivotra::jet {

class SqlitePath {
 public:
  // Opens the folder when `file` is too long to give SQLite as it stands.
  explicit SqlitePath(const std::string& file);
  ~SqlitePath();
  SqlitePath(const SqlitePath&) = delete;
  SqlitePath& operator=(const SqlitePath&) = delete;

  // The name to give SQLite; empty when the folder of a long path could not
  // be opened, Error() then holding errno.
  const std::string& Name() const { return m_name; }
  int Error() const { return m_error; }
  // The SQLite file system to open Name() with: null for SQLite's default.
  const char* Vfs() const;
  // The folder's descriptor, from now on the caller's to close once SQLite
  // is done with the file; -1 when none is used.
  int ReleaseFolder();

 private:
  std::string m_name;
  int m_folder = -1;
  int m_error = 0;
};

}  // namespace mivotra::jet
