// What the tool tells the person running it on stderr, besides errors and
// warnings: nothing with --quiet, a summary and progress bars by default,
// every step as well with --verbose.
#pragma once

#include <string>

namespace vesk {

enum class Verbosity { Quiet, Normal, Verbose };

void SetVerbosity(Verbosity level);
bool ShowsProgress();

// "vesk: <line>" unless quiet.
void Say(const std::string& line);
// "vesk: <line>" with --verbose only.
void Detail(const std::string& line);

}  // namespace vesk
