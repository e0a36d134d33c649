#pragma once
// The backup copy from two paths: the source and the destination's folder
// opened as the backup opens them, then the copy's one entry.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "base/UniqueFd.h"
#include "target/BackupCopy.h"

namespace mivotra::test {

inline constexpr std::uint64_t MiB = std::uint64_t{1} << 20;

inline bool CopyFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                     CopyProgress& progress, std::string* reason) {
  // O_NONBLOCK: a FIFO at the source's name must not hang the copy.
  const UniqueFd from(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  const std::filesystem::path folder =
      destination.has_parent_path() ? destination.parent_path() : std::filesystem::path(".");
  const UniqueFd into(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return CopyToNewFile(
      from.get(), source.string(),
      CopyDestination{into.get(), folder.string(), destination.filename().string()}, progress,
      reason);
}

}  // namespace mivotra::test
