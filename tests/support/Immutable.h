#pragma once
// Making a file or folder read-only for root as well: the immutable attribute.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

namespace mivotra::test {

namespace fs = std::filesystem;

// The immutable attribute (chattr +i), which root's writes respect too;
// cleared again on destruction. Applied() is false where the file system
// does not support it.
class Immutable {
 public:
  explicit Immutable(const fs::path& path) : m_path(path) { m_applied = Set(true); }
  ~Immutable() {
    if (m_applied) Set(false);
  }
  Immutable(const Immutable&) = delete;
  Immutable& operator=(const Immutable&) = delete;
  bool Applied() const { return m_applied; }

 private:
  bool Set(bool on) {
    const int fd = open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return done;
  }

  fs::path m_path;
  bool m_applied = false;
};

}  // namespace mivotra::test
