// How the tool reports a bad input: one line naming the input and what is
// wrong with it, then exit code 1 (2 for a command line that makes no sense).
#pragma once

#include <stdexcept>
#include <string>

#include "escaped_text.h"

namespace vesk {

// The input is printed escaped: a path or value may hold anything. The
// problem quotes what it names through Escaped or Quoted itself.
struct Failure : std::runtime_error {
    Failure(const std::string& input, const std::string& problem)
        : std::runtime_error(Escaped(input) + ": " + problem), problem_(problem) {}
    // What is wrong, without the input.
    const std::string& Problem() const { return problem_; }

private:
    std::string problem_;
};

// An unknown option, a missing argument: the caller's mistake, not the
// input's, so scripts can tell the two apart by the exit code.
struct UsageError : Failure {
    using Failure::Failure;
};

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A problem that does not stop the command, printed as one line on stderr
// (the input escaped, as in a Failure).
void Warn(const std::string& input, const std::string& problem);

// The system's reason for a failed call (errno), for messages.
std::string SystemReason();

}  // namespace vesk
