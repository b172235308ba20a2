#include "commands.h"

#include <algorithm>
#include <iostream>

#include "arguments.h"
#include "describe_setup.h"
#include "escaped_text.h"
#include "failure.h"
#include "format/ini_keys.h"
#include "stub_location.h"
#include "unpack.h"
#include "verify.h"

namespace vesk {

namespace {

// vesk alone and vesk --help: the commands' lines come from the table.
const char* const kToolHelpHead =
    "usage: vesk <command> [options]\n"
    "\n"
    "Builds and examines setup executables that install a Windows Installer package.\n"
    "\n"
    "commands:\n";
const char* const kToolHelpTail =
    "\n"
    "vesk <command> --help describes each command; vesk --version prints the version\n"
    "(vesk --version --verbose: and which stubs it found, and where).\n";
constexpr size_t kCommandColumn = 10;  // where a command's summary starts

// The end of every help text.
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

int RunPack(const PackOptions& pack) {
    SetVerbosity(pack.verbosity);
    Pack(pack);
    return 0;
}

int RunInspect(const InspectCommand& inspect) {
    Report report = InspectSetup(inspect.setup);
    if (inspect.json)
        report.PrintJson(std::cout);
    else
        report.PrintText(std::cout);
    return 0;
}

int RunVerify(const VerifyCommand& verify) {
    SignatureReport signature;
    std::vector<std::string> problems;
    try {
        problems = VerifySetup(verify.setup, &signature, verify.caFile);
    } catch (const Failure& failure) {
        // Not a setup at all: still one object for a JSON reader.
        if (!verify.json) throw;
        problems = {failure.Problem()};
        signature.state = "unknown";
    }
    if (verify.json) {
        Report listed = Report::Array();
        for (const std::string& problem : problems) listed.Push(Report::Text(problem));
        Report report = Report::Object();
        report.AddText("file", verify.setup.string())
            .Add("sound", Report::Boolean(problems.empty()))
            .AddText("signature", signature.state);
        if (signature.validFrom) report.AddText("validFrom", *signature.validFrom);
        if (signature.validUntil) report.AddText("validUntil", *signature.validUntil);
        report.Add("problems", std::move(listed));
        report.PrintJson(std::cout);
    } else {
        const std::string setup = Escaped(verify.setup.string());
        for (const std::string& problem : problems) std::cerr << "vesk: " << setup << ": " << problem << '\n';
        if (problems.empty()) std::cout << setup << ": OK (" << signature.state << ")\n";
    }
    return problems.empty() ? 0 : kExitFailure;
}

int RunUnpack(const UnpackCommand& unpack) {
    Unpack(unpack.setup, unpack.directory, unpack.force);
    return 0;
}

// The table's run function of a command whose options are of type Options.
template <typename Options, int (*run)(const Options&)>
int RunWith(const Command& command) {
    return run(std::get<Options>(command));
}

const CommandEntry kCommands[] = {
    {"pack", "write a setup executable from a stub, settings and an MSI", kPackHelp, ParsePack,
     RunWith<PackOptions, RunPack>},
    {"inspect", "print everything a setup holds", kInspectHelp, ParseInspect, RunWith<InspectCommand, RunInspect>},
    {"verify", "check a setup's structure, size and payload CRCs", kVerifyHelp, ParseVerify,
     RunWith<VerifyCommand, RunVerify>},
    {"unpack", "write a setup's settings and files back out", kUnpackHelp, ParseUnpack,
     RunWith<UnpackCommand, RunUnpack>},
};

std::string ToolHelp() {
    std::string text = kToolHelpHead;
    for (const CommandEntry& entry : kCommands) {
        std::string name = entry.name;
        text += "  " + name + std::string(kCommandColumn - name.size(), ' ') + entry.summary + "\n";
    }
    return text + kToolHelpTail + kExitCodes;
}

int Show(const ShowText& show) {
    (show.exitCode == 0 ? std::cout : std::cerr) << show.text;
    return show.exitCode;
}

}  // namespace

std::span<const CommandEntry> Commands() {
    return kCommands;
}

std::string CommandHelp(const CommandEntry& entry) {
    return std::string(entry.help) + kExitCodes;
}

int RunCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return Show(ShowText{ToolHelp(), kExitUsage});
    const std::string& command = arguments[0];
    if (command == "--help" || command == "-h") return Show(ShowText{ToolHelp()});
    if (command == "--version") {
        ArgumentWalker args(command, "", arguments);
        bool verbose = false;
        while (args.Next()) {
            if (args.Name() == "--verbose") verbose = true;
            else throw UsageError(command, "unknown option " + Escaped(args.Name()) + " (it takes only --verbose)");
        }
        return Show(ShowText{"vesk " VESK_TOOL_VERSION "\n" + (verbose ? DescribeStubs() : std::string())});
    }
    auto entry = std::find_if(std::begin(kCommands), std::end(kCommands),
                              [&](const CommandEntry& e) { return command == e.name; });
    if (entry == std::end(kCommands)) throw UsageError(command, "unknown command (see vesk --help)");
    ArgumentWalker args(command, CommandHelp(*entry), arguments);
    const Command parsed = entry->parse(args);
    if (auto* show = std::get_if<ShowText>(&parsed)) return Show(*show);
    return entry->run(parsed);
}

}  // namespace vesk
