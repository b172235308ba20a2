// The vesk binary as users run it: exit codes, one-line errors naming the
// input, and never an output file left behind by a failed pack.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <cstring>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "byte_order.h"
#include "commands.h"
#include "format/container_layout.h"
#include "escaped_text.h"
#include "ini_file.h"
#include "pe_image.h"
#include "settings_keys.h"
#include "setup_file.h"
#include "tool_test_support.h"

namespace vesk::test {
namespace {

const char* const kGuid = "{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}";

class Command : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        StartOver();
    }

    // The scratch directory with only the fake product and the synthetic stub.
    void StartOver() {
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) std::filesystem::remove_all(entry.path());
        WriteFakeMsi("product.msi", 5000);
        WriteStub();
    }

    // Writes settings.ini with the product and identity plus extra lines.
    void Settings(const std::string& extra) {
        WriteText("settings.ini", std::string("[VeskInstaller]\nProductFile=product.msi\nProductCode=") + kGuid +
                                      "\nProductVersion=1.0\nProductName=Sample\n" + extra);
    }

    std::vector<std::string> PackArgs(std::vector<std::string> extra = {}) const {
        std::vector<std::string> args = {"pack", Path("settings.ini").string(), "-o", Path("setup.exe").string(),
                                         "--stub", Path("stub.exe").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    ToolRun PackWith(std::vector<std::string> extra = {}) { return RunTool(PackArgs(std::move(extra))); }

    bool TemporaryExists() const {
        auto names = Listing();
        return std::any_of(names.begin(), names.end(),
                           [](const std::string& n) { return n.rfind("setup.exe.vesk-", 0) == 0; });
    }

    // Starts packing a sparse 1 GiB product (quick to make, slow to pack),
    // its errors into err.txt, and waits until its temporary file exists.
    // 0 when the pack ended before that.
    pid_t StartLongPack() {
        Settings("");
        if (truncate(Path("product.msi").c_str(), 1LL << 30) != 0) return 0;
        pid_t pid = StartTool({"pack", Path("settings.ini").string(), "-o", Path("setup.exe").string(), "--stub",
                               Path("stub.exe").string()},
                              "/dev/null", Path("err.txt").string());
        if (pid <= 0) return 0;
        int status = 0;
        while (!TemporaryExists())
            if (waitpid(pid, &status, WNOHANG) != 0) return 0;
        return pid;
    }

    // A pack on the real stub, whose resources unpack reads back without a
    // warning, so that its messages are the ones a test looks for.
    ToolRun PackOnRealStub(std::vector<std::string> extra = {}) {
        extra.insert(extra.end(), {"--stub", VESK_REAL_STUB});
        return PackWith(extra);
    }

    ToolRun UnpackTo(const std::string& directory, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"unpack", Path("setup.exe").string(), "-d", Path(directory).string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunTool(args);
    }

    // Overwrites bytes of setup.exe from offset on.
    void PatchSetup(uint64_t offset, const std::string& bytes) {
        std::vector<uint8_t> setup = ReadFile(Path("setup.exe"));
        std::copy(bytes.begin(), bytes.end(), setup.begin() + static_cast<std::ptrdiff_t>(offset));
        WriteFile(Path("setup.exe"), setup);
    }

    void PatchSetup32(uint64_t offset, uint32_t value) {
        std::string bytes(4, '\0');
        Store32(reinterpret_cast<uint8_t*>(bytes.data()), value);
        PatchSetup(offset, bytes);
    }

    // A failed command: exit 1 (2 for a usage error) and one line
    // "vesk: <input>: ..." that holds problem.
    void ExpectError(const ToolRun& run, const std::string& input, const std::string& problem, int exitCode = 1) {
        EXPECT_EQ(run.exitCode, exitCode) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << "one line: " << run.err;
        EXPECT_EQ(run.err.rfind("vesk: " + input + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(problem), std::string::npos) << run.err;
    }

    // A failed pack: the error, and the directory as it was.
    void ExpectRefused(const ToolRun& run, const std::string& input, const std::string& problem, int exitCode = 1) {
        ExpectError(run, input, problem, exitCode);
        auto listing = Listing();
        EXPECT_TRUE(std::none_of(listing.begin(), listing.end(),
                                 [](const std::string& n) { return n.rfind("setup.exe", 0) == 0; }))
            << "no setup.exe and no temporary file";
    }
    // Messages only: no raw control byte but the line ends, and every line
    // begins as vesk's messages do.
    static void ExpectPlainLines(const std::string& text) {
        EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) {
            auto u = static_cast<unsigned char>(c);
            return (u < 32 && c != '\n') || u == 127;
        })) << text;
        for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
            EXPECT_EQ(text.compare(at, 6, "vesk: "), 0) << text.substr(at);
    }
};

// A product of several copy chunks, the last one short: its stored CRC-32
// is zlib's of the file, and verify finds the CheckSum right.
TEST_F(Command, PackSaysWhatItWroteAndVerifyAgrees) {
    Settings("");
    WriteFakeMsi("product.msi", (5 << 19) + 3);
    ToolRun pack = PackWith();
    EXPECT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_EQ(pack.err, "vesk: wrote " + Path("setup.exe").string() + " (" +
                            std::to_string(std::filesystem::file_size(Path("setup.exe"))) + " bytes): stub " +
                            Path("stub.exe").string() + " (x86), product 2621443 bytes, not signed\n");
    const std::vector<uint8_t> product = ReadFile(Path("product.msi"));
    const SetupFile setup = OpenSetup(Path("setup.exe"));
    EXPECT_EQ(ReadTrailer(*setup.file, setup.payloads.back()),
              static_cast<uint32_t>(crc32(0, product.data(), static_cast<uInt>(product.size()))));
    EXPECT_EQ(PackWith({"--quiet"}).err, "");
    ToolRun verbose = PackWith({"--verbose"});
    for (const std::string& line : std::vector<std::string>{"vesk: stub " + Path("stub.exe").string() + ": x86, ",
                                   "vesk: product " + Path("product.msi").string() + ": 2621443 bytes, CRC-32 0x",
                                   "vesk: wrote "})
        EXPECT_NE(verbose.err.find(line), std::string::npos) << line << " in " << verbose.err;
    ToolRun verify = RunTool({"verify", Path("setup.exe").string()});
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    EXPECT_EQ(verify.out, Path("setup.exe").string() + ": OK (not signed)\n");
    ToolRun json = RunTool({"verify", "--json", Path("setup.exe").string()});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out, "{\n  \"file\": \"" + Path("setup.exe").string() +
                            "\",\n  \"sound\": true,\n  \"signature\": \"not signed\",\n  \"problems\": []\n}\n");
    EXPECT_EQ(access(Path("setup.exe").c_str(), X_OK), 0) << "the setup is executable";
}

