#pragma once
// Work that must not take the caller down with it: a library call that can
// block for good (an X server that never answers) or crash (SQLCipher does
// not check all of its allocations) runs in a child process with a limit.

#include <chrono>
#include <functional>
#include <optional>

namespace mivotra {

// Runs `body` in a forked child and gives back the one byte it returns;
// nullopt when the child crashed, was killed, or did not answer within
// `limit`. The child keeps none of the caller's open files (a neighbour
// looking for users of the database must not see it), and dies with the
// caller. `body` runs in the child only.
std::optional<char> AnswerFromChild(const std::function<char()>& body,
                                    std::chrono::milliseconds limit);

}  // namespace mivotra
