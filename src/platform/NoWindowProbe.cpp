#include "platform/WindowProbe.h"

namespace mivotra {
namespace {

class NoWindowProbe final : public MainApplicationProbe {
 public:
  bool IsMainApplicationRunning() override { return false; }
};

}  // namespace

std::unique_ptr<MainApplicationProbe> MakeWindowProbe(const std::string&) {
  return std::make_unique<NoWindowProbe>();
}

}  // namespace mivotra
