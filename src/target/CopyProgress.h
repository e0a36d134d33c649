#pragma once
// What a long copy tells whoever shows its progress, and how it hears of a
// cancel. The copy knows nothing of windows or consoles.

#include <cstdint>

namespace mivotra {

class CopyProgress {
 public:
  virtual ~CopyProgress() = default;
  // Returns false when the user cancelled the copy.
  virtual bool ShowCopyProgress(std::uint64_t copiedBytes, std::uint64_t totalBytes) = 0;
  // Called once when the copy ends, whatever the outcome.
  virtual void EndCopyProgress() = 0;
};

}  // namespace mivotra
