// The runtime step in whole runs: whether the carried Windows Installer
// runtime is installed, how it is written, run and cleaned up, and what its
// exit code and the session's end lead to.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/ini_keys.h"
#include "pe_builder.h"
#include "run_fixture.h"
#include "runtime/installer.h"
#include "sim/faults.h"
#include "sim/files.h"
#include "sim/installer.h"
#include "sim/os.h"
#include "sim/registry.h"
#include "sim/session.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui/ui.h"

using namespace run_fixture;
using pe_builder::Stored;

namespace {

constexpr const char* kIni = "C:\\Setup\\setup.ini";
constexpr const char* kMsiDll = "C:\\WINDOWS\\SYSTEM32\\MSI.DLL";
// The 95/98 family's, which knows no administrators: in the user's.
constexpr const char* kRuntimeFolder9X = "C:\\Temp\\ZRP1.tmp";
const char* RuntimeFolderOn(sim::os::Platform platform) {
    return platform == sim::os::Platform::NT ? kRuntimeFolder : kRuntimeFolder9X;
}
// The folder's list once an administrator runs the installer, as Windows
// reads the descriptor (no machine here enforces it).
constexpr const char* kAdministratorsOnly =
    "protected; allow S-1-5-32-544 0x1F01FF files+folders; allow S-1-5-18 0x1F01FF files+folders; "
        "allow S-1-3-4 0x20000 files+folders";
constexpr const char* kEnvironment = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kProductName = "Example";  // the test container's
constexpr const char* kRebootText =
    "This system must reboot before the installation can begin. After the reboot the installation will "
    "restart automatically. Do you want to reboot this system?";
constexpr const char* kAdminText =
    "You must have administrator rights to run this installation. Please login as an administrator and "
    "re-run this installation.";
const std::string kRuntimeNT = "the NT-family runtime installer";
const std::string kRuntime9X = "the 95/98-family runtime installer";
const std::string kDatabase = "the product's installer database";
// 2.0.300.1, as the container stores it.
constexpr uint32_t kRequiredMS = 2u << 16;
constexpr uint32_t kRequiredLS = (300u << 16) | 1;

constexpr uint32_t Version(uint32_t high, uint32_t low) { return (high << 16) | low; }

struct Carried {
    std::optional<std::string> runtime9X = pe_builder::Payload(kRuntime9X);
    std::optional<std::string> runtimeNT = pe_builder::Payload(kRuntimeNT);
    uint32_t requiredMS = kRequiredMS;
    uint32_t requiredLS = kRequiredLS;
};

class RuntimeStep : public ::testing::Test {
protected:
    void SetUp() override { StartOver(); }

    // A fresh machine: every test begins with it, and each case of a table.
    virtual void StartOver() {
        PrepareMachine();
        // No version for MSI.DLL: the installed runtime counts as 0.0.0.0,
        // older than the setup needs, unless a test says otherwise.
        ScriptEngine(0);
        sim::shell::Script("C:\\WINDOWS\\SYSTEM\\msiexec.exe", Running(100));  // the 95/98 family's
        sim::registry::CreateKey(kEnvironment);
    }

    static void PutSetup(const Carried& carried = {}, pe_builder::Container container = {}) {
        std::string product = pe_builder::Payload(kDatabase);
        container.requiredRuntimeMS = carried.requiredMS;
        container.requiredRuntimeLS = carried.requiredLS;
        container.runtime9XSize = carried.runtime9X ? uint32_t(carried.runtime9X->size()) : 0;
        container.runtimeNTSize = carried.runtimeNT ? uint32_t(carried.runtimeNT->size()) : 0;
        container.productSize = uint32_t(product.size());
        container.payloads = carried.runtime9X.value_or("") + carried.runtimeNT.value_or("") + product;
        sim::files::Put(kSetup, pe_builder::BuildSetup(container).bytes);
    }

