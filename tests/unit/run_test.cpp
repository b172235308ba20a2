// Whole runs, from the entry routine to the exit code: how a run starts, the
// ends before anything is written, and a setup installing its product
// through the installer engine in both modes.
#include <gtest/gtest.h>

#include <functional>
#include <vector>
#include <algorithm>
#include <optional>
#include <string>

#include "format/ini_keys.h"
#include "container/extract.h"
#include "format/container_layout.h"
#include "pe_builder.h"
#include "run_fixture.h"
#include "runtime/installer.h"
#include "sim/faults.h"
#include "sim/files.h"
#include "sim/memory.h"
#include "sim/msgbox.h"
#include "sim/os.h"
#include "sim/installer.h"
#include "sim/resources.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui/ui.h"

using namespace run_fixture;

namespace {

constexpr const char* kDatabase = "the product's installer database";

class Run : public ::testing::Test {
protected:
    void SetUp() override { StartOver(); }

    // A fresh machine: every test begins with it, and each case of a table.
    virtual void StartOver() {
        PrepareMachine();
    }

    // An embedded setup carrying both runtime installers (stepped over: the
    // installed runtime is recent enough) and the product.
    static std::string EmbeddedSetup(const std::string& productPayload = pe_builder::Payload(kDatabase),
                                     pe_builder::Container container = {}) {
        std::string runtime9X = pe_builder::Payload("runtime for 95/98");
        std::string runtimeNT = pe_builder::Payload("runtime for NT");
        container.runtime9XSize = uint32_t(runtime9X.size());
        container.runtimeNTSize = uint32_t(runtimeNT.size());
        container.productSize = uint32_t(productPayload.size());
        container.payloads = runtime9X + runtimeNT + productPayload;
        return pe_builder::BuildSetup(container).bytes;
    }

