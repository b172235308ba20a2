// vesk's commands, one table: each command's name, the line that sums it up
// (vesk --help, and the man page's list, which a test holds to it), its
// usage and help, and the functions that read its options and run it.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "arguments.h"

namespace vesk {

struct CommandEntry {
    const char* name;
    const char* summary;
    const char* help;  // usage, then what it does; the exit codes follow
    Command (*parse)(ArgumentWalker& args);
    int (*run)(const Command& command);  // the options parse gave
};

std::span<const CommandEntry> Commands();
// The whole text of vesk NAME --help.
std::string CommandHelp(const CommandEntry& entry);

// Runs the command line (without the program's name) and gives the exit
// code; throws UsageError for one that makes no sense, Failure when the
// command fails.
int RunCommandLine(const std::vector<std::string>& arguments);

}  // namespace vesk
