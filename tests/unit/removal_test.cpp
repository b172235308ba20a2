// Previous-version removal in whole runs: when the question comes, what it
// says, and what Yes and No lead to.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "pe_builder.h"
#include "run_fixture.h"
#include "runtime/installer.h"
#include "sim/faults.h"
#include "sim/files.h"
#include "sim/installer.h"
#include "sim/memory.h"
#include "sim/sim.h"

using namespace run_fixture;
using pe_builder::Stored;

namespace {

constexpr const char* kCode = "{11111111-2222-3333-4444-555555555555}";  // the test container's
constexpr UINT kQuestionButtons = MB_YESNO | MB_DEFBUTTON2;

std::string BuiltInQuestion(const std::string& name, const std::string& installed, const std::string& version) {
    return name + " Version " + installed + " is already installed. You must uninstall the existing version " +
           "before installing " + name + " Version " + version + ".\r\n\r\nDo you want to uninstall the existing " +
           "version of " + name + "?";
}

class Removal : public ::testing::Test {
protected:
    void SetUp() override { StartOver(); }

    // A fresh machine: every test begins with it, and each case of a table.
    virtual void StartOver() {
        PrepareMachine();
        ScriptEngine(0);
    }

    // An embedded setup of "Example" in the given version.
    static void PutSetup(const std::string& version = "2.0", pe_builder::Container container = {}) {
        container.productVersion = Stored(version);
        std::string product = pe_builder::Payload("the product's database");
        container.productSize = uint32_t(product.size());
        container.payloads = product;
        sim::files::Put(kSetup, pe_builder::BuildSetup(container).bytes);
    }

    static int Lookups() {
        int count = 0;
        for (const std::string& line : sim::Trace())
            if (line.rfind("MsiGetProductInfoA", 0) == 0) ++count;
        return count;
    }

