#include "arguments.h"

#include <charconv>
#include <optional>

#include "format/ini_keys.h"
#include "escaped_text.h"
#include "failure.h"
#include "settings_keys.h"
#include "stub_location.h"

namespace vesk {

namespace {

const char* const kToolHelp =
    "usage: vesk <command> [options]\n"
    "\n"
    "Builds and examines setup executables that install a Windows Installer package.\n"
    "\n"
    "commands:\n"
    "  pack      write a setup executable from a stub, settings and an MSI\n"
    "  inspect   print everything a setup holds\n"
    "  verify    check a setup's structure, size and payload CRCs\n"
    "  unpack    write a setup's settings and files back out\n"
    "\n"
    "vesk <command> --help describes each command; vesk --version prints the version\n"
    "(vesk --version --verbose: and which stubs it found, and where).\n";

// The end of every help text.
// A day: a timestamp server slower than that is not coming back.
constexpr unsigned kMaxSignTimeout = 86400;

const char* const kExitCodes =
    "\n"
    "exit codes: 0 success; 1 the operation failed, or an input or setup is\n"
    "unsound; 2 a usage error (unknown option, missing argument).\n";

const char* const kPackHelp =
    "usage: vesk pack [SETTINGS.ini] -o SETUP.exe [options]\n"
    "\n"
    "Writes the stub with the product (and runtime installers) stored in its\n"
    ".VESK section. Settings come from the [" INI_SECTION "] section of\n"
    "SETTINGS.ini, with file paths relative to it; options override its keys.\n"
    "ProductCode, ProductVersion and ProductName not given are read from the\n"
    "MSI's Property table (a transform needs them given).\n"
    "\n"
    "Settings, options and the MSI's strings are UTF-8. The setup shows its texts\n"
    "with the ANSI functions of Windows, that is in the code page of the user's\n"
    "system: choose the code page of the setup's users. A text that code page\n"
    "cannot show is refused, naming the key and the character.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE         the setup to write (required; not - : a setup\n"
    "                            is not written to standard output)\n"
    "  --arch x86|x64            Arch: the stub beside vesk or in ../lib/vesk,\n"
    "                            vesk-stub.exe (x86, the default) or\n"
    "                            vesk-stub-x64.exe (x64)\n"
    "  --stub FILE               another stub, i386 (PE32) or x86-64 (PE32+)\n"
    "  --product FILE            ProductFile\n"
    "  --product-code GUID       ProductCode, a braced upper-case GUID\n"
    "  --product-version TEXT    ProductVersion\n"
    "  --product-name TEXT       ProductName\n"
    "  --transform-base NAME     TransformMSI: the product is a transform for NAME\n"
    "  --runtime-nt FILE         RuntimeNT\n"
    "  --runtime-9x FILE         Runtime9X\n"
    "  --runtime-version A.B.C.D RuntimeVersion\n"
    "  --codepage N              CodePage: the Windows ANSI code page the setup's\n"
    "                            texts are stored in, 1252 by default (874, 932,\n"
    "                            936, 949, 950, 1250 to 1258); CharSet follows it\n"
    "                            unless given\n"
    "  --splash FILE.bmp         Splash: the splash picture, a 16-colour BMP of at\n"
    "                            most 1024 x 768 (4 bits per pixel, uncompressed)\n"
    "  --icon FILE.ico           Icon: the program icon, images of at most 256 x 256,\n"
    "                            whole PNGs or uncompressed bitmaps\n"
    "  --execution-level LEVEL   ExecutionLevel: embed a manifest asking for asInvoker,\n"
    "                            highestAvailable or requireAdministrator (default:\n"
    "                            no manifest)\n"
    "  --set KEY=VALUE           any settings key, e.g. --set CharSize=10\n"
    "  --no-size-check           record no expected file size (SizeCheck=0)\n"
    "  --sign-cert FILE          sign the setup with osslsigncode: the certificate\n"
    "  --sign-key FILE           and its private key (PEM or DER), or a PKCS#12\n"
    "                            file (.pfx, .p12) alone as --sign-cert; the\n"
    "                            recorded size is the signed file's, so the\n"
    "                            setup's size check holds\n"
    "  --sign-pass FILE          the file holding the key's passphrase\n"
    "  --timestamp URL           a timestamp server for the signature\n"
    "  --sign-timeout SECONDS    how long osslsigncode may take, each time it\n"
    "                            runs (default 180)\n"
    "  --nest-sign               two signatures with the same certificate: SHA-1,\n"
    "                            which older Windows versions need, with SHA-256\n"
    "                            nested in it; the recorded size holds both\n"
    "  --quiet                   print nothing but errors and warnings\n"

