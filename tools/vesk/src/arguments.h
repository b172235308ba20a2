// The tool's command line: a subcommand and its options.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "pack.h"

namespace vesk {

struct ShowText {
    std::string text;  // help or version
    int exitCode = 0;  // not 0: a usage error, the text goes to stderr
};
struct InspectCommand {
    std::filesystem::path setup;
    bool json = false;
};
struct VerifyCommand {
    std::filesystem::path setup;
    bool json = false;
    std::optional<std::filesystem::path> caFile;  // the certificates the signature's chain must lead to
};
struct UnpackCommand {
    std::filesystem::path setup;
    std::filesystem::path directory;
    bool force = false;  // write into a directory that is not empty
};

using Command = std::variant<ShowText, PackOptions, InspectCommand, VerifyCommand, UnpackCommand>;

// Throws UsageError for a command line that makes no sense.
Command ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace vesk
