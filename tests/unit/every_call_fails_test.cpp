// Every platform call of a whole run fails once. For each of four runs (an
// embedded install, a side-file install, a runtime install that asks for a
// restart, the removal of another version), the calls are counted, then the
// run is repeated N times, failing only call k, for every k whose call can
// fail. Whatever fails, the setup must end through ExitProcess, within bounds,
// with an exit code and boxes of the documented table; it must not report
// success for an installation that never began, must not remove a product
// nobody agreed to remove, must leave no partial product file and no
// temporary runtime installer behind, and must never look for a library
// beside the setup.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "pe_builder.h"
#include "run_fixture.h"
#include "sim/faults.h"
#include "sim/files.h"
#include "sim/installer.h"
#include "sim/msgbox.h"
#include "sim/registry.h"
#include "sim/sim.h"

using namespace run_fixture;

namespace {

constexpr const char* kCode = "{11111111-2222-3333-4444-555555555555}";  // the test container's
constexpr const char* kProductName = "Example";
constexpr const char* kEnvironment = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const std::string kDatabase = pe_builder::PatternBytes(100000);  // two extraction chunks

// The boxes of the documented failure table: text, caption, and the exit code
// of a run that ends after the box (none for the removal question, after
// which the run goes on).
struct DocumentedBox {
    const char* label;
    std::string text;
    std::string caption;
    std::optional<unsigned> endsWith;
};

const std::vector<DocumentedBox>& DocumentedBoxes() {
    static const std::vector<DocumentedBox> boxes = {
        {"corrupt", "Corrupt installation detected.", "Install", 1},
        {"CRC", "Corrupt installation detected, check source media or re-download.", "Install", 1},
        {"disk space", "Not enough free temporary disk space.", "Install", 1},
        {"administrator",
         "You must have administrator rights to run this installation. Please login as an administrator and "
         "re-run this installation.",
         kProductName, 2},
        {"restart?",
         "This system must reboot before the installation can begin. After the reboot the installation will "
         "restart automatically. Do you want to reboot this system?",
         kProductName, 0},
        {"remove?",
         "Example Version 1.0 is already installed. You must uninstall the existing version before installing "
         "Example Version 2.0.\r\n\r\nDo you want to uninstall the existing version of Example?",
         kProductName, std::nullopt},
    };
    return boxes;
}

const DocumentedBox* Documented(const sim::MessageBoxShown& box) {
    for (const auto& documented : DocumentedBoxes())
        if (documented.text == box.text && documented.caption == box.caption) return &documented;
    return nullptr;
}

// The exit codes of the documented table; the scripted engine ends with 0.
bool DocumentedExitCode(unsigned code) { return code <= 2; }

// The engine's parameters, whichever path the database got.
constexpr const char* kEngineCommand = "/I \"<database>\" VESK_SETUP_EXE_PATH=\"C:\\Setup\\setup.exe\"";

// An embedded setup: both runtime installers stored, the product of two
// chunks, version 2.0, needing the runtime version given.
std::string EmbeddedSetup(uint32_t requiredMS = 0, uint32_t requiredLS = 0) {
    pe_builder::Container container;
    std::string runtime9X = pe_builder::Payload("runtime for 95/98");
    std::string runtimeNT = pe_builder::Payload("runtime for NT");
    std::string product = pe_builder::Payload(kDatabase);
    container.productVersion = pe_builder::Stored("2.0");
    container.requiredRuntimeMS = requiredMS;
    container.requiredRuntimeLS = requiredLS;
    container.runtime9XSize = uint32_t(runtime9X.size());
    container.runtimeNTSize = uint32_t(runtimeNT.size());
    container.productSize = uint32_t(product.size());
    container.payloads = runtime9X + runtimeNT + product;
    return pe_builder::BuildSetup(container).bytes;
}

struct Path {
    const char* name;
    const char* testName;
    std::function<void()> prepare;  // the machine, from a reset
};

const Path kPaths[] = {
    {"embedded install", "EmbeddedInstall",
     [] {
         PrepareMachine();
         sim::files::Put(kSetup, EmbeddedSetup());
         ScriptEngine(0, 2000);
     }},
    {"side-file install", "SideFileInstall",
     [] {
         PrepareMachine();
         sim::files::Put(kSetup, pe_builder::BuildSideFileStub().bytes);
         sim::files::Put("C:\\Setup\\product.msi", kDatabase);
         sim::files::Put("C:\\Setup\\setup.ini",
                         "[VeskInstaller]\r\nProductName=Example\r\nProductCode={11111111-2222-3333-4444-"
                         "555555555555}\r\nProductVersion=2.0\r\nProductFile=product.msi\r\n");
         ScriptEngine(0, 2000);
     }},
    {"runtime install with restart", "RuntimeInstallWithRestart",
     [] {
         PrepareMachine();
         // MSI.DLL has no version: 0.0.0.0 is older than 2.0.300.1.
         sim::files::Put(kSetup, EmbeddedSetup(2u << 16, (300u << 16) | 1));
         sim::registry::SetText(kEnvironment, "Path", "C:\\WINDOWS");
         sim::registry::SetValue(kEnvironment, "EMPTY", REG_EXPAND_SZ, "");
         sim::shell::Script(kRuntimeFile, Running(2000, 3010));
         ScriptEngine(0);
         sim::AnswerNextBox(IDYES);
     }},
    {"removal answered Yes", "RemovalAnsweredYes",
     [] {
         PrepareMachine();
         sim::files::Put(kSetup, EmbeddedSetup());
         sim::installer::InstallProduct(kCode, "1.0");
         ScriptEngine(0, 2000);
         sim::AnswerNextBox(IDYES);
     }},
};

// Far more calls than any of these runs makes (a few thousand; the virtual
// clock's minute allows some 120,000 in a waiting loop): a loop that spins
// without waiting.
constexpr uint64_t kCallLimit = 250000;

using Files = std::map<std::string, std::string>;

Files AllFileContents() {
    Files files;
    for (const auto& path : sim::files::AllFiles()) files[path] = sim::files::Get(path);
    return files;
}

// One run, and what it left.
struct Outcome {
    std::optional<unsigned> exitCode;
    std::string abnormalEnd;  // a hang or a return from the entry routine
    std::vector<sim::MessageBoxShown> boxes;
    std::vector<std::string> starts;  // programs started
    std::string engineCommand;        // the engine's parameters, the database's path replaced
    std::string engineDatabase;       // what that path held at the end
    bool productRemoved = false;
    Files before, after;
    std::vector<std::string> failed;
    bool embedded = false;
    bool incompleteSideSettings = false;
    std::vector<std::string> plantedLoads;
};

Outcome RunPath(const Path& path, std::optional<uint64_t> failCall) {
    path.prepare();
    bool installedBefore = sim::installer::IsInstalled(kCode);
    Outcome outcome;
    outcome.before = AllFileContents();
    if (failCall) sim::faults::FailCall(*failCall);
    sim::faults::SetCallLimit(kCallLimit);
    // A run waits seconds on the virtual clock; a minute is a hang.
    sim::SetHangLimit(60 * 1000);
    try {
        outcome.exitCode = sim::RunEntry();
    } catch (const std::exception& end) {
        outcome.abnormalEnd = end.what();
    }
    outcome.boxes = sim::MessageBoxes();
    for (const auto& start : sim::shell::Starts()) {
        if (!start.started) continue;
        outcome.starts.push_back(start.file);
        if (start.file != kEngine) continue;
        // "<switches> "<database>" <properties>"
        size_t open = start.parameters.find('"');
        size_t close = start.parameters.find('"', open + 1);
        if (close == std::string::npos) open = close = start.parameters.size();
        outcome.engineCommand = start.parameters.substr(0, open + 1) + "<database>" + start.parameters.substr(close);
        outcome.engineDatabase = sim::files::Get(start.parameters.substr(open + 1, close - open - 1));
    }
    outcome.productRemoved = installedBefore && !sim::installer::IsInstalled(kCode);
    outcome.after = AllFileContents();
    outcome.failed = sim::faults::Failed();
    outcome.plantedLoads = sim::installer::PlantedLoads();
    outcome.embedded = g_run.embedded;
    outcome.incompleteSideSettings = !g_run.embedded && (!g_settings.productCode[0] || !g_settings.productVersion[0]);
    return outcome;
}

bool Started(const Outcome& outcome, const std::string& file) {
    for (const auto& start : outcome.starts)
        if (start == file) return true;
    return false;
}

std::string Shortened(const std::string& text) {
    std::string line = text.substr(0, text.find('\r'));
    return line.size() > 56 ? line.substr(0, 53) + "..." : line;
}

std::string Describe(const Outcome& outcome) {
    std::ostringstream out;
    if (outcome.exitCode) out << "exit " << *outcome.exitCode;
    else out << "no exit (" << outcome.abnormalEnd << ")";
    if (outcome.boxes.empty()) out << ", no box";
    for (const auto& box : outcome.boxes) {
        out << ", box \"" << Shortened(box.text) << "\"";
        if ((box.type & 0xF) == MB_YESNO) out << (box.answer == IDYES ? " Yes" : " No");
    }
    return out.str();
}

bool AnsweredYes(const Outcome& outcome, const std::string& label) {
    for (const auto& box : outcome.boxes)
        if (Documented(box) && label == Documented(box)->label && box.answer == IDYES) return true;
    return false;
}

// What is wrong with a run in which failedCall failed ("" for none); empty
// when nothing.
std::vector<std::string> Problems(const Outcome& outcome, const std::string& failedCall) {
    std::vector<std::string> problems;
    if (!outcome.exitCode) {
        problems.push_back("did not end through ExitProcess: " + outcome.abnormalEnd);
        return problems;
    }
    unsigned code = *outcome.exitCode;
    if (!DocumentedExitCode(code)) problems.push_back("undocumented exit code " + std::to_string(code));

    const DocumentedBox* last = nullptr;  // the last box, if documented
    for (const auto& box : outcome.boxes) {
        last = Documented(box);
        if (!last) problems.push_back("undocumented box \"" + box.text + "\" captioned \"" + box.caption + "\"");
        if (box.owner) problems.push_back("a box with an owner");
    }
    if (last && last->endsWith && *last->endsWith != code)
        problems.push_back(std::string("exit code ") + std::to_string(code) + " after the " + last->label + " box");

    // Success only for an installation that took place: the engine ran, or
    // the runtime installer ran and its restart question ended the run. The
    // one silent success of the table: side-file settings found incomplete.
    bool installing = Started(outcome, kEngine) || Started(outcome, kRuntimeFile);
    if (code == 0 && !installing && !outcome.incompleteSideSettings)
        problems.push_back("exit code 0 without an installation");

    // The engine runs with the whole command: a cut one would install with
    // other options. The database it gets is the whole product wherever the
    // setup wrote it (embedded mode); the side-file mode only names the file.
    if (Started(outcome, kEngine)) {
        if (outcome.engineCommand != kEngineCommand)
            problems.push_back("the engine's command is " + outcome.engineCommand);
        if (outcome.embedded && outcome.engineDatabase != kDatabase)
            problems.push_back("the engine's database is not the whole product");
    }

    // Whatever failed, no library was looked for beside the setup.
    for (const auto& library : outcome.plantedLoads) problems.push_back("searched beside the setup for " + library);

    if (outcome.productRemoved && !AnsweredYes(outcome, "remove?"))
        problems.push_back("the installed product was removed without a Yes");

    // Files: what was there stays as it was; what is new is the whole
    // product, or the empty product file that could not be opened (reported
    // as corrupt, left as documented). Only a failed deletion leaves one
    // other file behind.
    for (const auto& [file, bytes] : outcome.before) {
        auto after = outcome.after.find(file);
        if (after == outcome.after.end()) problems.push_back("removed " + file);
        else if (after->second != bytes) problems.push_back("changed " + file);
    }
    bool corruptEnd = last && last->label == std::string("corrupt");
    int leftBehind = 0;
    for (const auto& [file, bytes] : outcome.after) {
        if (outcome.before.count(file) || bytes == kDatabase || (bytes.empty() && corruptEnd)) continue;
        if (failedCall == "DeleteFileA" && ++leftBehind == 1) continue;
        problems.push_back("left " + file + " (" + std::to_string(bytes.size()) + " bytes)");
    }
    return problems;
}

class EveryCallFails : public ::testing::TestWithParam<size_t> {};

TEST_P(EveryCallFails, EndsAsDocumentedWithNothingHalfDoneLeft) {
    const Path& path = kPaths[GetParam()];
    Outcome baseline = RunPath(path, std::nullopt);
    const std::vector<std::string> calls = sim::faults::Calls();
    ASSERT_EQ(std::optional<unsigned>(0), baseline.exitCode) << baseline.abnormalEnd;
    for (const auto& problem : Problems(baseline, "")) ADD_FAILURE() << path.name << " without faults: " << problem;
    const uint64_t n = calls.size();

    std::map<std::string, int> neverFailing;
    std::map<std::string, int> outcomes;
    std::cout << path.name << ": " << n << " platform calls; baseline " << Describe(baseline) << "\n";
    for (uint64_t k = 1; k <= n; ++k) {
        const std::string& call = calls[k - 1];
        if (!sim::faults::CanFail(call)) {
            ++neverFailing[call];
            continue;
        }
        // The row's start goes out first: a crash is then seen at its k.
        char row[64];
        std::snprintf(row, sizeof row, "%6llu  %-26s ", static_cast<unsigned long long>(k), call.c_str());
        std::cout << row << std::flush;
        Outcome outcome = RunPath(path, k);
        std::string described = Describe(outcome);
        std::cout << described << "\n";
        ++outcomes[described];
        std::vector<std::string> problems = Problems(outcome, call);
        if (outcome.failed != std::vector<std::string>{call})
            problems.push_back("the call that failed is not the one counted at k: the run is not repeatable");
        for (const auto& problem : problems)
            ADD_FAILURE() << path.name << ": failing call " << k << ", " << call << ": " << problem;
    }
    int failable = 0;
    for (const auto& [outcome, count] : outcomes) failable += count;
    std::cout << path.name << ": N = " << n << ", " << failable << " calls failed one at a time:\n";
    for (const auto& [outcome, count] : outcomes) std::cout << "  " << count << " x " << outcome << "\n";
    std::cout << n - uint64_t(failable) << " calls that cannot fail:\n";
    for (const auto& [call, count] : neverFailing)
        std::cout << "  " << count << " x " << call << " (" << sim::faults::HowItFails(call) << ")\n";
}

INSTANTIATE_TEST_SUITE_P(WholeRuns, EveryCallFails, ::testing::Range<size_t>(0, std::size(kPaths)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return std::string(kPaths[info.param].testName);
                         });

}  // namespace
