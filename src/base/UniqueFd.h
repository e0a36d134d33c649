#pragma once
// A POSIX file descriptor that closes itself.

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

}  // namespace mivotra
