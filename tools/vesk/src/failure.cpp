#include "failure.h"

#include <cerrno>
#include <cstring>
#include <iostream>

namespace vesk {

void Warn(const std::string& input, const std::string& problem) {
    std::cerr << "vesk: warning: " << Escaped(input) << ": " << problem << '\n';
}

std::string SystemReason() {
    return std::strerror(errno);
}

}  // namespace vesk