    "  --verbose                 say each step: settings, stub, payloads, signing\n"
    "\n"
    "An option given an empty value is a usage error (an unset variable, most\n"
    "often); --set KEY= gives a key an empty value.\n"
    "\n"
    "Prints one line to stderr when done: the output, its size, the stub and its\n"
    "architecture, the payloads, and whether it is signed. On a terminal a\n"
    "progress bar shows the copy of a large payload.\n"
    "\n"
    "A certificate that has expired, or is not valid yet, is refused; with\n"
    "--timestamp, pack signs and warns. The messages tell a timestamp server's\n"
    "failure, a missing or wrong passphrase and a key that does not match the\n"
    "certificate apart.\n"
    "\n"
    "The same inputs give the same bytes. With SOURCE_DATE_EPOCH set, it is the\n"
    "signing time, so a signed setup is the same too (a timestamp server's\n"
    "countersignature excepted).\n"
    "\n"
    "The setup gets a version resource from ProductName, ProductVersion, the MSI's\n"
    "Manufacturer and the output's name; the keys VersionProductName,\n"
    "VersionFileDescription, VersionCompanyName, VersionLegalCopyright,\n"
    "VersionOriginalFilename, VersionFileVersion and VersionProductVersion give a\n"
    "string of their own (empty leaves it out), e.g. --set VersionCompanyName=Acme.\n";

const char* const kInspectHelp =
    "usage: vesk inspect SETUP.exe [--json]\n"
    "\n"
    "Prints the PE facts, every container header field, the strings, the text\n"
    "block, the six texts, each payload's offset, size and stored CRC-32, and\n"
    "the signature: its state, the signer and the signing time (read by\n"
    "osslsigncode).\n";

const char* const kVerifyHelp =
    "usage: vesk verify SETUP.exe [--json] [--ca-file FILE]\n"
    "\n"
    "Checks the PE structure, the recorded file size, the header CheckSum and\n"
    "every payload's CRC-32, and says whether the setup is signed and (with\n"
    "osslsigncode installed) whether the signature matches the file, and the\n"
    "signing certificate's validity period. Prints one line per problem; exits 0\n"
    "only when the setup is sound. With --json, prints one object instead (also\n"
    "for a file that is not a setup): file, sound (true or false), signature,\n"
    "validFrom, validUntil, problems. The product file name is judged as unpack\n"
    "judges it.\n"
    "\n"
    "options:\n"
    "  --ca-file FILE            the certificates (PEM) the signature's chain must\n"
    "                            lead to; a chain that does not, or no signature,\n"
    "                            is a problem\n"
    "\n"
    "Without a signature not every edit shows: the container head (product\n"
    "identity, settings and texts) has no CRC of its own, and the header\n"
    "CheckSum is a 16-bit sum in which words may change places unseen (two\n"
    "words of the CmdLine text swapped pass). Only a signature protects the\n"
    "whole file: sign the setup while packing it (vesk pack --sign-cert).\n";

const char* const kUnpackHelp =
    "usage: vesk unpack SETUP.exe -d DIR [--force]\n"
    "\n"
    "Writes DIR/setup.ini with every setting and text (and Arch, the setup's\n"
    "architecture), and the product and runtime files it names. vesk pack\n"
    "DIR/setup.ini rebuilds the same container on the same stub.\n"
    "\n"
    "options:\n"
    "  -d, --directory DIR       where to write; made when missing, refused when\n"
    "                            it holds anything\n"
    "  --force                   write into DIR even so, replacing its files of\n"
    "                            the same names\n";

ShowText Help(const char* text) {
    return ShowText{std::string(text) + kExitCodes};
}

// Walks the arguments of one subcommand; options take "--name value" or
// "--name=value".
class ArgumentWalker {
public:
    ArgumentWalker(const std::string& command, const std::vector<std::string>& arguments)
        : command_(command), arguments_(arguments) {}

