// How the tool reports a bad input: one line naming the input and what is
// wrong with it, then exit code 1.
#pragma once

#include <stdexcept>
#include <string>

namespace vesk {

struct Failure : std::runtime_error {
    Failure(const std::string& input, const std::string& problem)
        : std::runtime_error(input + ": " + problem) {}
};

// A problem that does not stop the command, printed as one line on stderr.
void Warn(const std::string& input, const std::string& problem);

// The system's reason for a failed call (errno), for messages.
std::string SystemReason();

}  // namespace vesk
