#pragma once
// Invariant checks for the fuzz targets: a violation prints what failed and
// the values involved, then aborts so that libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace mivotra::fuzz {

// The bytes with everything outside printable ASCII escaped, cut to a length
// a terminal can show.
inline std::string Shown(std::string_view bytes) {
  std::string shown = "\"";
  const std::size_t limit = bytes.size() > 300 ? 300 : bytes.size();
  for (std::size_t i = 0; i < limit; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  shown += bytes.size() > limit ? "\"... (" + std::to_string(bytes.size()) + " bytes)" : "\"";
  return shown;
}

// The caller's file and line come from the builtins that std::source_location
// is made of (clang 14 with libstdc++ 12 has no std::source_location yet).
[[noreturn]] inline void Fail(std::string_view what, std::string_view detail = {},
                              const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  std::fprintf(stderr, "%s:%d: invariant violated: %.*s\n%.*s\n", file, line,
               static_cast<int>(what.size()), what.data(), static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

inline void Check(bool holds, std::string_view what, std::string_view detail = {},
                  const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (!holds) Fail(what, detail, file, line);
}

}  // namespace mivotra::fuzz