TEST_F(Command, VerifyExitsOneWithALinePerProblem) {
    Settings("");
    ASSERT_EQ(PackWith().exitCode, 0);
    std::vector<uint8_t> bytes = ReadFile(Path("setup.exe"));
    bytes.push_back(0);
    WriteFile(Path("setup.exe"), bytes);
    ToolRun verify = RunTool({"verify", Path("setup.exe").string()});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_EQ(std::count(verify.err.begin(), verify.err.end(), '\n'), 2) << "size and CheckSum: " << verify.err;
    ToolRun json = RunTool({"verify", Path("setup.exe").string(), "--json"});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(json.err, "");
    EXPECT_NE(json.out.find("\"sound\": false"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"problems\": [\n    \"file is "), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\",\n    \"header CheckSum "), std::string::npos) << json.out;
    // A file that is not a setup at all is still one object, with the reason.
    WriteText("empty.exe", "");
    for (const std::string file : {"empty.exe", "product.msi"}) {
        SCOPED_TRACE(file);
        ToolRun notASetup = RunTool({"verify", "--json", Path(file).string()});
        EXPECT_EQ(notASetup.exitCode, 1);
        EXPECT_EQ(notASetup.err, "");
        WriteText("verify.json", notASetup.out);
        const std::string parse = "python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); "
                                  "sys.exit(not (d[\"sound\"] is False and len(d[\"problems\"]) == 1 and d[\"problems\"][0]))' '" +
                                  Path("verify.json").string() + "'";
        EXPECT_EQ(std::system(parse.c_str()), 0) << notASetup.out;
    }
}

// Texts stored in the code page read as themselves, once, in JSON's UTF-8.
TEST_F(Command, InspectJsonNamesEveryPart) {
    Settings("");
    ASSERT_EQ(PackWith({"--product-name", "Gr\u00fc\u00dfe Caf\u00e9"}).exitCode, 0);
    ToolRun inspect = RunTool({"inspect", Path("setup.exe").string(), "--json"});
    EXPECT_EQ(inspect.exitCode, 0) << inspect.err;
    for (const char* key : {"\"sections\"", "\"expectedFileSize\"", "\"initLine\"", "\"texts\"", "\"storedCrc\"",
                            "\"textTableOffset\"", "\"mode\": \"embedded\"", "\"textCodePage\": 1252",
                            "\"productName\": \"Gr\u00fc\u00dfe Caf\u00e9\""})
        EXPECT_NE(inspect.out.find(key), std::string::npos) << key;
    EXPECT_EQ(inspect.out.front(), '{');
}

TEST_F(Command, InspectTextShowsTheSixTexts) {
    Settings("Reboot=Restart now?\n");
    ASSERT_EQ(PackWith().exitCode, 0);
    ToolRun inspect = RunTool({"inspect", Path("setup.exe").string()});
    EXPECT_EQ(inspect.exitCode, 0);
    EXPECT_NE(inspect.out.find("text: \"Restart now?\""), std::string::npos) << inspect.out;
    EXPECT_NE(inspect.out.find("key: \"CRCError\""), std::string::npos);
}

// Every help gives the exit codes, and every option it names is in the man
// page and the bash completion; so is every settings key in the man page.
// The commands of the table, each with its line in vesk --help, are the man
// page's list and the completion's. vesk alone gives its usage as an error.
TEST_F(Command, HelpVersionManPageAndCompletion) {
    auto slurp = [](const std::string& name) {
        const auto bytes = ReadFile(std::filesystem::path(VESK_TOOL_SHARE) / name);
        return std::string(bytes.begin(), bytes.end());
    };
    const auto manual = ReadFile(VESK_TOOL_MANUAL);  // as built, its settings entries from the key table
    std::string manPage(manual.begin(), manual.end());
    for (size_t at; (at = manPage.find("\\-")) != std::string::npos;) manPage.erase(at, 1);
    const std::string completion = slurp("vesk.bash");
    const std::string toolHelp = RunTool({"--help"}).out;
    std::vector<std::vector<std::string>> helps = {{"--help"}};
    std::string manCommands;
    for (const CommandEntry& command : Commands()) {
        helps.push_back({command.name, "--help"});
        manCommands += std::string(".TP\n.B ") + command.name + "\n";
        EXPECT_NE(toolHelp.find(std::string("  ") + command.name + " "), std::string::npos) << command.name;
        EXPECT_NE(toolHelp.find(command.summary), std::string::npos) << command.name;
        EXPECT_NE(completion.find(command.name), std::string::npos) << command.name;
    }
    const size_t listAt = manPage.find(".SH COMMANDS\n"), listEnd = manPage.find("\n.SH ", listAt + 1);
    ASSERT_NE(listAt, std::string::npos);
    std::string manList;
    std::istringstream manLines(manPage.substr(listAt, listEnd - listAt));
    for (std::string line, previous; std::getline(manLines, line); previous = line)
        if (previous == ".TP" && line.rfind(".B ", 0) == 0) manList += ".TP\n" + line + "\n";
    EXPECT_EQ(manList, manCommands);
    for (auto args : helps) {
        SCOPED_TRACE(args[0]);
        ToolRun run = RunTool(args);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out.rfind("usage: vesk", 0), 0u);
        EXPECT_NE(run.out.find("exit codes: 0 success; 1 the operation failed"), std::string::npos);
        for (size_t at = 0; (at = run.out.find("--", at)) != std::string::npos;) {
            const size_t end = run.out.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-", at + 2);
            const std::string option = run.out.substr(at, end - at);
            EXPECT_NE(manPage.find(option), std::string::npos) << option << " not in the man page";
            EXPECT_NE(completion.find(option), std::string::npos) << option << " not in the completion";
            at = end;
        }
    }
    for (const SettingsKey& key : SettingsKeys()) EXPECT_NE(manPage.find(key.name), std::string::npos) << key.name;
    for (const char* section : {".SH EXIT STATUS", ".B 2", "SOURCE_DATE_EPOCH"})
        EXPECT_NE(manPage.find(section), std::string::npos) << section;
    ToolRun bare = RunTool({});
    EXPECT_EQ(bare.exitCode, 2);
    EXPECT_EQ(bare.out, "");
    EXPECT_EQ(bare.err.rfind("usage: vesk <command>", 0), 0u) << bare.err;
    ToolRun version = RunTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "vesk " VESK_TOOL_VERSION "\n");
    const std::filesystem::path besideTool = std::filesystem::path(VESK_TOOL_BINARY).parent_path();
    EXPECT_EQ(RunTool({"--version", "--verbose"}).out, "vesk " VESK_TOOL_VERSION "\nstub x86: " +
                                                           (besideTool / "vesk-stub.exe").string() + "\nstub x64: " +
                                                           (besideTool / "vesk-stub-x64.exe").string() + "\n");
}

// pack's help follows the key table: the line of each key's option names
// the key, an option line that begins with a key's name is that key's
// option, and every version string key is listed.
TEST_F(Command, PackHelpNamesTheKeysOfTheTable) {
    const std::string help = RunTool({"pack", "--help"}).out;
    constexpr size_t kDescriptionColumn = 28;
    std::map<std::string, std::string> optionLines;  // option: the first word of its description
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  --", 0) != 0 || line.size() <= kDescriptionColumn) continue;
        std::string word = line.substr(kDescriptionColumn, line.find_first_of(" :,", kDescriptionColumn) - kDescriptionColumn);
        optionLines[line.substr(2, line.find(' ', 2) - 2)] = word;
    }
    for (const SettingsKey& key : SettingsKeys()) {
        if (key.option) EXPECT_EQ(optionLines[key.option], key.name) << key.option;
        if (key.unpack == Unpacked::VersionString) EXPECT_NE(help.find(key.name), std::string::npos) << key.name;
    }
    for (const auto& [option, word] : optionLines)
        if (const SettingsKey* key = FindSettingsKey(word)) EXPECT_STREQ(key->option, option.c_str()) << word;
}