    // The runtime installer as the temporary program: what it held when it
    // started, and whether anyone else could change or delete it meanwhile.
    struct RuntimeSeen {
        bool started = false;
        std::string bytes;
        std::vector<std::string> besideIt;  // what its folder held
        bool writable = false;
        bool deletable = false;
        std::optional<std::string> folderAccess;
        std::string temporary;  // its TMP and TEMP
    };
    static std::shared_ptr<RuntimeSeen> ScriptRuntime(const std::string& file, uint32_t exitCode = 0,
                                                      uint64_t runMs = 2000) {
        auto seen = std::make_shared<RuntimeSeen>();
        sim::shell::Program program = Running(runMs, exitCode);
        program.onStart = [seen, file] {
            seen->started = true;
            seen->bytes = sim::files::Get(file);
            seen->besideIt = sim::files::List(kRuntimeFolder);
            seen->folderAccess = sim::files::FolderAccess(kRuntimeFolder);
            seen->temporary = sim::os::Environment("TMP") + " " + sim::os::Environment("TEMP");
            HFILE writer = _lopen(file.c_str(), OF_READWRITE);
            seen->writable = writer != HFILE_ERROR;
            if (seen->writable) _lclose(writer);
            seen->deletable = DeleteFileA(file.c_str()) != FALSE;
        };
        sim::shell::Script(file, program);
        return seen;
    }

    static const sim::shell::Start* RuntimeStart(const std::string& file = kRuntimeFile) {
        for (const auto& start : sim::shell::Starts())
            if (start.file == file) return &start;
        return nullptr;
    }

    static void ExpectProductInstalled() {
        EXPECT_EQ(pe_builder::Payload(kDatabase).substr(0, kDatabase.size()), sim::files::Get(kPlaced))
            << "the container stood at the product payload";
        ASSERT_FALSE(sim::shell::Starts().empty());
        EXPECT_EQ(sim::os::SystemDirectory() + "\\msiexec.exe", sim::shell::Starts().back().file);
    }

    static void ExpectNothingInstalled() {
        EXPECT_FALSE(sim::files::Exists(kPlaced)) << "no product file";
        for (const auto& start : sim::shell::Starts())
            EXPECT_NE(sim::os::SystemDirectory() + "\\msiexec.exe", start.file) << "no engine";
    }