    bool Next() {
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
    const std::string& Name() const { return name_; }
    bool IsOption() const { return name_.size() > 1 && name_[0] == '-'; }
    // An empty value is refused: it is an unset variable in a script more
    // often than a choice (an empty --sign-cert would pack unsigned).
    std::string Value() {
        if (!inlineValue_ && ++at_ >= arguments_.size()) Fail(name_ + " needs a value");
        const std::string& value = inlineValue_ ? *inlineValue_ : arguments_[at_];
        if (value.empty()) Fail(name_ + " is given an empty value");
        return value;
    }
    [[noreturn]] void Fail(const std::string& problem) const {
        throw UsageError(command_, problem + " (see vesk " + command_ + " --help)");
    }

private:
    std::string command_;
    const std::vector<std::string>& arguments_;
    size_t at_ = 0;  // arguments_[0] is the command
    std::string name_;
    std::optional<std::string> inlineValue_;
};

Command ParsePack(ArgumentWalker& args) {
    PackOptions options;
    SigningRequest signing;
    bool haveOutput = false;
    while (args.Next()) {
        const std::string name = args.Name();
        if (name == "--help" || name == "-h") return Help(kPackHelp);
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

std::filesystem::path TakeSetup(ArgumentWalker& args, std::optional<std::filesystem::path>& setup) {
    if (setup) args.Fail("more than one setup given");
    if (args.Name().empty()) args.Fail("the setup is given an empty name");
    setup = args.Name();
    return *setup;
}

Command ParseInspect(ArgumentWalker& args) {
    InspectCommand command;
    std::optional<std::filesystem::path> setup;
    while (args.Next()) {
        if (args.Name() == "--help" || args.Name() == "-h") return Help(kInspectHelp);
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
        if (args.Name() == "--help" || args.Name() == "-h") return Help(kVerifyHelp);
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
        if (args.Name() == "--help" || args.Name() == "-h") return Help(kUnpackHelp);
        if (args.Name() == "-d" || args.Name() == "--directory") directory = args.Value();
        else if (args.Name() == "--force") force = true;
        else if (args.IsOption()) args.Fail("unknown option " + Escaped(args.Name()));
        else TakeSetup(args, setup);
    }
    if (!setup) args.Fail("no setup given");
    if (!directory) args.Fail("no directory given (-d DIR)");
    return UnpackCommand{*setup, *directory, force};
}

}  // namespace

Command ParseCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return ShowText{Help(kToolHelp).text, kExitUsage};
    const std::string& command = arguments[0];
    ArgumentWalker args(command, arguments);
    if (command == "--help" || command == "-h") return Help(kToolHelp);
    if (command == "--version") {
        bool verbose = false;
        while (args.Next()) {
            if (args.Name() == "--verbose") verbose = true;
            else throw UsageError(command, "unknown option " + Escaped(args.Name()) + " (it takes only --verbose)");
        }
        return ShowText{"vesk " VESK_TOOL_VERSION "\n" + (verbose ? DescribeStubs() : std::string())};
    }
    if (command == "pack") return ParsePack(args);
    if (command == "inspect") return ParseInspect(args);
    if (command == "verify") return ParseVerify(args);
    if (command == "unpack") return ParseUnpack(args);
    throw UsageError(command, "unknown command (see vesk --help)");
}

}  // namespace vesk
