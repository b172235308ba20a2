// The options of each of the tool's commands, read from its command line
// (commands.h names the commands).
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

// Walks the arguments of one command; options take "--name value" or
// "--name=value".
class ArgumentWalker {
public:
    // arguments[0] is the command; help is its whole help text.
    ArgumentWalker(const std::string& command, std::string help, const std::vector<std::string>& arguments)
        : command_(command), help_(std::move(help)), arguments_(arguments) {}

    bool Next();
    const std::string& Name() const { return name_; }
    bool IsOption() const { return name_.size() > 1 && name_[0] == '-'; }
    // An empty value is refused: it is an unset variable in a script more
    // often than a choice (an empty --sign-cert would pack unsigned).
    std::string Value();
    [[noreturn]] void Fail(const std::string& problem) const;
    ShowText Help() const { return ShowText{help_}; }

private:
    std::string command_;
    std::string help_;
    const std::vector<std::string>& arguments_;
    size_t at_ = 0;  // arguments_[0] is the command
    std::string name_;
    std::optional<std::string> inlineValue_;
};

// Each throws UsageError for arguments that make no sense.
Command ParsePack(ArgumentWalker& args);
Command ParseInspect(ArgumentWalker& args);
Command ParseVerify(ArgumentWalker& args);
Command ParseUnpack(ArgumentWalker& args);

}  // namespace vesk
