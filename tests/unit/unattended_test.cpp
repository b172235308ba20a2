// Unattended whole runs: who is there (the tail's engine switches, the window
// station), and the answer each question and failure gets where no one can.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pe_builder.h"
#include "run_fixture.h"
#include "sim/faults.h"
#include "sim/files.h"
#include "sim/installer.h"
#include "sim/registry.h"
#include "sim/session.h"
#include "sim/windows.h"

using namespace run_fixture;
using pe_builder::Payload;

namespace {

constexpr const char* kCode = "{11111111-2222-3333-4444-555555555555}";  // the test container's
constexpr const char* kDatabase = "the product's installer database";

// A fresh machine with "Example" of installed version (none when empty), the
// setup started with tail, seen or not, and a container of version carrying
// the NT runtime, run only when requiredMS is above the installed one's.
void Prepare(const std::string& tail, const std::string& installed = "", const std::string& version = "2.0.0",
             bool seen = true, uint32_t requiredMS = 0, const std::string& product = Payload(kDatabase)) {
    PrepareMachine();
    sim::SetCommandLine(std::string("\"") + kSetup + "\" " + tail);
    sim::session::SetWindowStationVisible(seen);
    ScriptEngine(0);
    if (!installed.empty()) sim::installer::InstallProduct(kCode, installed);
    pe_builder::Container container;
    std::string runtime = Payload("runtime for NT");
    container.productVersion = pe_builder::Stored(version);
    container.requiredRuntimeMS = requiredMS;
    container.runtimeNTSize = uint32_t(runtime.size());
    container.productSize = uint32_t(product.size());
    container.payloads = runtime + product;
    sim::files::Put(kSetup, pe_builder::BuildSetup(container).bytes);
}

std::string EngineParameters() {
    for (const auto& start : sim::shell::Starts())
        if (start.file == kEngine) return start.parameters;
    return "not started";
}

int Removals() {
    int count = 0;
    for (const std::string& line : sim::Trace()) count += line.rfind("MsiConfigureProductA", 0) == 0;
    return count;
}

TEST(Unattended, TheTailsSwitchesAndTheWindowStationSayWhoIsThere) {
    // unattended: no box, the older version removed unasked; silenced: /qn goes first.
    const struct {
        const char* tail;
        bool seen, unattended, windows, silenced;
    } cases[] = {
        {"", true, false, true, false},           {"", false, true, false, true},
        {"/q", true, true, false, false},         {"/qn", true, true, false, false},
        {"/QN+", true, true, false, false},       {"/i -qn-", true, true, false, false},
        {"/quiet", true, true, false, false},     {"A=1 -Quiet", true, true, false, false},
        {"/passive", true, true, true, false},    {"/I -PASSIVE", true, true, true, false},
        {"/qb", true, false, true, false},        {"/qr", true, false, true, false},
        {"/quietly", true, false, true, false},   {"/passively", true, false, true, false},
        {"/l*v x.log", true, false, true, false}, {"ALLUSERS=1 /qn", true, true, false, false},
        {"A=1\t-qn", true, true, false, false},   {"MSG=\"/qn\"", true, false, true, false},
        {"X=/qn", true, false, true, false},      {"MSG=\"a /quiet\" /qb", true, false, true, false},
        {"/passive", false, true, false, false},  {"/I /qb-", false, true, false, false},
        {"-qn", true, false, true, false},  // a tail that begins with neither '/' nor holds '=' is dropped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("tail \"") + c.tail + (c.seen ? "\", seen" : "\", unseen"));
        Prepare(c.tail, "1.0.0", "2.0.0", c.seen);
        EXPECT_EQ(c.unattended ? 0u : 1u, sim::RunEntry()) << "attended, the question's default is No";
        EXPECT_EQ(c.unattended, sim::MessageBoxes().empty());
        EXPECT_EQ(c.unattended, !sim::installer::IsInstalled(kCode));
        EXPECT_EQ(c.windows, sim::FindWindowOfClass("VeskForWindowsInstaller").has_value());
        std::string tail = c.tail[0] ? c.tail : "/I";
        if (c.unattended) {
            EXPECT_EQ((c.silenced ? "/qn " : "") + tail + " \"" + kPlaced + "\" VESK_SETUP_EXE_PATH=\"" + kSetup + "\"",
                      EngineParameters());
        }
    }
    // A window station that cannot be asked (95/98 has none) is seen: the question is shown.
    for (const char* call : {"GetProcessWindowStation", "GetUserObjectInformationA"}) {
        Prepare("", "1.0.0", "2.0.0", false);
        sim::installer::RemoveEntryPoint("USER32.DLL", call);
        EXPECT_EQ(1u, sim::RunEntry());
        EXPECT_EQ(1u, sim::MessageBoxes().size()) << call;
        Prepare("", "1.0.0", "2.0.0", false);
        sim::faults::FailEveryCallOf(call);
        EXPECT_EQ(1u, sim::RunEntry());
        EXPECT_EQ(1u, sim::MessageBoxes().size()) << call;
    }
}

TEST(Unattended, FailuresGoToTheEventLogWithTheirExitCodes) {
    const std::string crc = std::string(kDatabase) + "xxxx";
    const struct {
        const char* name;
        std::function<void()> prepare;
        const char* source;
        std::string text;
        unsigned exitCode;
    } cases[] = {
        {"own file unreadable", [] { sim::files::RefuseOpen(kSetup); }, "Install", kCorruptText, 1},
        {"one byte longer", [] { sim::files::Put(kSetup, sim::files::Get(kSetup) + '\0'); }, "Example", kCorruptText,
         1},
        {"product CRC", [&] { Prepare("/qn", "", "2.0.0", true, 0, crc); }, "Example", kCrcText, 1},
        {"disk full", [] { sim::files::SetWriteQuota(10); }, "Example", "Not enough free temporary disk space.", 1},
        {"no administrator",
         [] {
             Prepare("/qn", "", "2.0.0", true, 2u << 16);
             sim::session::SetAdministrator(false);
         },
         "Example",
         "You must have administrator rights to run this installation. Please login as an administrator and "
         "re-run this installation.",
         2},
    };
    for (const char* tail : {"/qn", "/passive"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + tail);
            Prepare(tail);
            c.prepare();
            sim::SetCommandLine(std::string("\"") + kSetup + "\" " + tail);
            EXPECT_EQ(c.exitCode, sim::RunEntry());
            EXPECT_TRUE(sim::MessageBoxes().empty());
            EXPECT_EQ("not started", EngineParameters());
            const auto& log = sim::session::EventLog();
            ASSERT_EQ(1u, log.size());
            EXPECT_EQ(c.source, log[0].source);
            EXPECT_EQ(EVENTLOG_ERROR_TYPE, log[0].type);
            EXPECT_EQ(std::vector<std::string>{c.text}, log[0].strings);
        }
    }
    // A log that refuses the record, or a system without one, changes nothing else.
    const std::function<void()> refusals[] = {
        [] { sim::faults::FailEveryCallOf("RegisterEventSourceA"); },
        [] { sim::faults::FailEveryCallOf("ReportEventA"); },
        [] { sim::installer::RemoveEntryPoint("ADVAPI32.DLL", "ReportEventA"); },
    };
    for (const auto& refuse : refusals) {
        Prepare("/qn", "", "2.0.0", true, 0, crc);
        refuse();
        EXPECT_EQ(1u, sim::RunEntry());
        EXPECT_TRUE(sim::MessageBoxes().empty());
        EXPECT_TRUE(sim::session::EventLog().empty());
    }
}

