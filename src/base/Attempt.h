#pragma once
// One part of a report, or of putting things right after a failure, that may
// itself fail (for want of memory): it is left out rather than allowed to
// change what has already been settled.

namespace mivotra {

// Runs `part` and tells whether it went through.
template <class Part>
bool Attempt(Part&& part) noexcept {
  try {
    part();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace mivotra
