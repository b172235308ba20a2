#include "console.h"

#include <iostream>

namespace vesk {

namespace {

Verbosity g_verbosity = Verbosity::Normal;

}  // namespace

void SetVerbosity(Verbosity level) {
    g_verbosity = level;
}

bool ShowsProgress() {
    return g_verbosity != Verbosity::Quiet;
}

void Say(const std::string& line) {
    if (g_verbosity != Verbosity::Quiet) std::cerr << "vesk: " << line << '\n';
}

void Detail(const std::string& line) {
    if (g_verbosity == Verbosity::Verbose) std::cerr << "vesk: " << line << '\n';
}

}  // namespace vesk