TEST(Unattended, OnlyAnOlderVersionIsRemovedAndAnyOtherEndsWith1638) {
    const struct {
        const char *installed, *carried;
        int removals;
        unsigned exitCode;
    } cases[] = {
        {"1.0.0", "2.0.0", 1, 0},          {"1.0", "1.0.1", 1, 0},           {"1.2.3", "1.10.0", 1, 0},
        {"2.0.0", "2.0.0", 0, 0},          {"3.0.0", "2.0.0", 0, 1638},      {"2.0.0.5", "2.0.0.1", 0, 1638},
        {"2.0.0.1", "2.0.0.5", 0, 1638},   {"beta", "2.0.0", 0, 1638},       {"1.0.0", "2.0.0b", 0, 1638},
        {"1..0", "2.0.0", 0, 1638},        {"1.0.0.0.0", "2.0.0", 0, 1638},  {"256.0.0", "2.0.0", 0, 1638},
        {"1.0.65536", "2.0.0", 0, 1638},
    };
    for (bool kept : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.installed) + " installed, " + c.carried + (kept ? " carried, kept" : " carried"));
            Prepare("/quiet", c.installed, c.carried);
            // A removal that leaves the product is tried once: the version stays, with 1638.
            if (kept) sim::installer::KeepProductAfterRemoval();
            unsigned expected = kept && c.removals ? 1638 : c.exitCode;
            EXPECT_EQ(expected, sim::RunEntry());
            EXPECT_TRUE(sim::MessageBoxes().empty());
            EXPECT_EQ(c.removals, Removals());
            EXPECT_EQ(expected == 0, EngineParameters() != "not started");
            if (expected == 1638) {
                EXPECT_EQ(c.installed, sim::installer::InstalledVersion(kCode).value_or(""));
            }
        }
    }
}

TEST(Unattended, ARestartIsLeftToTheCallerWithTheResumeRegistered) {
    Prepare("/passive", "", "2.0.0", true, 2u << 16);
    sim::shell::Script(kRuntimeFile, Running(2000, 3010));
    EXPECT_EQ(3010u, sim::RunEntry());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_TRUE(sim::session::ExitRequests().empty()) << "no restart";
    EXPECT_EQ(std::string("\"") + kSetup + "\" /passive", sim::registry::GetText(kRunKey, kResumeValue));
    EXPECT_EQ("not started", EngineParameters());
}

}  // namespace
