#pragma once
// The ways the backup copy can write (unnamed or hidden temporary file,
// kernel copy or read/write) and name a hidden temporary (rename without
// replacing, or over a placeholder where the file system has no such rename
// nor hard links), as a test parameter shared by the copy tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "target/BackupCopy.h"

namespace mivotra::test {

inline constexpr std::uint64_t MiB = std::uint64_t{1} << 20;

struct CopyMode {
  bool anonymousTemporary;
  bool kernelCopy;
  bool exclusiveRename = true;

  // Small chunks, so even small test files report progress several times.
  CopyOptions Options() const {
    CopyOptions options;
    options.chunkBytes = MiB;
    options.anonymousTemporary = anonymousTemporary;
    options.kernelCopy = kernelCopy;
    options.exclusiveRename = exclusiveRename;
    return options;
  }
};

inline void PrintTo(const CopyMode& mode, std::ostream* out) {
  *out << (mode.anonymousTemporary ? "unnamed file, " : "hidden name, ")
       << (mode.kernelCopy ? "kernel copy" : "read/write")
       << (mode.exclusiveRename ? "" : ", named over a placeholder");
}

inline std::string CopyModeName(const testing::TestParamInfo<CopyMode>& info) {
  return std::string(info.param.anonymousTemporary ? "Unnamed" : "HiddenName") +
         (info.param.kernelCopy ? "KernelCopy" : "ReadWrite") +
         (info.param.exclusiveRename ? "" : "OverPlaceholder");
}

inline auto AllCopyModes() {
  return testing::Values(CopyMode{true, true}, CopyMode{true, false}, CopyMode{false, true},
                         CopyMode{false, false}, CopyMode{false, true, false});
}

}  // namespace mivotra::test
