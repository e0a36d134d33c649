#include "platform/x11/X11MainApplicationProbe.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/WindowProbe.h"
#include "platform/x11/WindowSearch.h"

namespace mivotra {
namespace {

namespace fs = std::filesystem;

// What the search needs of the caller's environment: the display, and where
// its authorisation cookie is (XAUTHORITY, else ~/.Xauthority). Nothing else
// reaches the helper, a password handed over in a variable least of all.
std::vector<std::string> HelperEnvironment(const char* display) {
  std::vector<std::string> environment = {std::string("DISPLAY=") + display};
  for (const char* name : {"XAUTHORITY", "HOME"}) {
    if (const char* value = std::getenv(name))
      environment.push_back(std::string(name) + "=" + value);
  }
  return environment;
}

}  // namespace

X11MainApplicationProbe::X11MainApplicationProbe(std::string windowClass, std::string helper,
                                                 std::chrono::milliseconds timeLimit)
    : m_windowClass(std::move(windowClass)), m_helper(std::move(helper)), m_timeLimit(timeLimit) {}

bool X11MainApplicationProbe::IsMainApplicationRunning() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return false;
  // The helper's own deadline, later than the limit, ends it only should
  // this caller never get to.
  const auto deadline = std::chrono::ceil<std::chrono::seconds>(m_timeLimit).count() + 2;
  const std::optional<int> status = ExitStatusOfProgram(
      m_helper,
      {"--parent", std::to_string(getpid()), "--deadline", std::to_string(deadline), m_windowClass},
      HelperEnvironment(display), m_timeLimit);
  return status == window_probe::kFound;
}

std::string X11MainApplicationProbe::HelperBesideThisProgram() {
  std::error_code error;
  const fs::path folder = fs::read_symlink("/proc/self/exe", error).parent_path();
  // Never a path relative to the working folder: no helper then.
  if (error || !folder.is_absolute()) return {};
  const fs::path installed = (folder / MIVOTRA_WINDOW_PROBE_FROM_BINDIR).lexically_normal();
  const fs::path built = folder / window_probe::kProgramName;
  if (access(installed.c_str(), X_OK) != 0 && access(built.c_str(), X_OK) == 0) return built;
  return installed;
}

std::unique_ptr<MainApplicationProbe> MakeWindowProbe(const std::string& windowClass) {
  return std::make_unique<X11MainApplicationProbe>(
      windowClass, X11MainApplicationProbe::HelperBesideThisProgram());
}

}  // namespace mivotra