TEST_F(Command, SettingsWithAUtf8ByteOrderMarkPack) {
    Settings("");
    const auto text = ReadFile(Path("settings.ini"));
    WriteText("settings.ini", "\xEF\xBB\xBF" + std::string(text.begin(), text.end()));
    ToolRun run = PackWith();
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

// Messages name what to change: the option that gave a version the version
// resource cannot hold, and the options that choose a stub when none is
// found (a copy of the tool, with no stub beside it or in ../lib/vesk).
TEST_F(Command, MessagesNameWhatToChange) {
    Settings("");
    ToolRun run = PackOnRealStub({"--product-version", "1.0 beta"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("vesk: warning: --product-version: ProductVersion '1.0 beta' is not a.b.c.d"),
              std::string::npos)
        << run.err;
    std::filesystem::create_directory(Path("bin"));
    std::filesystem::copy_file(VESK_TOOL_BINARY, Path("bin") / "vesk");
    const std::string command = "'" + (Path("bin") / "vesk").string() + "' pack '" + Path("settings.ini").string() +
                                "' -o '" + Path("setup.exe").string() + "' 2>'" + Path("err.txt").string() + "'";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    const auto err = ReadFile(Path("err.txt"));
    EXPECT_NE(std::string(err.begin(), err.end()).find("vesk-stub.exe: not found in " + Path("bin").string() +
                                                       " or " + Path("lib/vesk").string() +
                                                       "; give --stub FILE, or --arch for another stub"),
              std::string::npos)
        << std::string(err.begin(), err.end());
}

TEST_F(Command, EmbeddedOnlyKeysDrawAWarningButPack) {
    Settings("Remove Previous=1\nInstMsi CmdLine=/q\nCmdLine=/qb\ncmdline=/qn\nCMDLINE=/qr\n");
    ToolRun run = PackWith();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("warning: " + Path("settings.ini").string() +
                           ":9: 'cmdline' is given again; the value on line 8 counts\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find(":10: "), std::string::npos) << "one warning for the key";
    EXPECT_NE(run.err.find("warning: " + Path("settings.ini").string() + ": Remove Previous"), std::string::npos);
    EXPECT_NE(run.err.find("InstMsi CmdLine"), std::string::npos);
}

// Bad inputs and usage errors, one to a row: each fails with its exit code
// (2 for the caller's mistakes, so that scripts can tell them from a bad
// input) and one line naming the input, and leaves no setup behind.
TEST_F(Command, RefusedInputs) {
    const std::string settings = Path("settings.ini").string();
    const std::string product = Path("product.msi").string();
    const std::string stub = Path("stub.exe").string();
    // Settings with the product alone, so that pack reads its Property table.
    auto productOnly = [this](const std::string& extra) {
        return [this, extra] { WriteText("settings.ini", "[VeskInstaller]\nProductFile=product.msi\n" + extra); };
    };
    auto settingsWith = [this](const std::string& extra) { return [this, extra] { Settings(extra); }; };
    auto stubShaped = [this](StubShape shape) { return [this, shape] { WriteStub(shape); }; };
    auto productNamed = [this](const std::string& name) { return [this, name] { WriteFakeMsi(name, 5000); }; };
    const std::string hostile = Path("no\x1b]0;TITLE\afile").string();
    auto replaced = [](const std::string& path, bool byDirectory) {
        return [path, byDirectory] {
            std::filesystem::remove(path);
            if (byDirectory) std::filesystem::create_directory(path);
        };
    };
    const struct {
        const char* name;
        std::function<void()> setup;  // after StartOver and Settings("")
        std::vector<std::string> args;
        std::string input;
        std::string problem;
        int exitCode = 1;
    } cases[] = {
        {"missing settings file", replaced(settings, false), PackArgs(), settings, "cannot open: No such file or directory"},
        {"settings path that is a directory", replaced(settings, true), PackArgs(), settings,
         "a directory, not a regular file"},
        {"settings file over 1 MiB", [&] { EXPECT_EQ(truncate(settings.c_str(), (1 << 20) + 1), 0); }, PackArgs(),
         settings, "is 1048577 bytes; a settings file holds at most 1 MiB"},
        {"settings file in UTF-16", [this] { WriteText("settings.ini", std::string("\xFF\xFE[\0V\0", 6)); },
         PackArgs(), settings, "is UTF-16 (little-endian); save it as UTF-8"},
        {"settings file with a NUL", settingsWith(std::string("; a\0b\n", 6)), PackArgs(), settings,
         "holds a NUL byte (at offset 132); a settings file is text"},
        {"settings file with CR line ends", [this] { WriteText("settings.ini", "[VeskInstaller]\rProductFile=p.msi\r"); },
         PackArgs(), settings, "ends a line with CR alone (at offset 15); save it with LF or CR LF line ends"},
        {"settings file without the section", [this] { WriteText("settings.ini", "[Vesk]\nProductFile=product.msi\n"); },
         PackArgs(), settings, "no [VeskInstaller] section"},
        {"missing product file", replaced(product, false), PackArgs(), product, "cannot open"},
        {"product that is a directory", replaced(product, true), PackArgs(), product, "not a regular file"},
        {"product named like the settings file unpack writes", [this] { WriteFakeMsi("Setup.INI", 5000); },
         PackArgs({"--product", Path("Setup.INI").string()}), Path("Setup.INI").string(),
         "file name 'Setup.INI' clashes with the settings file setup.ini that unpack writes; rename the product"},
        {"product named like the icon unpack writes", [this] { WriteFakeMsi("icon.ico", 5000); },
         PackArgs({"--product", Path("icon.ico").string()}), Path("icon.ico").string(), "clashes with the icon icon.ico"},
        // Names judged on the bytes the setup reads: in code page 932, the yen sign is stored as 0x5C.
        {"product name with a yen sign in code page 932", productNamed("..\u00a5..\u00a5evil.msi"),
         PackArgs({"--product", Path("..\u00a5..\u00a5evil.msi").string(), "--codepage", "932"}),
         Path("..\u00a5..\u00a5evil.msi").string(),
         "file name '..\u00a5..\u00a5evil.msi' cannot be used on Windows: it holds '\\\\' as the setup reads it in "
         "code page 932"},
        {"product named as a device", productNamed("aux.msi"), PackArgs({"--product", Path("aux.msi").string()}),
         Path("aux.msi").string(), "it names the Windows device AUX"},
        {"product that is not an MSI", [this] { WriteText("product.msi", "just text"); }, PackArgs(), product,
         "not an installer database"},
        {"database that crashes the MSI library",
         [&, bare = productOnly("")] {
             bare();
             std::filesystem::copy_file(
                 std::string(VESK_FUZZ_REGRESSIONS) + "/fuzz_vesk_msi/libmsi-null-read-in-database-new", product,
                 std::filesystem::copy_options::overwrite_existing);
         },
         PackArgs(), product, "cannot read its Property table (the MSI library failed on it: Segmentation fault)"},
        {"product with a signature but no database", productOnly(""), PackArgs(), product, "not an installer database"},
        {"transform without a product code", productOnly("TransformMSI=base.msi\n"), PackArgs(), product,
         "give ProductCode"},
        {"transform base with a quote", {}, PackArgs({"--transform-base", "base.msi\" X=1"}), "--transform-base",
         "TransformMSI: holds '\"'"},
        {"product code that is not a braced GUID", {},
         PackArgs({"--product-code", "6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10"}), "--product-code",
         "not a braced upper-case GUID"},
        {"product version too long for its field", {}, PackArgs({"--product-version", std::string(64, '1')}),
         "--product-version", "ProductVersion: is 64 bytes; at most 63 fit"},
        {"text too long for its length byte", settingsWith("AdminError=" + std::string(255, 'a') + "\n"), PackArgs(),
         settings, "AdminError: is 255 bytes; at most 254 fit"},
        {"text block over 255 bytes", settingsWith("CharFont=" + std::string(150, 'f') + "\n"),
         PackArgs({"--product-name", std::string(70, 'n')}), settings, "text block"},
        {"ExistError with another conversion", settingsWith("ExistError=%s has %d\n"), PackArgs(), settings,
         "ExistError: has the conversion %d"},
        {"text that is not UTF-8", {}, PackArgs({"--set", "AdminError=Caf\xE9"}), "--set AdminError",
         "AdminError: is not UTF-8 text: byte \\xe9 at offset 3"},
        {"version string that is not UTF-8", {}, PackArgs({"--set", "VersionCompanyName=Caf\xE9"}),
         "--set VersionCompanyName", "VersionCompanyName: is not UTF-8 text: byte \\xe9 at offset 3"},
        {"character the code page lacks", {}, PackArgs({"--product-name", "Gr\u00fc\u00dfe \u2713"}), "--product-name",
         "ProductName: holds '\u2713' (U+2713), which code page 1252 cannot show; choose the code page of the setup's "
         "users (CodePage, --codepage)"},
        {"character another code page lacks", settingsWith("CmdLine=Caf\u00e9\n"), PackArgs({"--codepage", "1251"}),
         settings, "CmdLine: holds '\u00e9' (U+00E9), which code page 1251 cannot show"},
        {"code page that is not an ANSI one", {}, PackArgs({"--codepage", "65001"}), "--codepage",
         "CodePage: '65001' is not a Windows ANSI code page (874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, "
         "1255, 1256, 1257, 1258)"},
        {"text too long in the code page", {},  // counted there: 65 bytes in UTF-8
         PackArgs({"--codepage", "932", "--product-version", std::string(62, 'v') + "\u65e5"}), "--product-version",
         "ProductVersion: is 64 bytes; at most 63 fit"},
        {"runtime version that is not a version", {}, PackArgs({"--runtime-version", "2.x"}), "--runtime-version",
         "not a version"},
        {"CharSize out of range", {}, PackArgs({"--set", "CharSize=300"}), "--set CharSize",
         "not a number from 0 to 255"},
        {"unknown key", {}, PackArgs({"--set", "Colour=red"}), "--set Colour", "unknown key"},
        {"stub that is not a PE image", [this] { WriteText("stub.exe", "MZ but nothing more"); }, PackArgs(), stub,
         "not a PE image"},
        {"ARM64 stub", stubShaped({.machine = 0xAA64}), PackArgs(), stub, "built for ARM64 (machine 0xAA64)"},
        {"ARMv7 stub", stubShaped({.machine = 0x01C4}), PackArgs(), stub, "built for ARMv7 Thumb-2 (machine 0x1C4)"},
        {"stub of an unknown machine", stubShaped({.machine = 0x1234}), PackArgs(), stub,
         "built for an unknown machine (machine 0x1234)"},
        {"i386 stub with a PE32+ header", stubShaped({.x64 = true, .machine = 0x014C}), PackArgs(), stub,
         "an i386 image without a PE32 optional header (magic 0x20B)"},
        {"x86-64 stub with a PE32 header", stubShaped({.machine = 0x8664}), PackArgs(), stub,
         "an x86-64 image without a PE32+ optional header (magic 0x10B)"},
        {"unknown architecture", {}, PackArgs({"--arch", "arm64"}), "pack", "--arch takes x86 or x64, not 'arm64'", 2},
        {"architecture that is not UTF-8", {}, PackArgs({"--arch", "A\xff"}), "pack", "not 'A\\xff'", 2},
        {"output path with a line break", {}, PackArgs({"-o", Path("x\n/y.exe").string()}),
         Escaped(Path("x\n/y.exe").string()), "cannot create output"},
        {"setup path with an escape sequence", {}, {"verify", hostile}, Escaped(hostile), "cannot open"},
        {"x86 stub for --arch x64", {}, PackArgs({"--arch", "x64"}), stub, "an x86 stub, where --arch asks for x64"},
        {"x64 stub for --arch x86", stubShaped({.x64 = true}), PackArgs({"--arch", "x86"}), stub,
         "an x64 stub, where --arch asks for x86"},
        {"x86 stub for Arch=x64", settingsWith("Arch=x64\n"), PackArgs(), stub,
         "an x86 stub, where Arch in " + settings + " asks for x64"},
        {"Arch that is not an architecture", settingsWith("Arch=arm64\n"), PackArgs(), settings,
         "Arch: 'arm64' is not x86 or x64"},
        {"stub without a .VESK section", stubShaped({.vesk = false}), PackArgs(), stub, "no .VESK section"},
        {"stub whose headers pass the first 1536 bytes", stubShaped({.extraSections = 30}), PackArgs(), stub,
         "beyond the first 1536 bytes"},
        {"setup reaching 2 GiB", [&] { EXPECT_EQ(truncate(product.c_str(), (1LL << 31) - 8), 0); }, PackArgs(),
         Path("setup.exe").string(), "below 2 GiB"},
        {"no output", {}, {"pack", settings}, "pack", "no output given (-o SETUP.exe)", 2},
        {"option without its value", {}, {"pack", settings, "-o"}, "pack", "-o needs a value", 2},
        {"output to standard output", {}, {"pack", settings, "-o", "-"}, "pack",
         "-o -: a setup cannot be written to standard output", 2},
        {"unknown option", {}, {"pack", settings, "--bogus", "-o", "x.exe"}, "pack",
         "unknown option --bogus (see vesk pack --help)", 2},
        {"verify without a setup", {}, {"verify"}, "verify", "no setup given", 2},
        {"inspect with two setups", {}, {"inspect", "a.exe", "b.exe"}, "inspect", "more than one setup given", 2},
        {"unpack without a directory", {}, {"unpack", "a.exe"}, "unpack", "no directory given (-d DIR)", 2},
        {"unpack into a directory that is not empty",
         [&] {
             ASSERT_EQ(PackOnRealStub({"-o", Path("packed.exe").string()}).exitCode, 0);
             std::filesystem::create_directory(Path("out"));
             WriteText("out/setup.ini", "the user's own");
         },
         {"unpack", Path("packed.exe").string(), "-d", Path("out").string()}, Path("out").string(),
         "directory is not empty; give --force to write into it"},
        {"unknown command", {}, {"frobnicate"}, "frobnicate", "unknown command (see vesk --help)", 2},
        {"--version with another option", {}, {"--version", "--json"}, "--version", "unknown option --json", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        Settings("");
        if (c.setup) c.setup();
        ExpectRefused(RunTool(c.args), c.input, c.problem, c.exitCode);
    }
    // An empty value, as an unset variable gives it, is a usage error for
    // every option that takes one (an empty --sign-cert packed unsigned).
    Settings("");
    std::vector<std::pair<std::vector<std::string>, std::string>> empties = {
        {PackArgs({"--output="}), "--output is given an empty value"},
        {{"unpack", "a.exe", "-d", ""}, "-d is given an empty value"},
        {{"unpack", "a.exe", "--directory="}, "--directory is given an empty value"},
        {{"verify", "a.exe", "--ca-file", ""}, "--ca-file is given an empty value"},
        {{"pack", "", "-o", "x.exe"}, "the settings file is given an empty name"},
        {{"unpack", "", "-d", "out"}, "the setup is given an empty name"},
        {{"inspect", ""}, "the setup is given an empty name"},
    };
    for (const char* option : {"-o", "--stub", "--arch", "--product", "--product-code", "--product-version",
                               "--product-name", "--transform-base", "--runtime-nt", "--runtime-9x",
                               "--runtime-version", "--codepage", "--splash", "--icon", "--execution-level", "--set",
                               "--sign-cert", "--sign-key", "--sign-pass", "--timestamp", "--sign-timeout"})
        empties.push_back({PackArgs({option, ""}), std::string(option) + " is given an empty value"});
    for (const auto& [args, problem] : empties) {
        SCOPED_TRACE(problem);
        ExpectRefused(RunTool(args), args[0], problem, 2);
    }
}

TEST_F(Command, ArchX64PacksAnX64Stub) {
    Settings("");
    WriteStub({.x64 = true});
    ToolRun pack = PackWith({"--arch", "x64"});
    EXPECT_EQ(pack.exitCode, 0) << pack.err;
}

// The architecture survives unpack: settings that say Arch=x64 take the x64
// stub beside the tool, unless --arch says otherwise.
TEST_F(Command, UnpackedArchChoosesTheStub) {
    Settings("");
    ASSERT_EQ(RunTool({"pack", Path("settings.ini").string(), "-o", Path("setup.exe").string(), "--arch", "x64"})
                  .exitCode,
              0);
    ASSERT_EQ(UnpackTo("out").exitCode, 0);
    const std::string again = Path("again.exe").string();
    for (const auto& [extra, arch] : std::vector<std::pair<std::vector<std::string>, StubArch>>{
             {{}, StubArch::X64}, {{"--arch", "x86"}, StubArch::X86}}) {
        std::vector<std::string> args = {"pack", (Path("out") / "setup.ini").string(), "-o", again};
        args.insert(args.end(), extra.begin(), extra.end());
        ToolRun run = RunTool(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(OpenSetup(again).image.arch, arch);
    }
}

// A large payload shows a progress bar on a terminal (script(1) gives the
// pack one), unless --quiet; never in a pipe or file.
TEST_F(Command, ProgressBarOnlyOnATerminal) {
    Settings("");
    ASSERT_EQ(truncate(Path("product.msi").c_str(), 80 << 20), 0);
    auto onTerminal = [&](const std::string& extra) {
        const std::string command = "script -qec \"'" + std::string(VESK_TOOL_BINARY) + "' pack '" +
                                    Path("settings.ini").string() + "' -o '" + Path("setup.exe").string() +
                                    "' --stub '" + Path("stub.exe").string() + "' " + extra + "\" /dev/null >'" +
                                    Path("terminal.txt").string() + "' 2>&1 </dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        const auto shown = ReadFile(Path("terminal.txt"));
        return std::string(shown.begin(), shown.end());
    };
    const std::string shown = onTerminal("");
    EXPECT_NE(shown.find("\rpacking product [########################################] 100%"), std::string::npos) << shown;
    EXPECT_EQ(onTerminal("--quiet"), "");
    EXPECT_EQ(PackWith().err.find('\r'), std::string::npos);
}

TEST_F(Command, FailedPackKeepsAnEarlierSetup) {
    Settings("");
    ASSERT_EQ(PackWith().exitCode, 0);
    const auto good = ReadFile(Path("setup.exe"));
    ToolRun run = PackWith({"--product-code", "bad"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadFile(Path("setup.exe")), good) << "the old setup is not touched";
}

// Faults from outside a pack: signals, a product that shrinks, a disk that
// fills up, a device or directory where a file is expected.
TEST_F(Command, InterruptedPackLeavesNoFile) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        pid_t pid = StartLongPack();
        if (pid == 0) GTEST_SKIP() << "pack finished before it could be interrupted";
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFSIGNALED(status)) GTEST_SKIP() << "pack finished before the signal arrived";
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_FALSE(TemporaryExists()) << "the temporary file is removed";
        EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
    }
}

TEST_F(Command, ProductThatShrinksWhileReadIsRefused) {
    pid_t pid = StartLongPack();
    if (pid == 0) GTEST_SKIP() << "pack finished before the product could shrink";
    ASSERT_EQ(truncate(Path("product.msi").c_str(), 1 << 20), 0);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 0) GTEST_SKIP() << "pack had read the product before it shrank";
    const auto said = ReadFile(Path("err.txt"));
    ToolRun run{WEXITSTATUS(status), "", std::string(said.begin(), said.end())};
    std::filesystem::remove(Path("err.txt"));
    ExpectRefused(run, Path("product.msi").string(), "changed while read");
}

TEST_F(Command, FullDiskLeavesNoFile) {
    Settings("");
    ASSERT_EQ(truncate(Path("product.msi").c_str(), 4 << 20), 0);
    // Writes past 1 MiB fail as they would on a full disk (EFBIG here).
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small{1 << 20, previous.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ToolRun run = PackWith();
    setrlimit(RLIMIT_FSIZE, &previous);
    ExpectRefused(run, Path("setup.exe").string(), "cannot write: File too large");
}

TEST_F(Command, OutputOntoADeviceIsRefusedAndTheDeviceKept) {
    Settings("");
    ToolRun run = RunTool({"pack", Path("settings.ini").string(), "-o", "/dev/full", "--stub",
                           Path("stub.exe").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "vesk: /dev/full: not a regular file; give the path of a file to write\n");
    struct stat device {};
    ASSERT_EQ(stat("/dev/full", &device), 0);
    EXPECT_TRUE(S_ISCHR(device.st_mode)) << "/dev/full is still the device";
    for (const auto& entry : std::filesystem::directory_iterator("/dev"))
        EXPECT_NE(entry.path().filename().string().rfind("full.vesk-", 0), 0u) << entry.path();
}

// What verify --help says it cannot see is so: two words of the container
// head swapped keep the CheckSum, and no CRC covers the head.
TEST_F(Command, VerifyHelpSaysWhatItCannotSee) {
    ToolRun help = RunTool({"verify", "--help"});
    EXPECT_NE(help.out.find("container head"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("has no CRC of its own"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("sign the setup while packing it"), std::string::npos) << help.out;
    Settings("CmdLine=/qb ALLUSERS=1\n");
    ASSERT_EQ(PackWith().exitCode, 0);
    const std::vector<uint8_t> bytes = ReadFile(Path("setup.exe"));
    const std::string text(bytes.begin(), bytes.end());
    size_t at = text.find("/qb ALLUSERS=1");
    ASSERT_NE(at, std::string::npos);
    at += at % 2;  // the CheckSum adds 16-bit words at even offsets
    PatchSetup(at, text.substr(at + 2, 2) + text.substr(at, 2));
    ASSERT_NE(ReadFile(Path("setup.exe")), bytes);
    EXPECT_EQ(RunTool({"verify", Path("setup.exe").string()}).exitCode, 0);
}

// Hostile stubs, setups, settings and paths.
TEST_F(Command, StubSectionPastTheFileIsRefusedWhateverItsSize) {
    Settings("");
    for (const std::string name : {".VESK", ".rsrc"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> stub = BuildStub();
        for (const PeSection& s : ParsePeImage(stub, "stub").sections) {
            if (s.name != name) continue;
            Store32(&stub[s.headerOffset + PE_SECTION_SIZE_OF_RAW_DATA], 0);
            Store32(&stub[s.headerOffset + PE_SECTION_POINTER_TO_RAW_DATA], static_cast<uint32_t>(stub.size() + 0x1000));
        }
        WriteFile(Path("stub.exe"), stub);
        ExpectRefused(PackWith(), Path("stub.exe").string(), "section " + name + " raw data (0x");
    }
}

TEST_F(Command, ControlCharactersInValuesAreRefused) {
    WriteFakeMsi("nt.exe", 3000);
    const struct {
        std::string settings;
        std::vector<std::string> options;
        std::string input;
        std::string problem;
    } cases[] = {
        {std::string("CharFont=Tahoma") + '\0' + "Injected Name\n", {}, "settings.ini", "holds a NUL byte (at offset 144)"},
        {"", {"--product-name", "A\x1b[2JB"}, "--product-name", "ProductName: value holds the control character \\x1b"},
        {"CmdLine=/qb\x7f\n", {}, "settings.ini", "CmdLine: value holds the control character \\x7f"},
        {"RuntimeNT=nt\x01.exe\n", {}, "settings.ini", "RuntimeNT: value holds the control character \\x01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        Settings(c.settings);
        const std::string input = c.input == "settings.ini" ? Path(c.input).string() : c.input;
        ExpectRefused(PackWith(c.options), input, c.problem);
    }
    Settings("CharFont=Ta\thoma\n");
    ToolRun tab = PackWith();
    EXPECT_EQ(tab.exitCode, 0) << "a tab is text: " << tab.err;

    // A stored text with one, as another builder might write it: unpack
    // leaves it out, so that its settings pack again.
    Settings("CmdLine=/qb ALLUSERS=1\n");
    ASSERT_EQ(PackWith().exitCode, 0);
    const std::vector<uint8_t> bytes = ReadFile(Path("setup.exe"));
    PatchSetup(std::string(bytes.begin(), bytes.end()).find("/qb"), "\x1b");
    ToolRun unpack = UnpackTo("out");
    EXPECT_EQ(unpack.exitCode, 0) << unpack.err;
    EXPECT_NE(unpack.err.find("CmdLine holds the control character \\x1b, which a settings value cannot; left out"),
              std::string::npos)
        << unpack.err;
    ToolRun again = RunTool({"pack", (Path("out") / "setup.ini").string(), "-o", Path("again.exe").string(), "--stub",
                             Path("stub.exe").string()});
    EXPECT_EQ(again.exitCode, 0) << again.err;
}

TEST_F(Command, BytesFromFilesArePrintedEscaped) {
    Settings("Col\x1bour=red\n");
    ToolRun pack = PackWith({"--set", "CharSet=1"});
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    ExpectPlainLines(pack.err);
    EXPECT_NE(pack.err.find("unknown key 'Col\\x1bour'"), std::string::npos) << pack.err;
    Settings("CharSize=\x1b[31m\n");
    ToolRun badSize = PackWith();
    ExpectPlainLines(badSize.err);
    EXPECT_NE(badSize.err.find("'\\x1b[31m' is not a number"), std::string::npos) << badSize.err;

    const std::vector<uint8_t> good = ReadFile(Path("setup.exe"));
    const std::string text(good.begin(), good.end());
    const uint64_t container = OpenSetup(Path("setup.exe")).containerOffset;
    // An init line that no prefix and suffix compose: unpack warns, quoting it.
    PatchSetup(text.find("Vesk Installation"), "\x1b");
    ToolRun warned = UnpackTo("out");
    EXPECT_EQ(warned.exitCode, 0) << warned.err;
    ExpectPlainLines(warned.err);
    EXPECT_NE(warned.err.find("init line 'Initializing \\x1besk Installation Wizard...'"), std::string::npos)
        << warned.err;
    // A stored product name with a line break and an escape sequence.
    WriteFile(Path("setup.exe"), good);
    PatchSetup(container + CONTAINER_STRINGS_OFFSET, "a\nb\x1b[31mc.m");
    ToolRun refused = UnpackTo("out2");
    ExpectError(refused, Path("setup.exe").string(), "product file name 'a\\nb\\x1b[31mc.m' is not a plain file name");
    ExpectPlainLines(refused.err);
    // A section name likewise, on a section that runs past the file.
    WriteFile(Path("setup.exe"), good);
    const PeImage image = ParsePeImage(good, "setup");
    const PeSection& rsrc = *std::find_if(image.sections.begin(), image.sections.end(),
                                          [](const PeSection& s) { return s.name == ".rsrc"; });
    PatchSetup(rsrc.headerOffset, std::string(".r\n\x1b]2;", 7));
    PatchSetup32(rsrc.headerOffset + PE_SECTION_SIZE_OF_RAW_DATA, 0x7FFF0000);
    ToolRun verify = RunTool({"verify", Path("setup.exe").string()});
    EXPECT_EQ(verify.exitCode, 1);
    ExpectPlainLines(verify.err);
    EXPECT_NE(verify.err.find("section .r\\n\\x1b]2; raw data"), std::string::npos) << verify.err;
}

// A setup of an earlier vesk records no code page: its texts are read as
// 1252, and unpack says that pack will record it.
TEST_F(Command, UnpackReadsASetupWithoutACodePageAs1252) {
    Settings("");
    ASSERT_EQ(PackWith({"--product-name", "Caf\u00e9"}).exitCode, 0);
    PatchSetup32(OpenSetup(Path("setup.exe")).containerOffset, 0);
    ToolRun unpack = UnpackTo("out");
    EXPECT_EQ(unpack.exitCode, 0) << unpack.err;
    EXPECT_NE(unpack.err.find("no text code page is recorded; texts read as 1252, which pack will record"),
              std::string::npos)
        << unpack.err;
    auto ini = IniSection::Read(Path("out") / "setup.ini", "VeskInstaller");
    EXPECT_EQ(ini.Get("ProductName"), "Caf\u00e9");
    EXPECT_EQ(ini.Get("CodePage"), "1252");
}

// A setup from another builder, its product named like a file unpack
// writes (pack refuses such a name): refused before anything is written.
TEST_F(Command, UnpackRefusesAProductNamedLikeAFileItWrites) {
    const struct {
        const char* product;
        const char* problem;
    } cases[] = {
        {"setup.ini", "product file name 'setup.ini' clashes with the settings file setup.ini that unpack writes"},
        {"SETUP.INI", "product file name 'SETUP.INI' clashes with the settings file setup.ini"},
        {"Runtime-NT.exe", "product file name 'Runtime-NT.exe' clashes with a runtime file runtime-nt.exe"},
        {"splash.bmp", "product file name 'splash.bmp' clashes with the splash picture splash.bmp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.product);
        const std::string packed = std::string(std::strlen(c.product) - 4, 'p') + ".msi";
        WriteFakeMsi(packed, 5000);
        Settings("");
        ASSERT_EQ(PackOnRealStub({"--product", Path(packed).string()}).exitCode, 0);
        PatchSetup(OpenSetup(Path("setup.exe")).containerOffset + CONTAINER_STRINGS_OFFSET, c.product);
        ExpectError(UnpackTo("out"), Path("setup.exe").string(), c.problem);
        EXPECT_FALSE(std::filesystem::exists(Path("out"))) << "nothing written";
    }
}

TEST_F(Command, FailedUnpackLeavesNoDirectory) {
    Settings("");
    ASSERT_EQ(PackOnRealStub().exitCode, 0);
    const std::vector<uint8_t> good = ReadFile(Path("setup.exe"));
    const SetupFile setup = OpenSetup(Path("setup.exe"));
    const uint64_t productData = setup.payloads.back().offset + 100;
    const struct {
        uint64_t offset;
        std::string bytes;
        const char* problem;
    } cases[] = {
        {setup.containerOffset + CONTAINER_STRINGS_OFFSET, "../", "is not a plain file name"},
        {productData, std::string(1, static_cast<char>(good[productData] ^ 0xFF)), "does not match its CRC-32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        WriteFile(Path("setup.exe"), good);
        PatchSetup(c.offset, c.bytes);
        ExpectError(UnpackTo("a/b/c"), Path("setup.exe").string(), c.problem);
        EXPECT_FALSE(std::filesystem::exists(Path("a"))) << "no directory made for nothing";
    }
}

TEST_F(Command, UnpackOntoAFullDiskLeavesNothing) {
    WriteFakeMsi("nt.exe", 3000);
    WriteFakeMsi("product.msi", 3 << 19);
    Settings("RuntimeNT=nt.exe\n");
    ASSERT_EQ(PackOnRealStub().exitCode, 0);
    std::filesystem::create_directory(Path("kept"));
    WriteText("kept/mine.txt", "not the tool's");
    for (const std::string directory : {"made", "kept"}) {
        SCOPED_TRACE(directory);
        // Writes past 1.25 MiB fail: the product's first MiB is written,
        // the rest fails only when the files are completed.
        rlimit previous{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small{5 << 18, previous.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        ToolRun run = UnpackTo(directory, {"--force"});
        setrlimit(RLIMIT_FSIZE, &previous);
        ExpectError(run, (Path(directory) / "product.msi").string(), "cannot write: File too large");
    }
    EXPECT_FALSE(std::filesystem::exists(Path("made")));
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(Path("kept")))
        kept.push_back(entry.path().filename().string());
    EXPECT_EQ(kept, std::vector<std::string>{"mine.txt"});
}

// A file that cannot be renamed into place after others were: those are
// removed again. An immutable settings file stands in the way (root only).
TEST_F(Command, UnpackThatCannotPlaceEveryFileLeavesNone) {
    WriteFakeMsi("nt.exe", 3000);
    Settings("RuntimeNT=nt.exe\n");
    ASSERT_EQ(PackOnRealStub().exitCode, 0);
    std::filesystem::create_directory(Path("out"));
    WriteText("out/setup.ini", "[VeskInstaller]\n");
    const int fd = open(Path("out/setup.ini").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    int flags = 0;
    const bool immutable = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                           (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (!immutable) {
        close(fd);
        GTEST_SKIP() << "cannot make a file immutable here";
    }
    ToolRun run = UnpackTo("out", {"--force"});
    flags &= ~FS_IMMUTABLE_FL;
    ioctl(fd, FS_IOC_SETFLAGS, &flags);
    close(fd);
    ExpectError(run, (Path("out") / "setup.ini").string(), "cannot write: Operation not permitted");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(Path("out")))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"setup.ini"});
}

// One rule for a sound container: a setup verify refuses, unpack refuses
// with the same words.
TEST_F(Command, UnpackAndVerifyJudgeAContainerAlike) {
    Settings("");
    ASSERT_EQ(PackWith().exitCode, 0);
    const std::vector<uint8_t> good = ReadFile(Path("setup.exe"));
    const SetupFile setup = OpenSetup(Path("setup.exe"));
    const uint32_t stored = setup.payloads.back().storedSize;
    const struct {
        uint32_t productSize;
        const char* problem;
    } cases[] = {
        {0, "no product payload"},
        {2, "product payload size 2 is too small for its CRC-32"},
        {stored + 0x200, "product payload runs past the end of .VESK or the file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        WriteFile(Path("setup.exe"), good);
        PatchSetup32(setup.containerOffset + 24, c.productSize);
        ToolRun verify = RunTool({"verify", Path("setup.exe").string()});
        EXPECT_EQ(verify.exitCode, 1);
        EXPECT_NE(verify.err.find(Path("setup.exe").string() + ": " + c.problem + "\n"), std::string::npos)
            << verify.err;
        ExpectError(UnpackTo("out"), Path("setup.exe").string(), c.problem);
        EXPECT_FALSE(std::filesystem::exists(Path("out")));
    }
    // A product file name edited by hand into a path or a device.
    for (const std::string& name : {std::string("..\\x.msi"), std::string("aux.msi")}) {
        SCOPED_TRACE(name);
        WriteFile(Path("setup.exe"), good);
        PatchSetup(setup.containerOffset + CONTAINER_STRINGS_OFFSET, name + '\0');
        const std::string problem = "product file name " + Quoted(name) + " is not a plain file name: it ";
        ToolRun verify = RunTool({"verify", Path("setup.exe").string()});
        EXPECT_EQ(verify.exitCode, 1);
        EXPECT_NE(verify.err.find(Path("setup.exe").string() + ": " + problem), std::string::npos) << verify.err;
        ExpectError(UnpackTo("out"), Path("setup.exe").string(), problem);
    }
}

TEST_F(Command, FifoInputsAreRefusedWithoutWaitingForAWriter) {
    WriteFakeMsi("nt.exe", 3000);
    Settings("RuntimeNT=nt.exe\n");
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    const std::string fifo = Path("fifo").string();
    const std::string settings = Path("settings.ini").string();
    const std::string stub = Path("stub.exe").string();
    const std::string setup = Path("setup.exe").string();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"pack", fifo, "-o", setup, "--stub", stub},
             {"pack", settings, "--product", fifo, "-o", setup, "--stub", stub},
             {"pack", settings, "--runtime-nt", fifo, "-o", setup, "--stub", stub},
             {"pack", settings, "-o", setup, "--stub", fifo},
             {"verify", fifo},
             {"inspect", fifo},
             {"unpack", fifo, "-d", Path("out").string()}}) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        ExpectRefused(RunTool(args), fifo, "not a regular file");
    }
}

// Outputs: never over something that is not a regular file, never over an
// input, whatever the length of the name.
TEST_F(Command, OutputThatIsNotARegularFileIsRefusedAndKept) {
    Settings("");
    WriteText("target.exe", "someone's file");
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink(Path("target.exe"), Path("link.exe"));
    std::filesystem::create_symlink(Path("nowhere.exe"), Path("dangling.exe"));
    const struct {
        const char* name;
        const char* problem;
    } cases[] = {
        {"fifo", "not a regular file; give the path of a file to write"},
        {"link.exe", "a symbolic link; give the path of a file to write, not a link"},
        {"dangling.exe", "a symbolic link; give the path of a file to write, not a link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run = PackWith({"-o", Path(c.name).string()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "vesk: " + Path(c.name).string() + ": " + c.problem + "\n");
    }
    EXPECT_TRUE(std::filesystem::is_fifo(Path("fifo")));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.exe")));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("dangling.exe")));
    const auto target = ReadFile(Path("target.exe"));
    EXPECT_EQ(std::string(target.begin(), target.end()), "someone's file");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"dangling.exe", "fifo", "link.exe", "product.msi", "settings.ini",
                                                   "stub.exe", "target.exe"}));
}

TEST_F(Command, OutputThatIsAnInputIsRefused) {
    WriteFakeMsi("nt.exe", 3000);
    Settings("RuntimeNT=nt.exe\n");
    ASSERT_EQ(link(Path("product.msi").c_str(), Path("hard.msi").c_str()), 0);
    const struct {
        const char* output;
        const char* input;
    } cases[] = {{"product.msi", "product.msi"}, {"settings.ini", "settings.ini"}, {"stub.exe", "stub.exe"},
                 {"nt.exe", "nt.exe"}, {"hard.msi", "product.msi"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const auto before = ReadFile(Path(c.output));
        ToolRun run = PackWith({"-o", Path(c.output).string()});
        ExpectError(run, Path(c.output).string(), std::string("the same file as the input ") + Path(c.input).string());
        EXPECT_EQ(ReadFile(Path(c.output)), before);
    }
    // A setup unpacked into its own directory, under the product's name.
    std::filesystem::create_directory(Path("out"));
    const std::string setup = (Path("out") / "product.msi").string();
    ASSERT_EQ(PackOnRealStub({"-o", setup}).exitCode, 0);
    const auto packed = ReadFile(setup);
    ExpectError(RunTool({"unpack", setup, "-d", Path("out").string(), "--force"}), setup,
                "the same file as the input " + setup);
    EXPECT_EQ(ReadFile(setup), packed);
}

TEST_F(Command, OutputNamesUpToTheNameLimitArePacked) {
    Settings("");
    for (size_t length : {size_t{244}, size_t{255}}) {
        SCOPED_TRACE(length);
        const std::string name = std::string(length - 4, 's') + ".exe";
        ToolRun run = PackWith({"-o", Path(name).string()});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(std::filesystem::is_regular_file(Path(name)));
        std::filesystem::remove(Path(name));
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"product.msi", "settings.ini", "stub.exe"}));
}

// Other ends of a run: a closed error pipe is handled like an interrupt;
// what a killed run leaves, the next run of the same output removes, while
// a running one's file stays.
TEST_F(Command, ClosedErrorPipeLeavesNoTemporaryFile) {
    Settings("");
    ASSERT_EQ(PackOnRealStub().exitCode, 0);
    // A text code page that is no Windows one draws a warning while the
    // files are being written.
    PatchSetup32(OpenSetup(Path("setup.exe")).containerOffset, 1);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    pid_t pid = StartTool({"unpack", Path("setup.exe").string(), "-d", Path("out").string()}, "/dev/null", pipeEnds[1]);
    close(pipeEnds[1]);
    ASSERT_GT(pid, 0);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGPIPE);
    if (std::filesystem::exists(Path("out"))) {
        for (const auto& entry : std::filesystem::directory_iterator(Path("out")))
            EXPECT_EQ(entry.path().filename().string().find(".vesk-"), std::string::npos) << entry.path();
    }
}

TEST_F(Command, StaleTemporaryFileIsRemovedAndALiveOneKept) {
    Settings("");
    // A process that has ended, whose id names the file of a killed run.
    const pid_t ended = fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) _exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(ended, &status, 0), ended);
    const std::string stale = "setup.exe.vesk-" + std::to_string(ended) + "-abc123";
    // Files named as the tool names them, each failing one of the marks of
    // a dead run's file: mode 0600, no lock held, its process gone.
    const std::string dead = "setup.exe.vesk-" + std::to_string(ended);
    const std::string kept[] = {dead + "-note01", dead + "-lockd1",
                                "setup.exe.vesk-" + std::to_string(getpid()) + "-alive1", "setup.exe.vesk-notes"};
    for (const std::string& name : {stale, kept[0], kept[1], kept[2], kept[3]}) {
        WriteText(name, "a file of the user's");
        if (name != kept[0]) std::filesystem::permissions(Path(name), std::filesystem::perms::owner_read |
                                                                          std::filesystem::perms::owner_write);
    }
    const int locked = open(Path(kept[1]).c_str(), O_RDONLY);
    ASSERT_EQ(flock(locked, LOCK_EX), 0);
    ToolRun run = PackWith();
    close(locked);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(std::filesystem::exists(Path(stale))) << "the dead run's file is removed";
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(Path(name))) << name;
}