    static bool EngineStarted() {
        for (const auto& start : sim::shell::Starts())
            if (start.file == kEngine) return true;
        return false;
    }
};

TEST_F(Removal, OnlyAnotherInstalledVersionIsAskedAbout) {
    const struct {
        const char* name;
        std::optional<std::string> installed;
        const char* version;
        bool question;
    } cases[] = {
        {"not installed", std::nullopt, "2.0", false},
        {"the same version", "2.0", "2.0", false},
        {"an older version", "1.0", "2.0", true},
        {"a newer version", "3.0", "2.0", true},
        {"versions differing in case only", "1.0a", "1.0A", true},
        {"an empty installed version", "", "2.0", false},
        {"an installed version too long for the buffer", std::string(256, '9'), "2.0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        PutSetup(c.version);
        if (c.installed) sim::installer::InstallProduct(kCode, *c.installed);
        sim::AnswerNextBox(IDNO);
        unsigned code = sim::RunEntry();
        EXPECT_EQ(c.question ? 1u : 0u, sim::MessageBoxes().size());
        EXPECT_EQ(c.question ? 1u : 0u, code);
        EXPECT_EQ(!c.question, EngineStarted());
        EXPECT_EQ(1, Lookups());
        EXPECT_GE(sim::FindTrace("MsiGetProductInfoA " + std::string(kCode) + " VersionString length 256"), 0);
        EXPECT_EQ(0, sim::installer::LoadCount("MSI.DLL") - (c.question ? 1 : 0))
            << "the library is released, but on the decline path";
    }
}

TEST_F(Removal, TheLookUpRunsOnlyWhenRemovalIsOnAndTheIdentityComplete) {
    const struct {
        const char* name;
        bool embedded;
        const char* removeLine;  // side-file mode
        const char* code;
        const char* version;
        bool lookup;
    } cases[] = {
        {"embedded", true, "", kCode, "2.0", true},
        {"embedded without a product code", true, "", "", "2.0", false},
        {"embedded without a product version", true, "", kCode, "", false},
        {"side file without Remove Previous", false, "", kCode, "2.0", false},
        {"side file with Remove Previous=0", false, "Remove Previous=0\r\n", kCode, "2.0", false},
        {"side file with Remove Previous=2", false, "Remove Previous=2\r\n", kCode, "2.0", false},
        {"side file with Remove Previous=1", false, "Remove Previous=1\r\n", kCode, "2.0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        if (c.embedded) {
            pe_builder::Container container;
            container.productCode = Stored(c.code);
            PutSetup(c.version, container);
        } else {
            sim::files::Put(kSetup, pe_builder::BuildSideFileStub().bytes);
            sim::files::Put("C:\\Setup\\product.msi", "database");
            sim::files::Put("C:\\Setup\\setup.ini", std::string("[VeskInstaller]\r\nProductName=Example\r\n") +
                                                        "ProductCode=" + c.code + "\r\nProductVersion=" + c.version +
                                                        "\r\nProductFile=product.msi\r\n" + c.removeLine);
        }
        sim::installer::InstallProduct(kCode, "1.0");
        sim::AnswerNextBox(IDNO);
        sim::RunEntry();
        EXPECT_EQ(c.lookup ? 1 : 0, Lookups());
        EXPECT_EQ(c.lookup ? 1u : 0u, sim::MessageBoxes().size());
    }
}

TEST_F(Removal, TheQuestionsText) {
    const std::string longName(200, 'N');
    const std::string longVersion(255, '7');
    const struct {
        const char* name;
        std::string configured;  // "" for the built-in text
        std::string productName;
        std::string installed;
        std::string expected;
    } cases[] = {
        {"the built-in text", "", "Example", "1.0", BuiltInQuestion("Example", "1.0", "2.0")},
        {"one %s takes the name", "Remove %s first?", "Example", "1.0", "Remove Example first?"},
        {"five %s in order", "%s|%s|%s|%s|%s", "Example", "1.0", "Example|1.0|Example|2.0|Example"},
        {"%% is a percent sign", "100%% sure about %s?", "Example", "1.0", "100% sure about Example?"},
        {"%d would read a missing number", "Remove %d copies?", "Example", "1.0",
         BuiltInQuestion("Example", "1.0", "2.0")},
        {"six %s would read a missing text", "%s%s%s%s%s%s", "Example", "1.0",
         BuiltInQuestion("Example", "1.0", "2.0")},
        {"a lone % at the end", "Remove %s %", "Example", "1.0", BuiltInQuestion("Example", "1.0", "2.0")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        pe_builder::Container container;
        if (!c.configured.empty()) container.texts[2] = Stored(c.configured);
        container.textBlock = Stored("MS Sans Serif") + Stored(c.productName) + Stored("Initializing");
        PutSetup("2.0", container);
        sim::installer::InstallProduct(kCode, c.installed);
        sim::AnswerNextBox(IDNO);
        EXPECT_EQ(1u, sim::RunEntry());
        if (auto box = ExpectOnlyBox(c.expected, c.productName)) EXPECT_EQ(kQuestionButtons, box->type);
    }

    // The longest name and installed version the fields allow: a configured
    // question that would not fit gives way to the built-in one, whose name
    // is cut so that it fits its 512 bytes.
    for (const char* configured : {"", "%s %s %s"}) {
        SCOPED_TRACE(configured);
        StartOver();
        pe_builder::Container container;
        container.textBlock = Stored("F") + Stored(longName) + Stored("I");
        if (configured[0]) container.texts[2] = Stored(configured);
        PutSetup(std::string(63, '2'), container);
        sim::installer::InstallProduct(kCode, longVersion);
        sim::AnswerNextBox(IDNO);
        sim::RunEntry();
        ASSERT_EQ(1u, sim::MessageBoxes().size());
        const std::string& text = sim::MessageBoxes()[0].text;
        EXPECT_LE(text.size(), 511u);
        EXPECT_NE(std::string::npos, text.find(" Version " + longVersion + " is already installed."));
        EXPECT_NE(std::string::npos, text.find(" Version " + std::string(63, '2') + "."));
        EXPECT_EQ(0u, text.find("NNNNNNNNNN")) << "the name, cut, still opens the question";
    }
}

TEST_F(Removal, SideFileModeNamesTheProductFromTheIniFile) {
    sim::files::Put(kSetup, pe_builder::BuildSideFileStub().bytes);
    sim::files::Put("C:\\Setup\\product.msi", "database");
    sim::files::Put("C:\\Setup\\setup.ini", std::string("[VeskInstaller]\r\nProductName=Side Product\r\n") +
                                                "ProductCode=" + kCode +
                                                "\r\nProductVersion=2.0\r\nProductFile=product.msi\r\n"
                                                "Remove Previous=1\r\nExistError=Remove %s %s?\r\n");
    sim::installer::InstallProduct(kCode, "1.0");
    sim::AnswerNextBox(IDNO);
    EXPECT_EQ(1u, sim::RunEntry());
    ExpectOnlyBox("Remove Side Product 1.0?", "Side Product");
}

TEST_F(Removal, NoEndsWithOneBeforeAnythingIsPlaced) {
    PutSetup();
    sim::installer::InstallProduct(kCode, "1.0");
    sim::AnswerNextBox(IDNO);
    EXPECT_EQ(1u, sim::RunEntry());
    EXPECT_FALSE(sim::files::Exists(kPlaced));
    EXPECT_FALSE(EngineStarted());
    EXPECT_EQ(sim::installer::InstalledVersion(kCode), "1.0") << "nothing was removed";
    EXPECT_EQ(-1, sim::FindTrace("MsiConfigureProductA"));
    EXPECT_GE(sim::FindTrace("DestroyWindow VeskForWindowsInstaller"), 0) << "the splash is closed";
    // The box comes only after the splash's 3 seconds, with the splash hidden.
    ASSERT_EQ(1u, sim::MessageBoxes().size());
    EXPECT_GE(sim::MessageBoxes()[0].shownAt, 3000u);
    int hidden = sim::FindTrace("ShowWindow VeskForWindowsInstaller 0");
    ASSERT_GE(hidden, 0);
    EXPECT_LT(hidden, sim::FindTrace("MessageBoxA"));
}

TEST_F(Removal, AQuestionThatCannotBeShownRemovesNothing) {
    PutSetup();
    sim::installer::InstallProduct(kCode, "1.0");
    sim::faults::FailEveryCallOf("MessageBoxA");
    EXPECT_EQ(1u, sim::RunEntry()) << "as a No";
    EXPECT_EQ(sim::installer::InstalledVersion(kCode), "1.0");
    EXPECT_EQ(-1, sim::FindTrace("MsiConfigureProductA"));
    EXPECT_FALSE(EngineStarted());
}

TEST_F(Removal, YesRemovesThroughTheServiceAndTheRunGoesOn) {
    PutSetup();
    sim::installer::InstallProduct(kCode, "1.0");
    sim::AnswerNextBox(IDYES);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_FALSE(sim::installer::IsInstalled(kCode));
    int box = sim::FindTrace("MessageBoxA");
    int shown = sim::FindTrace("ShowWindow VeskForWindowsInstaller 5", box);
    int removed = sim::FindTrace(std::string("MsiConfigureProductA ") + kCode + " 0 2", box);
    int pause = sim::FindTrace("Sleep 500", removed);
    ASSERT_GE(shown, 0) << "the splash is shown again";
    EXPECT_LT(shown, removed);
    EXPECT_GE(pause, 0);
    EXPECT_EQ(2, Lookups()) << "looked up again after the removal";
    EXPECT_TRUE(sim::files::Exists(kPlaced));
    EXPECT_TRUE(EngineStarted());
    EXPECT_EQ(0, sim::installer::LoadCount("MSI.DLL"));
    EXPECT_GE(sim::FindTrace("LoadLibraryExA C:\\WINDOWS\\SYSTEM32\\MSI.DLL 0"), 0) << "by its full path";
}

TEST_F(Removal, TheQuestionComesBackWhileTheVersionStays) {
    const struct {
        const char* name;
        void (*fault)();
        bool configureCalled;
    } cases[] = {
        {"a failing removal", [] { sim::installer::FailRemoval(); }, true},
        {"a removal that leaves the product", [] { sim::installer::KeepProductAfterRemoval(); }, true},
        {"no MsiConfigureProductA", [] { sim::installer::RemoveEntryPoint(MSI_LIBRARY, MSI_CONFIGURE_PRODUCT); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        PutSetup();
        sim::installer::InstallProduct(kCode, "1.0");
        c.fault();
        sim::AnswerNextBox(IDYES);
        sim::AnswerNextBox(IDYES);
        sim::AnswerNextBox(IDNO);
        EXPECT_EQ(1u, sim::RunEntry());
        EXPECT_EQ(3u, sim::MessageBoxes().size());
        EXPECT_EQ(3, Lookups());
        EXPECT_EQ(c.configureCalled, sim::FindTrace("MsiConfigureProductA") >= 0);
        EXPECT_EQ(c.configureCalled, sim::FindTrace("Sleep 500") >= 0) << "a pause only after a removal";
        EXPECT_FALSE(EngineStarted());
    }
}

TEST_F(Removal, WithoutTheLibraryOrItsLookUpTheStepIsSkipped) {
    for (bool libraryMissing : {true, false}) {
        SCOPED_TRACE(libraryMissing ? "MSI.DLL does not load" : "no MsiGetProductInfoA");
        StartOver();
        PutSetup();
        sim::installer::InstallProduct(kCode, "1.0");
        if (libraryMissing) sim::installer::FailLibraryLoad(MSI_LIBRARY);
        else sim::installer::RemoveEntryPoint(MSI_LIBRARY, MSI_GET_PRODUCT_INFO);
        EXPECT_EQ(0u, sim::RunEntry());
        EXPECT_TRUE(sim::MessageBoxes().empty());
        EXPECT_TRUE(EngineStarted());
        EXPECT_EQ(0, sim::installer::LoadCount("MSI.DLL"));
    }
}

}  // namespace