    // The installer goes; its folder stays, empty: on the NT family it is
    // the temporary folder of what the run starts next.
    static void ExpectNoRuntimeFileLeft() {
        for (const char* folder : {kRuntimeFolder, kRuntimeFolder9X})
            EXPECT_EQ(std::vector<std::string>{}, sim::files::List(folder)) << "the installer was left in " << folder;
    }
};

TEST_F(RuntimeStep, TheInstalledVersionDecidesWhetherTheCarriedRuntimeRuns) {
    using sim::installer::VersionDamage;
    const struct {
        const char* name;
        std::optional<std::pair<uint32_t, uint32_t>> installed;
        std::optional<VersionDamage> damage;
        uint32_t requiredMS, requiredLS;
        bool runs;
    } cases[] = {
        {"another revision of the same build", {{Version(2, 0), Version(300, 0)}}, {}, kRequiredMS, kRequiredLS, false},
        {"an older build", {{Version(2, 0), Version(299, 999)}}, {}, kRequiredMS, kRequiredLS, true},
        {"a newer minor with a lower build", {{Version(2, 1), Version(0, 0)}}, {}, kRequiredMS, kRequiredLS, false},
        {"an older minor with a higher build", {{Version(1, 99), Version(999, 0)}}, {}, kRequiredMS, kRequiredLS,
         true},
        {"builds compared unsigned", {{Version(2, 0), Version(0x8000, 0)}}, {}, kRequiredMS, Version(0x7FFF, 0),
         false},
        {"no MSI.DLL", {}, {}, kRequiredMS, kRequiredLS, true},
        {"no MSI.DLL, nothing required", {}, {}, 0, 0, false},
        {"a version record too short", {{Version(9, 0), 0}}, VersionDamage::ShortRecord, kRequiredMS, kRequiredLS,
         true},
        {"a version record without signature", {{Version(9, 0), 0}}, VersionDamage::WrongSignature, kRequiredMS,
         kRequiredLS, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        if (c.installed) sim::installer::SetFileVersion(kMsiDll, c.installed->first, c.installed->second);
        if (c.damage) sim::installer::DamageFileVersion(kMsiDll, *c.damage);
        Carried carried;
        carried.requiredMS = c.requiredMS;
        carried.requiredLS = c.requiredLS;
        PutSetup(carried);
        auto seen = ScriptRuntime(kRuntimeFile);
        EXPECT_EQ(0u, sim::RunEntry());
        EXPECT_EQ(c.runs, seen->started);
        if (c.runs) {
            ASSERT_NE(nullptr, RuntimeStart());
            EXPECT_EQ(RUNTIME_DEFAULT_COMMAND, RuntimeStart()->parameters);
            EXPECT_EQ(kRuntimeNT, seen->bytes);
        }
        EXPECT_TRUE(sim::MessageBoxes().empty());
        ExpectProductInstalled();
        ExpectNoRuntimeFileLeft();
    }
}

TEST_F(RuntimeStep, LibrariesAreLoadedFromTheSystemFolderByFullPath) {
    PutSetup();
    sim::installer::SetFileVersion(kMsiDll, Version(3, 0), 0);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_GE(sim::FindTrace("LoadLibraryExA C:\\WINDOWS\\SYSTEM32\\VERSION.DLL 0"), 0)
        << "its dependencies from the system folder, as the whole search";
    EXPECT_GE(sim::FindTrace("GetFileVersionInfoA C:\\WINDOWS\\SYSTEM32\\MSI.DLL"), 0);
    EXPECT_GE(sim::FindTrace("FreeLibrary VERSION.DLL"), 0);
    EXPECT_EQ(0, sim::installer::LoadCount("VERSION.DLL"));
    EXPECT_EQ(nullptr, RuntimeStart()) << "3.0 is recent enough";

    // A system folder whose library paths do not fit: nothing is loaded, and
    // the runtime counts as missing; the folder for it, beside the system
    // folder, does not fit either.
    StartOver();
    PutSetup();
    sim::os::SetSystemDirectory("C:\\" + std::string(245, 's'));
    EXPECT_EQ(1u, sim::RunEntry());
    EXPECT_EQ(-1, sim::FindTrace("LoadLibraryExA C:\\" + std::string(245, 's')));
    ExpectOnlyBox(kCorruptText);
}

TEST_F(RuntimeStep, ThePlatformFamilyPicksItsInstaller) {
    const struct {
        const char* name;
        sim::os::Platform platform;
        bool carry9X, carryNT;
        std::optional<std::string> runs;  // the installer's bytes
    } cases[] = {
        {"NT, both carried", sim::os::Platform::NT, true, true, kRuntimeNT},
        {"95/98, both carried", sim::os::Platform::Win9x, true, true, kRuntime9X},
        {"NT, only the 95/98 installer", sim::os::Platform::NT, true, false, std::nullopt},
        {"95/98, only the NT installer", sim::os::Platform::Win9x, false, true, std::nullopt},
        {"95/98, only its own installer", sim::os::Platform::Win9x, true, false, kRuntime9X},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        sim::os::SetPlatform(c.platform);
        sim::installer::SetFileVersion(sim::os::SystemDirectory() + "\\MSI.DLL", Version(1, 0), 0);
        Carried carried;
        if (!c.carry9X) carried.runtime9X.reset();
        if (!c.carryNT) carried.runtimeNT.reset();
        PutSetup(carried);
        const std::string file = std::string(RuntimeFolderOn(c.platform)) + "\\runtime.exe";
        auto seen = ScriptRuntime(file);
        EXPECT_EQ(0u, sim::RunEntry());
        EXPECT_EQ(c.runs.has_value(), seen->started);
        if (c.runs) {
            EXPECT_EQ(*c.runs, seen->bytes);
        }
        bool adminCheck = c.runs && c.platform == sim::os::Platform::NT;
        EXPECT_EQ(adminCheck, sim::FindTrace("OpenSCManagerA - - 0xE0000000") >= 0);
        if (c.runs) {
            ASSERT_NE(nullptr, RuntimeStart(file));
            EXPECT_EQ(RuntimeFolderOn(c.platform), RuntimeStart(file)->directory) << "it starts in its own folder";
            // The 95/98 family has no access lists: the folder is made without one.
            EXPECT_EQ(adminCheck ? std::optional<std::string>(kAdministratorsOnly) : std::nullopt, seen->folderAccess);
            EXPECT_EQ(adminCheck ? std::string(kRuntimeFolder) + " " + kRuntimeFolder : " ", seen->temporary)
                << "only an administrator's run makes its folder the children's temporary folder";
        }
        EXPECT_EQ(adminCheck ? 1 : 0, sim::registry::OpenCount(kEnvironment)) << "the fix-up is the NT family's";
        EXPECT_TRUE(sim::MessageBoxes().empty());
        ExpectProductInstalled();
        ExpectNoRuntimeFileLeft();
    }
}

TEST_F(RuntimeStep, WithoutAdministratorRightsTheRunEndsWithTwoBeforeWritingAnything) {
    for (bool configured : {false, true}) {
        SCOPED_TRACE(configured ? "configured text" : "built-in text");
        StartOver();
        sim::session::SetAdministrator(false);
        pe_builder::Container container;
        if (configured) container.texts[1] = Stored("Ask your administrator.");
        PutSetup({}, container);
        auto seen = ScriptRuntime(kRuntimeFile);
        EXPECT_EQ(2u, sim::RunEntry());
        if (auto box = ExpectOnlyBox(configured ? "Ask your administrator." : kAdminText, kProductName)) EXPECT_EQ(UINT(MB_OK), box->type);
        EXPECT_FALSE(seen->started);
        EXPECT_EQ(-1, sim::FindTrace("_lcreat")) << "nothing was written";
        EXPECT_EQ(0, sim::session::OpenServiceHandleCount());
    }
    // A recent runtime needs no administrator.
    StartOver();
    sim::session::SetAdministrator(false);
    sim::installer::SetFileVersion(kMsiDll, Version(2, 0), Version(300, 1));
    PutSetup();
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_EQ(-1, sim::FindTrace("OpenSCManagerA"));
    ExpectProductInstalled();
}

TEST_F(RuntimeStep, TheTemporaryProgramRunsAloneInAFreshFolderAndNobodyCanChangeItWhileItRuns) {
    PutSetup();
    auto seen = ScriptRuntime(kRuntimeFile);
    EXPECT_EQ(0u, sim::RunEntry());
    ASSERT_TRUE(seen->started);
    EXPECT_EQ(kRuntimeNT, seen->bytes);
    EXPECT_EQ(std::vector<std::string>{"runtime.exe"}, seen->besideIt) << "the platform's empty file is gone";
    EXPECT_FALSE(seen->writable) << "opened for writing while it runs";
    EXPECT_FALSE(seen->deletable) << "deleted while it runs";
    EXPECT_EQ(std::string(kRuntimeFolder) + " " + kRuntimeFolder, seen->temporary)
        << "it unpacks itself into its own folder, never into the user's temporary folder";
    ExpectNoRuntimeFileLeft();
    EXPECT_EQ(0, sim::files::OpenHandleCount()) << "the held program is closed";
}

// Another process of the user writes its own code over the start of the
// runtime installer and of the product database at one moment of the run,
// each moment in turn. Whatever runs reads exactly what was packed: every
// write is refused while a file is the setup's, but for the moment between
// the writer's close and the hold's open, where the setup finds the bytes
// changed and runs nothing of them. Writes after a child has ended change
// nothing that runs.
TEST_F(RuntimeStep, WritesByAnotherProcessAtAnyMomentNeverReachWhatRuns) {
    PutSetup();
    ScriptRuntime(kRuntimeFile);
    EXPECT_EQ(0u, sim::RunEntry());
    const size_t calls = sim::faults::Calls().size();
    int refusedRuns = 0;
    for (size_t moment = 1; moment <= calls; ++moment) {
        SCOPED_TRACE("a write before call " + std::to_string(moment));
        StartOver();
        PutSetup();
        auto runtime = ScriptRuntime(kRuntimeFile);
        bool engineStarted = false;
        std::string databaseSeen;
        ScriptEngine(0, 2000, [&] {
            engineStarted = true;
            databaseSeen = sim::files::Get(kPlaced);
        });
        bool runtimeChangedBeforeStart = false, databaseChangedBeforeStart = false;
        size_t call = 0;
        sim::faults::BeforeEachCall([&](const std::string&) {
            if (++call != moment) return;
            runtimeChangedBeforeStart = sim::files::WriteAsAnotherProcess(kRuntimeFile, 0, "MZ marker") && !runtime->started;
            databaseChangedBeforeStart = sim::files::WriteAsAnotherProcess(kPlaced, 0, "MZ marker") && !engineStarted;
        });
        unsigned exitCode = sim::RunEntry();
        if (runtime->started) EXPECT_EQ(kRuntimeNT, runtime->bytes);
        if (engineStarted) EXPECT_EQ(kDatabase, databaseSeen);
        if (runtimeChangedBeforeStart || databaseChangedBeforeStart) {
            ++refusedRuns;
            EXPECT_EQ(1u, exitCode);
            ExpectOnlyBox(kCorruptText);
            EXPECT_EQ(runtimeChangedBeforeStart, !runtime->started);
            ExpectNothingInstalled();
            ExpectNoRuntimeFileLeft();
        } else {
            EXPECT_EQ(0u, exitCode);
            EXPECT_TRUE(runtime->started);
            ExpectProductInstalled();
        }
    }
    EXPECT_EQ(2, refusedRuns) << "one moment for each file: between its writer and its hold";
}

TEST_F(RuntimeStep, AFailedRuntimeExtractionIsReportedAndEndsWithOne) {
    std::string badTrailer = pe_builder::Payload(kRuntimeNT);
    badTrailer.back() ^= 1;
    const struct {
        const char* name;
        std::function<void()> fault;
        std::string runtimeNT;
        std::string box;
    } cases[] = {
        {"a CRC mismatch", [] {}, badTrailer, kCrcText},
        {"a full disk", [] { sim::files::SetWriteQuota(8); }, pe_builder::Payload(kRuntimeNT),
         "Not enough free temporary disk space."},
        {"a temporary folder closed to the run", [] { sim::files::RefuseCreate("C:\\WINDOWS\\TEMP"); },
         pe_builder::Payload(kRuntimeNT), kCorruptText},
        {"the run's folder cannot be made", [] { sim::faults::FailNthCallOf("CreateDirectoryA", 1); },
         pe_builder::Payload(kRuntimeNT), kCorruptText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        Carried carried;
        carried.runtimeNT = c.runtimeNT;
        PutSetup(carried);
        c.fault();
        auto seen = ScriptRuntime(kRuntimeFile);
        EXPECT_EQ(1u, sim::RunEntry()) << "a reported failure is never exit code 0";
        ExpectOnlyBox(c.box);
        EXPECT_FALSE(seen->started);
        ExpectNoRuntimeFileLeft();
        ExpectNothingInstalled();
    }
}

TEST_F(RuntimeStep, ACancelDuringTheRuntimesExtractionRunsNothing) {
    Carried carried;
    carried.runtimeNT = pe_builder::Payload(pe_builder::PatternBytes(1 << 20));
    PutSetup(carried);
    auto seen = ScriptRuntime(kRuntimeFile);
    sim::PostFromOutside(sim::BeforePeek(3), SPLASH_CLASS_NAME, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(1u, sim::RunEntry());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_FALSE(seen->started) << "an installer cut short never runs";
    ExpectNoRuntimeFileLeft();
    ExpectNothingInstalled();
}

TEST_F(RuntimeStep, TheInstallersExitCodeAndWininitDecideTheRestart) {
    const std::string nt = "C:\\WINDOWS\\SYSTEM32\\WININIT.INI";
    const std::string win9x = "C:\\WINDOWS\\SYSTEM\\WININIT.INI";
    const struct {
        const char* name;
        sim::os::Platform platform;
        uint32_t exitCode;
        bool wininitBefore;
        bool wininitWritten;
        bool question;
    } cases[] = {
        {"exit 0", sim::os::Platform::NT, 0, false, false, false},
        {"exit 3010", sim::os::Platform::NT, 3010, false, false, true},
        {"an error code", sim::os::Platform::NT, 1603, false, false, true},
        {"exit 0, WININIT.INI untouched", sim::os::Platform::Win9x, 0, true, false, false},
        {"exit 0, WININIT.INI appeared", sim::os::Platform::Win9x, 0, false, true, true},
        {"exit 0, WININIT.INI rewritten", sim::os::Platform::Win9x, 0, true, true, true},
        {"NT: exit 0, WININIT.INI rewritten", sim::os::Platform::NT, 0, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        sim::os::SetPlatform(c.platform);
        sim::installer::SetFileVersion(sim::os::SystemDirectory() + "\\MSI.DLL", Version(1, 0), 0);
        const std::string wininit = c.platform == sim::os::Platform::NT ? nt : win9x;
        if (c.wininitBefore) sim::files::Put(wininit, "[rename]\r\n");
        PutSetup();
        sim::shell::Program runtime = Running(2000, c.exitCode);
        if (c.wininitWritten) runtime.onStart = [wininit] { sim::files::Put(wininit, "[rename]\r\nNUL=x\r\n"); };
        sim::shell::Script(std::string(RuntimeFolderOn(c.platform)) + "\\runtime.exe", runtime);
        sim::AnswerNextBox(IDNO);
        EXPECT_EQ(0u, sim::RunEntry());
        ExpectNoRuntimeFileLeft();
        if (!c.question) {
            EXPECT_TRUE(sim::MessageBoxes().empty());
            ExpectProductInstalled();
            continue;
        }
        if (auto box = ExpectOnlyBox(kRebootText, kProductName)) EXPECT_EQ(UINT(MB_YESNO), box->type);
        ExpectNothingInstalled();
        EXPECT_FALSE(sim::registry::GetValue(kRunKey, kResumeValue)) << "No writes no resume value";
    }
}

TEST_F(RuntimeStep, YesToTheRestartRegistersTheResumeAndRestartsWindows) {
    sim::SetCommandLine("\"C:\\Setup\\setup.exe\" /qb");
    PutSetup();
    ScriptRuntime(kRuntimeFile, 3010);
    sim::AnswerNextBox(IDYES);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_EQ("\"C:\\Setup\\setup.exe\" /qb", sim::registry::GetText(kRunKey, kResumeValue));
    ASSERT_EQ(1u, sim::session::ExitRequests().size());
    EXPECT_EQ(UINT(EWX_REBOOT), sim::session::ExitRequests()[0].flags);
    EXPECT_TRUE(sim::session::ExitRequests()[0].shutdownPrivilegeEnabled);
    ExpectNoRuntimeFileLeft();
    ExpectNothingInstalled();
}

// Side-file mode: the stub beside its INI file, the product and a runtime
// installer in a folder of its own.
constexpr const char* kSideInstaller = "redist\\instmsiw.exe";

void PutSideSetup(const std::string& extra, const std::string& runtime = kSideInstaller) {
    sim::files::Put(kSetup, pe_builder::BuildSideFileStub().bytes);
    sim::files::Put("C:\\Setup\\product.msi", kDatabase);
    sim::files::Put("C:\\Setup\\redist\\instmsiw.exe", kRuntimeNT);
    sim::files::Put(kIni, "[VeskInstaller]\r\nProductName=Example\r\n"
                          "ProductCode={11111111-2222-3333-4444-555555555555}\r\nProductVersion=1.0\r\n"
                          "ProductFile=product.msi\r\nRuntimeVersion=2.0.300.1\r\n"
                          "RuntimeNT=" + runtime + "\r\n" + extra);
}

TEST_F(RuntimeStep, SideFileModeRunsTheNamedInstallerBesideTheSetupWithItsCommand) {
    const struct {
        const char* name;
        const char* line;
        const char* command;
        bool question;
    } cases[] = {
        {"no command given", "", RUNTIME_DEFAULT_COMMAND, true},
        {"the default in capitals", "InstMsi CmdLine=/Q /R:N\r\n", "/Q /R:N", true},
        {"a command of its own", "InstMsi CmdLine=/quiet /norestart\r\n", "/quiet /norestart", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        PutSideSetup(c.line);
        ScriptRuntime(kSideInstaller, 3010);
        sim::AnswerNextBox(IDNO);
        EXPECT_EQ(0u, sim::RunEntry());
        const sim::shell::Start* start = RuntimeStart(kSideInstaller);
        ASSERT_NE(nullptr, start);
        EXPECT_EQ(c.command, start->parameters);
        EXPECT_EQ("C:\\Setup", start->directory);
        EXPECT_EQ(c.question ? 1u : 0u, sim::MessageBoxes().size());
        if (!c.question) {
            EXPECT_EQ(kEngine, sim::shell::Starts().back().file) << "the product is installed";
        }
        EXPECT_EQ(-1, sim::FindTrace("GetTempFileNameA")) << "nothing is extracted";
        EXPECT_TRUE(sim::files::Exists("C:\\Setup\\redist\\instmsiw.exe")) << "the user's file stays";
    }
    // A name as long as a cut one would be is never run.
    StartOver();
    PutSideSetup("", std::string(255, 'r'));
    EXPECT_EQ(1u, sim::RunEntry());
    ExpectOnlyBox(kCorruptText);
    EXPECT_TRUE(sim::shell::Starts().empty());
}

TEST_F(RuntimeStep, EmptyExpandableEnvironmentValuesBecomeEmptyTexts) {
    auto putValues = [] {
        sim::registry::SetValue(kEnvironment, "Empty", REG_EXPAND_SZ, "");
        sim::registry::SetValue(kEnvironment, "OneByte", REG_EXPAND_SZ, std::string(1, '\0'));
        sim::registry::SetValue(kEnvironment, "Path", REG_EXPAND_SZ, std::string("%x%\0", 4));
        sim::registry::SetValue(kEnvironment, "Plain", REG_SZ, "");
    };
    PutSetup();
    putValues();
    ScriptRuntime(kRuntimeFile);
    EXPECT_EQ(0u, sim::RunEntry());
    for (const char* fixed : {"Empty", "OneByte"}) {
        auto value = sim::registry::GetValue(kEnvironment, fixed);
        ASSERT_TRUE(value) << fixed;
        EXPECT_EQ(uint32_t(REG_SZ), value->type) << fixed;
        EXPECT_EQ(std::string(1, '\0'), value->data) << fixed;
    }
    EXPECT_EQ(uint32_t(REG_EXPAND_SZ), sim::registry::GetValue(kEnvironment, "Path")->type);
    EXPECT_EQ(uint32_t(REG_SZ), sim::registry::GetValue(kEnvironment, "Plain")->type);
    EXPECT_EQ("", sim::registry::GetValue(kEnvironment, "Plain")->data);
    EXPECT_EQ(3, sim::registry::OpenCount(kEnvironment)) << "two values fixed in two passes";

    // A value that cannot be made again stays deleted, and the fix-up ends.
    StartOver();
    PutSetup();
    putValues();
    sim::registry::RefuseWrite(kEnvironment);
    auto seen = ScriptRuntime(kRuntimeFile);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_FALSE(sim::registry::GetValue(kEnvironment, "Empty"));
    EXPECT_EQ(uint32_t(REG_EXPAND_SZ), sim::registry::GetValue(kEnvironment, "OneByte")->type);
    EXPECT_EQ(1, sim::registry::OpenCount(kEnvironment));
    EXPECT_TRUE(seen->started) << "the installation goes on";
    EXPECT_EQ(0, sim::registry::OpenHandleCount());
}

TEST_F(RuntimeStep, TheSessionEndingAroundTheRuntimeStartsNoProductInstallation) {
    // While the installer runs, with a command of the builder's own: no
    // question, and the run ends before the product.
    PutSideSetup("InstMsi CmdLine=/quiet\r\n");
    ScriptRuntime(kSideInstaller, 0, sim::shell::kForever);
    sim::EndSession(sim::At(1700));
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    ExpectNothingInstalled();
    EXPECT_EQ("\"C:\\Setup\\setup.exe\"", sim::registry::GetText(kRunKey, kResumeValue));

    // Just after an installer that needed no restart.
    StartOver();
    PutSetup();
    ScriptRuntime(kRuntimeFile, 0, 1000);
    sim::EndSession(sim::At(1200));
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    ExpectNothingInstalled();

    // A query that another program then refuses changes nothing: the wait
    // goes on, nothing is registered, and the product installs.
    StartOver();
    PutSetup();
    auto seen = ScriptRuntime(kRuntimeFile, 0, 3000);
    sim::EndSession(sim::At(1700), true);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_GE(sim::FindTrace("session goes on"), 0);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_FALSE(sim::registry::GetValue(kRunKey, kResumeValue).has_value());
    EXPECT_GE(sim::Now(), 3000u) << "the installer was waited for to its end";
    ExpectProductInstalled();

    // While the default command's installer runs: 259 asks for the restart.
    StartOver();
    PutSetup();
    ScriptRuntime(kRuntimeFile, 0, sim::shell::kForever);
    sim::EndSession(sim::At(1700));
    sim::AnswerNextBox(IDNO);
    EXPECT_EQ(0u, sim::RunEntry());
    ExpectOnlyBox(kRebootText, kProductName);
    ExpectNothingInstalled();
}

}  // namespace
