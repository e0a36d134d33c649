#pragma once
// Tells whether the main application runs (its top-level window exists).

namespace mivotra {

class MainApplicationProbe {
 public:
  virtual ~MainApplicationProbe() = default;
  virtual bool IsMainApplicationRunning() = 0;
};

}  // namespace mivotra
