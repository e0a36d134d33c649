#pragma once
// Work that must not take the caller down with it: a library call that can
// block for good (an X server that never answers) runs in a program of its
// own, started afresh (posix_spawn, no fork of this multi-threaded process),
// and is given up after a time limit.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace mivotra {

// Runs the program at `path` with the arguments `args` (after its own path)
// and exactly the environment `environment` ("NAME=value" each), standard
// input and output on /dev/null, standard error the caller's, and no other
// of the caller's descriptors (a neighbour looking for users of the
// database must not see it). Gives back its exit status; nullopt when it
// could not be started, ended by a signal, or had not ended within `limit`,
// when it is killed. It is always reaped before this returns.
std::optional<int> ExitStatusOfProgram(const std::string& path,
                                       const std::vector<std::string>& args,
                                       const std::vector<std::string>& environment,
                                       std::chrono::milliseconds limit);

}  // namespace mivotra
