#pragma once
// Small POSIX helpers for the file work of the update: a descriptor that
// closes itself, and the file-size signal held off while files are written.

#include <signal.h>
#include <unistd.h>

namespace mivotra {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() { Close(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  void Reset(int fd = -1) {
    Close();
    m_fd = fd;
  }
  int Release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
  }

 private:
  void Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }

  int m_fd = -1;
};

// A write past RLIMIT_FSIZE raises SIGXFSZ, whose default action ends the
// process without a word; ignored, the write fails with EFBIG, which is
// reported like a full disk and undone.
class IgnoreFileSizeSignal {
 public:
  IgnoreFileSizeSignal() {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    m_restore = sigaction(SIGXFSZ, &ignore, &m_previous) == 0;
  }
  ~IgnoreFileSizeSignal() {
    if (m_restore) sigaction(SIGXFSZ, &m_previous, nullptr);
  }
  IgnoreFileSizeSignal(const IgnoreFileSizeSignal&) = delete;
  IgnoreFileSizeSignal& operator=(const IgnoreFileSizeSignal&) = delete;

 private:
  struct sigaction m_previous = {};
  bool m_restore = false;
};

}  // namespace mivotra