// A signal while unpack writes: the files in progress and the directories
// it made go. Its error pipe is full, so that it waits on its first warning
// (a code page that is no Windows one) with its files begun.
TEST_F(Command, InterruptedUnpackLeavesNoDirectory) {
    Settings("");
    ASSERT_EQ(PackOnRealStub().exitCode, 0);
    PatchSetup32(OpenSetup(Path("setup.exe")).containerOffset, 1);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);
    const std::string fill(4096, 'x');
    while (write(pipeEnds[1], fill.data(), fill.size()) > 0) {
    }
    fcntl(pipeEnds[1], F_SETFL, 0);
    pid_t pid = StartTool({"unpack", Path("setup.exe").string(), "-d", Path("a/b/out").string()}, "/dev/null",
                          pipeEnds[1]);
    close(pipeEnds[1]);
    ASSERT_GT(pid, 0);
    for (int tries = 0; tries < 1000 && !std::filesystem::exists(Path("a/b/out")); ++tries) usleep(10000);
    const bool made = std::filesystem::exists(Path("a/b/out"));
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(pipeEnds[0]);
    ASSERT_TRUE(made) << "unpack never made its directory";
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_FALSE(std::filesystem::exists(Path("a"))) << "every level it made is removed";
}

// Both real stubs, found beside the tool by --arch, pack into setups that
// the toolchain's own objdump reads as images of their machine. Neither
// holds its link time (in the file header and the export directory), so two
// builds of one commit are the same bytes.
TEST_F(Command, RealStubsOfBothArchitecturesReadCleanly) {
    const std::filesystem::path tool_dir = std::filesystem::path(VESK_TOOL_BINARY).parent_path();
    ASSERT_FALSE(SampleMsi().empty()) << "wixl could not build the fixture MSI";
    const struct {
        const char* arch;
        const char* stub;
        const char* objdump;
        const char* format;
    } stubs[] = {{"x86", "vesk-stub.exe", "i686-w64-mingw32-objdump", "pei-i386"},
                 {"x64", "vesk-stub-x64.exe", "x86_64-w64-mingw32-objdump", "pei-x86-64"}};
    for (const auto& s : stubs) {
        SCOPED_TRACE(s.arch);
        if (!std::filesystem::exists(tool_dir / s.stub)) {
            ADD_FAILURE() << "no " << s.stub << " beside vesk (run scripts/build)";
            continue;
        }
        const std::vector<uint8_t> stub = ReadFile(tool_dir / s.stub);
        const PeImage image = ParsePeImage(stub, s.stub);
        EXPECT_EQ(Load32(&stub[image.peOffset + PE_FILE_FIELD(timeDateStamp)]), 0u) << "file header TimeDateStamp";
        const uint32_t exports = image.directories.at(0).address;
        const auto holder = std::find_if(image.sections.begin(), image.sections.end(), [&](const PeSection& section) {
            return exports >= section.virtualAddress && exports < section.virtualAddress + section.virtualSize;
        });
        ASSERT_NE(holder, image.sections.end()) << "an export directory";
        EXPECT_EQ(Load32(&stub[exports - holder->virtualAddress + holder->pointerToRawData +
                               offsetof(PeExportDirectory, timeDateStamp)]),
                  0u)
            << "export directory TimeDateStamp";
        const std::string setup = Path(std::string("setup-") + s.arch + ".exe").string();
        ToolRun pack = RunTool({"pack", "--product", SampleMsi().string(), "-o", setup, "--arch", s.arch});
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        EXPECT_EQ(RunTool({"verify", setup}).exitCode, 0);
        ToolRun inspect = RunTool({"inspect", setup, "--json"});
        EXPECT_NE(inspect.out.find(std::string("\"architecture\": \"") + s.arch + "\""), std::string::npos)
            << inspect.out.substr(0, 300);
        const std::string command = std::string(s.objdump) + " -p '" + setup + "' >'" + Path("objdump.out").string() +
                                    "' 2>'" + Path("objdump.err").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        const auto err = ReadFile(Path("objdump.err"));
        EXPECT_TRUE(err.empty()) << std::string(err.begin(), err.end());
        const auto out = ReadFile(Path("objdump.out"));
        EXPECT_NE(std::string(out.begin(), out.end()).find(s.format), std::string::npos);
    }
}

}  // namespace
}  // namespace vesk::test