    static void PutEmbeddedSetup() { sim::files::Put(kSetup, EmbeddedSetup()); }
};

TEST_F(Run, AnUnreadableSetupShowsOnlyTheCorruptBoxAndWritesNothing) {
    const struct {
        const char* name;
        std::function<void()> put;  // on a fresh machine: the image's record goes with the setup
    } cases[] = {
        {"own file missing", [] {}},
        {"not an image", [] { sim::files::Put(kSetup, "This is not a program."); }},
        {"no payload section",
         [] { sim::files::Put(kSetup, pe_builder::BuildImage({{".text", "code"}, {".rsrc", "r"}}).bytes); }},
        {"one byte longer than recorded", [] { sim::files::Put(kSetup, EmbeddedSetup() + "x"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        c.put();
        ScriptEngine(0);
        EXPECT_EQ(1u, sim::RunEntry()) << "a reported failure is never exit code 0";
        ExpectOnlyBox(kCorruptText);
        EXPECT_EQ(-1, sim::FindTrace("CreateFileA")) << "no file was written";
        EXPECT_TRUE(sim::shell::Starts().empty());
    }
}

// The stored product file name is joined to folders: anything but a plain
// name is a corrupt container, refused before anything is written.
TEST_F(Run, AStoredFileNameThatIsNotAPlainNameIsCorrupt) {
    const struct {
        const char* name;
        bool plain;
    } cases[] = {
        {"..\\..\\Windows\\evil.msi", false},
        {"sub/product.msi", false},
        {"C:product.msi", false},
        {"..", false},
        {"product..msi", false},
        {"\x5Cproduct.msi", false},  // a yen sign stored in code page 932
        {"\x95\x5Cproduct.msi", true},  // a double-byte character whose trail byte is 0x5C
        {"product.msi", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        sim::os::AddLeadByteRange(0x81, 0x9F);
        pe_builder::Container container;
        container.productFileName = pe_builder::Stored(c.name);
        sim::files::Put(kSetup, EmbeddedSetup(pe_builder::Payload(kDatabase), container));
        ScriptEngine(0);
        unsigned code = sim::RunEntry();
        EXPECT_EQ(c.plain, sim::FindTrace("CreateFileA") >= 0) << "a file is written only under a plain name";
        if (!c.plain) {
            EXPECT_EQ(1u, code);
            ExpectOnlyBox(kCorruptText);
            EXPECT_TRUE(sim::shell::Starts().empty());
        }
    }
}

TEST_F(Run, RefusedMemoryShowsTheCorruptBox) {
    for (int allocation : {1, 2}) {
        SCOPED_TRACE(allocation == 1 ? "the CRC table" : "the work buffer");
        StartOver();
        PutEmbeddedSetup();
        sim::faults::FailNthCallOf("GlobalAlloc", allocation);
        EXPECT_EQ(1u, sim::RunEntry());
        ExpectOnlyBox(kCorruptText);
    }
}

TEST_F(Run, AHeaderThatCannotBeReadWholeIsCorrupt) {
    // Reads 2 to 16 (the first is the image's): the header, the four
    // strings, the descriptor, the text block, the skipped string and the six
    // texts. A short one would leave every later field and payload misread.
    for (int read = 2; read <= 16; ++read) {
        SCOPED_TRACE(read);
        StartOver();
        PutEmbeddedSetup();
        sim::faults::FailNthCallOf("_lread", read);
        EXPECT_EQ(1u, sim::RunEntry());
        ExpectOnlyBox(kCorruptText);
        EXPECT_EQ(-1, sim::FindTrace("CreateFileA"));
    }
    // Where the texts begin cannot be told.
    StartOver();
    PutEmbeddedSetup();
    sim::faults::FailNthCallOf("_llseek", 2);
    EXPECT_EQ(1u, sim::RunEntry());
    ExpectOnlyBox(kCorruptText);
}

// The image Windows started records its container. A file put at its path
// after the start (a setup swapped while it was suspended) or a record that
// is missing or damaged makes the container corrupt: nothing of it is left
// on disk or run. Once the setup runs, its file can be neither renamed nor
// written.
TEST_F(Run, AContainerThatIsNotTheStartedImagesIsCorrupt) {
    auto anotherSetup = [] {
        pe_builder::Container other;
        other.productCode = pe_builder::Stored("{99999999-2222-3333-4444-555555555555}");
        other.payloads = pe_builder::Payload("another product's database");
        other.productSize = uint32_t(other.payloads.size());
        sim::files::Put(kSetup, pe_builder::BuildSetup(other.Bytes()).bytes);
    };
    auto sameHeadAnotherProduct = [] {
        std::string database = kDatabase;
        database[0] = 'T';
        std::string swapped = EmbeddedSetup(pe_builder::Payload(database));
        PutEmbeddedSetup();
        sim::files::Put(kSetup, swapped);
    };
    PutEmbeddedSetup();
    std::vector<uint8_t> cutRecord = *sim::ResourceBytes(10, DIGEST_RESOURCE_ID);
    cutRecord.pop_back();
    const struct {
        const char* name;
        std::function<void()> damage;
    } cases[] = {
        {"another setup at the path", anotherSetup},
        {"the same head with another product", sameHeadAnotherProduct},
        {"a bare stub with its own INI and database at the path", [] {
             sim::files::Put(kSetup, pe_builder::BuildSideFileStub().bytes);
             sim::files::Put("C:\\Setup\\setup.ini", "[" INI_SECTION "]\r\n" INI_KEY_PRODUCT_FILE "=other.msi\r\n");
             sim::files::Put("C:\\Setup\\other.msi", "another database");
         }},
        {"a record cut short", [&] { sim::ReplaceResource(10, DIGEST_RESOURCE_ID, cutRecord); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        PutEmbeddedSetup();
        c.damage();
        const std::vector<std::string> files = sim::files::AllFiles();
        ScriptEngine(0);
        EXPECT_EQ(1u, sim::RunEntry());
        ExpectOnlyBox(kCorruptText);
        EXPECT_TRUE(sim::shell::Starts().empty());
        EXPECT_EQ(files, sim::files::AllFiles()) << "nothing extracted is left";
    }

    StartOver();
    PutEmbeddedSetup();
    bool renamed = true, written = true;
    ScriptEngine(0, 2000, [&] {
        renamed = sim::files::RenameAsAnotherProcess(kSetup, "C:\\Setup\\moved.exe");
        written = sim::files::WriteAsAnotherProcess(kSetup, 0, "MZ");
    });
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_FALSE(renamed) << "its file is held sharing reads only";
    EXPECT_FALSE(written);
}

// A DLL planted beside the setup never runs in it: on every platform the
// search is held to the system folder first, or, where it cannot be, what the
// platform loads by name later is taken from there beforehand; every library
// comes by its full path, its dependencies from the system folder.
TEST_F(Run, NothingIsEverLookedForBesideTheSetup) {
    const char* const kKernel = "KERNEL32.DLL";
    const struct {
        const char* name;
        std::function<void()> platform;
        bool held;           // the search holds to the system folder
        bool setsNoFolder;   // SetDllDirectoryA("") takes the current folder out
        bool progressClass;  // the common controls could be initialised
    } cases[] = {
        {"Windows 7 with its update, and later", [] {}, true, false, true},
        {"SetDefaultDllDirectories fails", [] { sim::faults::FailNthCallOf("SetDefaultDllDirectories", 1); },
         false, true, true},
        {"before Windows 7's update",
         [=] { sim::installer::RemoveEntryPoint(kKernel, "SetDefaultDllDirectories"); }, false, true, true},
        {"before XP SP1",
         [=] {
             sim::installer::RemoveEntryPoint(kKernel, "SetDefaultDllDirectories");
             sim::installer::RemoveEntryPoint(kKernel, "SetDllDirectoryA");
         },
         false, false, true},
        {"no COMCTL32.DLL", [] { sim::installer::FailLibraryLoad("COMCTL32.DLL"); }, true, false, false},
        {"COMCTL32.DLL without InitCommonControls",
         [] { sim::installer::RemoveEntryPoint("COMCTL32.DLL", "InitCommonControls"); }, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        PutEmbeddedSetup();
        sim::installer::InstallProduct("{11111111-2222-3333-4444-555555555555}", "1.0");  // MSI.DLL is asked
        sim::AnswerNextBox(IDYES);
        ScriptEngine(0);
        c.platform();
        EXPECT_EQ(0u, sim::RunEntry()) << "the run goes on";
        EXPECT_EQ(sim::files::Get(kPlaced), kDatabase);
        ASSERT_EQ(1u, sim::shell::Starts().size());
        EXPECT_EQ(std::vector<std::string>{}, sim::installer::PlantedLoads());

        const int restricted = sim::FindTrace("SetDefaultDllDirectories 2048");
        EXPECT_EQ(c.held, sim::installer::CurrentLibrarySearch() == sim::installer::LibrarySearch::SystemFolderOnly);
        EXPECT_EQ(c.setsNoFolder, sim::FindTrace("SetDllDirectoryA ") >= 0);
        const std::string flags = c.held ? " 0" : " 8";  // the altered search while the search is not held
        const std::string system = "LoadLibraryExA C:\\WINDOWS\\SYSTEM32\\";
        const int theme = sim::FindTrace(system + "UXTHEME.DLL" + flags);
        EXPECT_EQ(!c.held, theme >= 0) << "the theme library beforehand, only where the search is not held";
        const int firstWindow = sim::FindTrace("RegisterClassA");
        ASSERT_GE(firstWindow, 0);
        EXPECT_LT(std::max(restricted, theme), firstWindow);
        EXPECT_LT(sim::FindTrace("SetErrorMode 4"), firstWindow);
        for (const char* library : {"COMCTL32.DLL", "VERSION.DLL", "MSI.DLL"})
            EXPECT_GT(sim::FindTrace(system + library + flags), std::max(restricted, theme)) << library;
        EXPECT_EQ(c.progressClass, sim::ClassRegistered("msctls_progress32"))
            << "the progress bar's class is there before any dialog, or the dialog cannot be made";
    }
}

TEST_F(Run, OwnPathDirectoryAndTail) {
    // A path of n characters in folders the host can hold.
    auto pathOf = [](size_t n) {
        return "C:\\" + std::string(100, 'a') + "\\" + std::string(n - 114, 'b') + "\\setup.exe";
    };
    const struct {
        std::string modulePath, ownPath;
        std::optional<std::string> directory;
    } cases[] = {
        {kSetup, kSetup, "C:\\Setup\\"},
        {"setup.exe", "setup.exe", ""},
        {pathOf(255), pathOf(255), pathOf(255).substr(0, 246)},
        // Cut, a path names another file: a setup planted at the cut name
        // (...\setup.e) is never opened.
        {pathOf(256), "", std::nullopt},
        {pathOf(257), "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.modulePath.size()) + " characters");
        StartOver();
        if (c.modulePath.size() > 255) sim::files::Put(c.modulePath.substr(0, 255), EmbeddedSetup());
        sim::SetModulePath(c.modulePath);
        sim::SetCommandLine("\"C:\\Setup\\setup.exe\" /qb");
        EXPECT_EQ(1u, sim::RunEntry());
        EXPECT_EQ(c.ownPath, std::string(g_run.ownPath));
        if (c.directory) {
            EXPECT_EQ(*c.directory, std::string(g_run.ownDirectory));
        } else {
            EXPECT_EQ(-1, sim::FindTrace("_lopen")) << "nothing opened";
        }
        EXPECT_STREQ("/qb", g_run.commandTail);
        ExpectOnlyBox(kCorruptText);
        EXPECT_TRUE(sim::shell::Starts().empty());
    }
}

TEST_F(Run, SideFileWithoutProductCodeEndsSilently) {
    sim::files::Put(kSetup, pe_builder::BuildSideFileStub().bytes);
    sim::files::Put("C:\\Setup\\setup.ini", "[VeskInstaller]\r\nProductVersion=1.0\r\n");
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_FALSE(sim::ClassRegistered(SPLASH_CLASS_NAME)) << "ended before the splash";
    EXPECT_TRUE(sim::shell::Starts().empty());
}

TEST_F(Run, AnEmbeddedSetupPlacesTheDatabaseAndRunsTheEngineOnIt) {
    PutEmbeddedSetup();
    ScriptEngine(0, 2000, [] { EXPECT_EQ(sim::files::Get(kPlaced), kDatabase) << "the database is on disk"; });
    EXPECT_EQ(0u, sim::RunEntry());
    ASSERT_EQ(1u, sim::shell::Starts().size());
    EXPECT_EQ(kEngine, sim::shell::Starts()[0].file);
    EXPECT_EQ(std::string("/I \"") + kPlaced + "\" VESK_SETUP_EXE_PATH=\"C:\\Setup\\setup.exe\"",
              sim::shell::Starts()[0].parameters);
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM32", sim::shell::Starts()[0].directory) << "the engine starts in the system folder";
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_TRUE(sim::files::Exists(kPlaced)) << "the product file stays after the run";
    EXPECT_EQ(0, sim::files::OpenHandleCount()) << "the container is closed at the end";
    EXPECT_EQ(0, sim::memory::LiveBlocks()) << "the CRC table and the work buffer are released at the end";
}

TEST_F(Run, SplashIsShownForItsHoldAndGoneBeforeTheEngine) {
    PutEmbeddedSetup();
    ScriptEngine(0, 1000);
    EXPECT_EQ(0u, sim::RunEntry());
    auto splash = sim::FindWindowOfClass(SPLASH_CLASS_NAME);
    ASSERT_TRUE(splash.has_value()) << "no splash window during the run";
    EXPECT_FALSE(splash->alive);
    int engine = sim::FindTrace("ShellExecuteExA");
    ASSERT_NE(-1, engine);
    EXPECT_LT(sim::FindTrace("DestroyWindow " SPLASH_CLASS_NAME), engine);
    EXPECT_EQ(1, sim::CountDelivered(SPLASH_CLASS_NAME, WM_TIMER)) << "the hold was waited for";
    EXPECT_GE(sim::shell::Starts()[0].atMs, 3000u) << "the splash was shown for its full time";
}

TEST_F(Run, TheEnginesFailureIsTheSetupsExitCodeAndTheTailLeadsItsCommand) {
    PutEmbeddedSetup();
    sim::SetCommandLine("\"C:\\Setup\\setup.exe\" /qb");
    ScriptEngine(1603, 2000);
    EXPECT_EQ(1603u, sim::RunEntry()) << "a failed installation is not reported as success";
    ASSERT_EQ(1u, sim::shell::Starts().size());
    EXPECT_EQ(0u, sim::shell::Starts()[0].parameters.rfind("/qb \"", 0)) << sim::shell::Starts()[0].parameters;
}

TEST_F(Run, AResumeValueFromAnEarlierRestartIsRemovedAtStartUp) {
    PutEmbeddedSetup();
    ScriptEngine(0);
    sim::registry::SetText(kRunKey, kResumeValue, "\"C:\\Setup\\setup.exe\" /qb");
    sim::RunEntry();
    EXPECT_FALSE(sim::registry::GetValue(kRunKey, kResumeValue));
}

TEST_F(Run, ADamagedProductEndsWithTheCrcTextAndOne) {
    sim::files::Put(kSetup, EmbeddedSetup(std::string(kDatabase) + pe_builder::Dword(0)));
    ScriptEngine(0);
    EXPECT_EQ(1u, sim::RunEntry());
    EXPECT_TRUE(sim::shell::Starts().empty());
    EXPECT_FALSE(sim::files::Exists(kPlaced));
    ExpectOnlyBox(kCrcText);
}

TEST_F(Run, ACancelDuringAnEmbeddedRunEndsWithOneAndNoEngine) {
    PutEmbeddedSetup();
    ScriptEngine(0);
    // The user closes the splash before the product has been written.
    sim::SendFromOutside(sim::BeforePeek(1), SPLASH_CLASS_NAME, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(1u, sim::RunEntry());
    EXPECT_TRUE(sim::shell::Starts().empty());
    EXPECT_FALSE(sim::files::Exists(kPlaced));
}

TEST_F(Run, WithoutThePictureTheRunInstallsWithNoWindows) {
    PutEmbeddedSetup();
    ScriptEngine(0);
    sim::RemoveResource(2, 111);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_EQ(1u, sim::shell::Starts().size()) << "the engine still runs";
    EXPECT_EQ(0, sim::CountWindowsOfClass(SPLASH_CLASS_NAME));
    EXPECT_EQ(0, sim::CountWindowsOfClass("#32770")) << "no progress dialog either";
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(Run, RefusedWindowClassOrEndingSessionEndsTheRunSilentlyWithoutTheEngine) {
    for (bool refuseClass : {true, false}) {
        SCOPED_TRACE(refuseClass ? "window class refused" : "session ending during the hold");
        StartOver();
        PutEmbeddedSetup();
        ScriptEngine(0);
        if (refuseClass) sim::RefuseClassRegistration(SPLASH_CLASS_NAME);
        else sim::EndSession(sim::At(1500));
        EXPECT_EQ(refuseClass ? 1u : 0u, sim::RunEntry()) << "nothing installed is not reported as success";
        EXPECT_TRUE(sim::shell::Starts().empty());
        EXPECT_TRUE(sim::MessageBoxes().empty());
    }
}

class SideFileRun : public Run {
protected:
    void StartOver() override {
        Run::StartOver();
        sim::files::Put("D:\\setup\\setup.exe", pe_builder::BuildSideFileStub().bytes);
        sim::files::Put("D:\\setup\\setup.ini",
                        "[VeskInstaller]\r\nProductName=Example\r\nProductCode={11111111-2222-3333-4444-"
                        "555555555555}\r\nProductVersion=1.0.0\r\nProductFile=product.msi\r\n");
        sim::SetModulePath("D:\\setup\\setup.exe");
        sim::SetCommandLine("D:\\setup\\setup.exe");
        ScriptEngine(0, 0);
    }
};

TEST_F(SideFileRun, TheEngineRunsOnTheFileBesideTheSetup) {
    EXPECT_EQ(0u, sim::RunEntry());
    ASSERT_EQ(1u, sim::shell::Starts().size());
    EXPECT_EQ("/I \"D:\\setup\\product.msi\" VESK_SETUP_EXE_PATH=\"D:\\setup\\setup.exe\"",
              sim::shell::Starts()[0].parameters);
    EXPECT_EQ("D:\\setup", sim::shell::Starts()[0].directory);
}

TEST_F(SideFileRun, ACancelDoesNotStopTheLaunch) {
    sim::SendFromOutside(sim::BeforePeek(1), SPLASH_CLASS_NAME, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_TRUE(g_run.cancelRequested) << "the user did cancel";
    EXPECT_EQ(1u, sim::shell::Starts().size());
}

}  // namespace
