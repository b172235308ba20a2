#include "arguments.h"

#include <charconv>
#include <optional>

#include "escaped_text.h"
#include "failure.h"
#include "settings_keys.h"

namespace vesk {

namespace {

// A day: a timestamp server slower than that is not coming back.
constexpr unsigned kMaxSignTimeout = 86400;

}  // namespace

bool ArgumentWalker::Next() {
    if (++at_ >= arguments_.size()) return false;
    const std::string& arg = arguments_[at_];
    inlineValue_.reset();
    name_ = arg;
    if (arg.rfind("--", 0) == 0) {
        if (size_t equals = arg.find('='); equals != std::string::npos) {
            name_ = arg.substr(0, equals);
            inlineValue_ = arg.substr(equals + 1);
        }
    }
    return true;
}

std::string ArgumentWalker::Value() {
    if (!inlineValue_ && ++at_ >= arguments_.size()) Fail(name_ + " needs a value");
    const std::string& value = inlineValue_ ? *inlineValue_ : arguments_[at_];
    if (value.empty()) Fail(name_ + " is given an empty value");
    return value;
}

void ArgumentWalker::Fail(const std::string& problem) const {
    throw UsageError(command_, problem + " (see vesk " + command_ + " --help)");
}

Command ParsePack(ArgumentWalker& args) {
    PackOptions options;
    SigningRequest signing;
    bool haveOutput = false;
    while (args.Next()) {
        const std::string name = args.Name();
        if (name == "--help" || name == "-h") return args.Help();
        if (name == "-o" || name == "--output") {
            options.output = args.Value();
            haveOutput = true;
        } else if (name == "--stub") {
            options.stub = args.Value();
        } else if (name == "--arch") {
            // Checked here, so that a wrong one is a usage error.
            const std::string arch = args.Value();
            if (!ArchNamed(arch)) args.Fail("--arch takes x86 or x64, not " + Quoted(arch));
            options.request.overrides.push_back({kArchKey, arch, name});
        } else if (name == "--sign-cert") {
            signing.certificate = args.Value();
        } else if (name == "--sign-key") {
            signing.key = args.Value();
        } else if (name == "--sign-pass") {
            signing.passwordFile = args.Value();
        } else if (name == "--timestamp") {
            signing.timestampUrl = args.Value();
        } else if (name == "--nest-sign") {
            signing.nested = true;
        } else if (name == "--sign-timeout") {
            const std::string text = args.Value();
            unsigned seconds = 0;
            auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
            if (error != std::errc() || end != text.data() + text.size() || seconds == 0 || seconds > kMaxSignTimeout)
                args.Fail("--sign-timeout takes seconds from 1 to " + std::to_string(kMaxSignTimeout) + ", not " +
                          Quoted(text));
            signing.timeoutSeconds = seconds;
        } else if (name == "--quiet") {
            options.verbosity = Verbosity::Quiet;
        } else if (name == "--verbose") {
            options.verbosity = Verbosity::Verbose;
        } else if (name == "--no-size-check") {
            options.request.overrides.push_back({kSizeCheckKey, "0", name});
        } else if (name == "--set") {
            std::string pair = args.Value();
            size_t equals = pair.find('=');
            if (equals == std::string::npos || equals == 0) args.Fail("--set needs KEY=VALUE, not " + Quoted(pair));
            options.request.overrides.push_back({pair.substr(0, equals), pair.substr(equals + 1), "--set " + pair.substr(0, equals)});
        } else if (const SettingsKey* key = FindKeyOption(name)) {
            options.request.overrides.push_back({key->name, args.Value(), name});
        } else if (args.IsOption()) {
            args.Fail("unknown option " + Escaped(name));
        } else if (name.empty()) {
            args.Fail("the settings file is given an empty name");
        } else if (!options.request.settingsFile) {
            options.request.settingsFile = name;
        } else {
            args.Fail("more than one settings file");
        }
    }
    if (!haveOutput) args.Fail("no output given (-o SETUP.exe)");
    if (options.output == "-") args.Fail("-o -: a setup cannot be written to standard output; give a file name");
    const bool signingAsked = !signing.certificate.empty() || !signing.key.empty() || signing.passwordFile ||
                              signing.timestampUrl || signing.timeoutSeconds != kDefaultSignTimeout ||
                              signing.nested;
    const bool pkcs12 = IsPkcs12File(signing.certificate);
    if (signingAsked && pkcs12 && !signing.key.empty())
        args.Fail("--sign-cert " + Escaped(signing.certificate.string()) + " is a PKCS#12 file, which holds its key; leave out --sign-key");
    if (signingAsked && (signing.certificate.empty() || (signing.key.empty() && !pkcs12)))
        args.Fail("signing needs both --sign-cert and --sign-key, or a PKCS#12 file (.pfx, .p12) as --sign-cert");
    if (signingAsked) options.signing = signing;
    return options;
}

namespace {

std::filesystem::path TakeSetup(ArgumentWalker& args, std::optional<std::filesystem::path>& setup) {
    if (setup) args.Fail("more than one setup given");
    if (args.Name().empty()) args.Fail("the setup is given an empty name");
    setup = args.Name();
    return *setup;
}

}  // namespace

Command ParseInspect(ArgumentWalker& args) {
    InspectCommand command;
    std::optional<std::filesystem::path> setup;
    while (args.Next()) {
        if (args.Name() == "--help" || args.Name() == "-h") return args.Help();
        if (args.Name() == "--json") command.json = true;
        else if (args.IsOption()) args.Fail("unknown option " + Escaped(args.Name()));
        else TakeSetup(args, setup);
    }
    if (!setup) args.Fail("no setup given");
    command.setup = *setup;
    return command;
}

Command ParseVerify(ArgumentWalker& args) {
    VerifyCommand command;
    std::optional<std::filesystem::path> setup;
    while (args.Next()) {
        if (args.Name() == "--help" || args.Name() == "-h") return args.Help();
        if (args.Name() == "--json") command.json = true;
        else if (args.Name() == "--ca-file") command.caFile = args.Value();
        else if (args.IsOption()) args.Fail("unknown option " + Escaped(args.Name()));
        else TakeSetup(args, setup);
    }
    if (!setup) args.Fail("no setup given");
    command.setup = *setup;
    return command;
}

Command ParseUnpack(ArgumentWalker& args) {
    std::optional<std::filesystem::path> setup;
    std::optional<std::filesystem::path> directory;
    bool force = false;
    while (args.Next()) {
        if (args.Name() == "--help" || args.Name() == "-h") return args.Help();
        if (args.Name() == "-d" || args.Name() == "--directory") directory = args.Value();
        else if (args.Name() == "--force") force = true;
        else if (args.IsOption()) args.Fail("unknown option " + Escaped(args.Name()));
        else TakeSetup(args, setup);
    }
    if (!setup) args.Fail("no setup given");
    if (!directory) args.Fail("no directory given (-d DIR)");
    return UnpackCommand{*setup, *directory, force};
}

}  // namespace vesk
