#pragma once
// The file-size signal held off while the update writes files.

#include <signal.h>

#include "base/UniqueFd.h"

namespace mivotra {

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
