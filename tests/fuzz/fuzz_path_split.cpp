// Splitting any chosen path into folder and name: the folder is empty or ends
// with '/', the name holds no '/', and nothing but the extension is lost.

#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "target/PathSplit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using mivotra::fuzz::Check;
  const std::string_view path(reinterpret_cast<const char*>(bytes), size);
  const mivotra::ChosenPath chosen = mivotra::SplitChosenPath(path);
  const std::string detail = mivotra::fuzz::Shown(path) + " gave " +
                             mivotra::fuzz::Shown(chosen.PathName) + " + " +
                             mivotra::fuzz::Shown(chosen.FileName);

  Check(chosen.PathName.empty() || chosen.PathName.back() == '/',
        "the folder is empty or ends with '/'", detail);
  Check(chosen.FileName.find('/') == std::string::npos, "the name holds no '/'", detail);

  const std::size_t slash = path.rfind('/');
  Check(chosen.PathName.empty() == (slash == std::string_view::npos),
        "a folder exactly when the path has one", detail);
  if (slash != std::string_view::npos) {
    Check(chosen.PathName == path.substr(0, slash + 1), "the folder is the path up to its last '/'",
          detail);
  }
  // The name is the last part, less at most an extension that is not its start.
  const std::string_view name = path.substr(slash == std::string_view::npos ? 0 : slash + 1);
  Check(name.starts_with(chosen.FileName), "the name is a prefix of the last part", detail);
  const std::string_view dropped = name.substr(chosen.FileName.size());
  Check(dropped.empty() || (dropped.front() == '.' && dropped.find('.', 1) == std::string::npos),
        "only one extension is dropped", detail);
  Check(!chosen.FileName.empty() || name.empty(), "a non-empty name keeps something", detail);
  Check(chosen.FileName.size() + dropped.size() == name.size(), "nothing else is lost", detail);
  return 0;
}
