#pragma once
// The four ways the backup copy can write (unnamed or hidden temporary file,
// kernel copy or read/write), as a test parameter shared by the copy tests.

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

  // Small chunks, so even small test files report progress several times.
  CopyOptions Options() const {
    CopyOptions options;
    options.chunkBytes = MiB;
    options.anonymousTemporary = anonymousTemporary;
    options.kernelCopy = kernelCopy;
    return options;
  }
};

inline void PrintTo(const CopyMode& mode, std::ostream* out) {
  *out << (mode.anonymousTemporary ? "unnamed file, " : "hidden name, ")
       << (mode.kernelCopy ? "kernel copy" : "read/write");
}

inline std::string CopyModeName(const testing::TestParamInfo<CopyMode>& info) {
  return std::string(info.param.anonymousTemporary ? "Unnamed" : "HiddenName") +
         (info.param.kernelCopy ? "KernelCopy" : "ReadWrite");
}

inline auto AllCopyModes() {
  return testing::Values(CopyMode{true, true}, CopyMode{true, false}, CopyMode{false, true},
                         CopyMode{false, false});
}

}  // namespace mivotra::test
