// Where the product file goes, how it is written, and what the user sees
// when that fails.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "container/extract.h"
#include "container_fixture.h"
#include "driver/run_state.h"
#include "pe_builder.h"
#include "product/product.h"
#include "sim/files.h"
#include "sim/msgbox.h"
#include "sim/os.h"
#include "sim/registry.h"
#include "sim/sim.h"

namespace {

const char* const kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char* const kCommonFiles = "C:\\Program Files\\Common Files";
const char* const kWizardFolder = "C:\\Program Files\\Common Files\\Vesk Installation Wizard";

class ProductPlacement : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        g_run.embedded = TRUE;
        SetProductFileName("setup.TMP");
        sim::registry::SetText(kCurrentVersion, "CommonFilesDir", kCommonFiles);
        StoreProduct(pe_builder::Payload(kData));
        ASSERT_TRUE(BuildCrcTable());
    }

    // The container stands at the stored product file, as placement expects.
    static void StoreProduct(const std::string& stored) {
        container_fixture::OpenContainer(stored);
        g_settings.productSize = DWORD(stored.size());
    }

    static void SetProductFileName(const std::string& name) {
        std::strncpy(g_settings.productFileName, name.c_str(), sizeof g_settings.productFileName - 1);
    }

    // Runs placement; true when it ended the process (code in exitCode).
    bool Place(unsigned* exitCode = nullptr) {
        path[0] = 0;
        unsigned code = 0;
        bool ended = sim::RunUntilExit([this] { PlaceProductFile(path); }, &code);
        if (exitCode) *exitCode = code;
        return ended;
    }

    std::string Placed() {
        EXPECT_FALSE(Place()) << "placement ended the process";
        return path;
    }

    static bool IsTempName(const std::string& placed) {
        // The platform chooses the case of the hex digits and the extension.
        return placed.rfind("C:\\Temp\\ZRP", 0) == 0 && placed.size() > 4 &&
               lstrcmpiA(placed.c_str() + placed.size() - 4, ".TMP") == 0;
    }

    static constexpr const char* kData = "an installer database";
    char path[PATH_BUFFER];
};

TEST_F(ProductPlacement, GoesUnderTheCommonFilesFolderWithTheDatabaseExtension) {
    std::string placed = Placed();
    EXPECT_EQ(placed, std::string(kWizardFolder) + "\\setup.MSI");
    EXPECT_TRUE(sim::files::IsDirectory(kWizardFolder)) << "the folder is created";
    EXPECT_EQ(sim::files::Get(placed), kData);
}

TEST_F(ProductPlacement, ATrailingBackslashOfTheCommonFilesFolderIsNotDoubled) {
    sim::registry::SetText(kCurrentVersion, "CommonFilesDir", std::string(kCommonFiles) + "\\");
    EXPECT_EQ(Placed(), std::string(kWizardFolder) + "\\setup.MSI");
}

TEST_F(ProductPlacement, ATransformGetsTheTransformExtension) {
    std::strcpy(g_settings.transformBase, "D:\\base.msi");
    EXPECT_EQ(Placed(), std::string(kWizardFolder) + "\\setup.MST");
}

TEST_F(ProductPlacement, ANameWithoutExtensionHasItsLastThreeCharactersReplaced) {
    SetProductFileName("abc");
    EXPECT_EQ(Placed(), std::string(kWizardFolder) + "\\MSI");
}

TEST_F(ProductPlacement, WithoutCommonFilesTheTemporaryFolderKeepsTheStoredName) {
    sim::registry::DeleteValue(kCurrentVersion, "CommonFilesDir");
    EXPECT_EQ(Placed(), "C:\\Temp\\setup.TMP");
}

TEST_F(ProductPlacement, WithoutCommonFilesAndANameAFreshTemporaryFileIsUsed) {
    sim::registry::DeleteValue(kCurrentVersion, "CommonFilesDir");
    SetProductFileName("");
    std::string placed = Placed();
    EXPECT_TRUE(IsTempName(placed)) << placed;
    EXPECT_EQ(sim::files::Get(placed), kData);
}

TEST_F(ProductPlacement, ANameShorterThanTheExtensionIsNeverPlacedUnderCommonFiles) {
    SetProductFileName("");
    EXPECT_TRUE(IsTempName(Placed())) << "no file named after the folder itself";
    for (const char* name : {"a", "ab"}) {
        StoreProduct(pe_builder::Payload(kData));
        SetProductFileName(name);
        EXPECT_EQ(Placed(), std::string("C:\\Temp\\") + name)
            << "the extension would eat into the folder and put the file beside it";
    }
}

TEST_F(ProductPlacement, AFolderWhereFilesCannotBeCreatedFallsBackToATemporaryName) {
    sim::files::RefuseCreate(kCommonFiles);
    std::string placed = Placed();
    EXPECT_TRUE(IsTempName(placed)) << placed;
    EXPECT_EQ(sim::files::Get(placed), kData);
}

TEST_F(ProductPlacement, ACommonFilesPathTooLongForItsBufferIsPassedOver) {
    std::string longFolder = "C:\\" + std::string(220, 'f');
    sim::registry::SetText(kCurrentVersion, "CommonFilesDir", longFolder);
    EXPECT_EQ(Placed(), "C:\\Temp\\setup.TMP") << "the next candidate, not a cut path";
    StoreProduct(pe_builder::Payload(kData));
    sim::registry::SetText(kCurrentVersion, "CommonFilesDir", "C:\\" + std::string(300, 'f'));
    EXPECT_EQ(Placed(), "C:\\Temp\\setup.TMP") << "a value longer than the buffer";
}

TEST_F(ProductPlacement, ATemporaryFolderPathTooLongForItsBufferIsPassedOver) {
    sim::registry::DeleteValue(kCurrentVersion, "CommonFilesDir");
    sim::files::SetTempPath("C:\\" + std::string(100, 't') + "\\");
    SetProductFileName(std::string(200, 'n') + ".msi");
    std::string placed = Placed();
    EXPECT_EQ(placed.rfind("C:\\" + std::string(100, 't') + "\\ZRP", 0), 0u) << placed;
}

TEST_F(ProductPlacement, NoTemporaryNameFitsThePathBuffer) {
    sim::registry::DeleteValue(kCurrentVersion, "CommonFilesDir");
    SetProductFileName("");
    sim::files::SetTempPath("C:\\" + std::string(245, 't') + "\\");
    unsigned code = 0;
    EXPECT_TRUE(Place(&code));
    EXPECT_EQ(code, 1u);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, "Corrupt installation detected.");
}

TEST_F(ProductPlacement, AnExistingFileIsOverwritten) {
    sim::files::Put(std::string(kWizardFolder) + "\\setup.MSI", std::string(500, 'x'));
    EXPECT_EQ(sim::files::Get(Placed()), kData);
}

TEST_F(ProductPlacement, ACrcFailureDeletesTheFileAndShowsTheCrcText) {
    StoreProduct(std::string(kData) + pe_builder::Dword(0x12345678));
    unsigned code = 0;
    EXPECT_TRUE(Place(&code));
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(sim::files::Exists(std::string(kWizardFolder) + "\\setup.MSI"));
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text,
              "Corrupt installation detected, check source media or re-download.");
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "Install");
    EXPECT_EQ(sim::MessageBoxes()[0].type, UINT(MB_OK));
}

TEST_F(ProductPlacement, AShortWriteShowsTheSpaceText) {
    sim::files::SetWriteQuota(5);
    unsigned code = 0;
    EXPECT_TRUE(Place(&code));
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(sim::files::Exists(std::string(kWizardFolder) + "\\setup.MSI"));
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, "Not enough free temporary disk space.");
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "Install");
}

TEST_F(ProductPlacement, AFileThatCannotBeOpenedIsReportedAndKept) {
    sim::files::RefuseOpen(kWizardFolder);
    unsigned code = 0;
    EXPECT_TRUE(Place(&code));
    EXPECT_EQ(code, 1u);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, "Corrupt installation detected.");
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "Install");
    EXPECT_TRUE(sim::files::Exists(std::string(kWizardFolder) + "\\setup.MSI"));
}

TEST_F(ProductPlacement, ACancelDeletesTheFileAndEndsWithoutAMessage) {
    g_run.cancelRequested = TRUE;
    unsigned code = 0;
    EXPECT_TRUE(Place(&code));
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(sim::files::Exists(std::string(kWizardFolder) + "\\setup.MSI"));
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(ProductPlacement, SideFileModeNamesTheFileBesideTheProgram) {
    g_run.embedded = FALSE;
    std::strcpy(g_run.ownDirectory, "D:\\setup\\");
    std::strcpy(g_run.iniPath, "D:\\setup\\setup.ini");
    sim::files::Put("D:\\setup\\setup.ini", "[VeskInstaller]\r\nProductFile=product.msi\r\n");
    g_run.cancelRequested = TRUE;  // not examined in this mode
    EXPECT_EQ(Placed(), "D:\\setup\\product.msi");
    EXPECT_FALSE(sim::files::Exists("D:\\setup\\product.msi")) << "nothing is created or tested";
}

TEST_F(ProductPlacement, SideFileModeRefusesAPathTooLongForItsBuffer) {
    g_run.embedded = FALSE;
    std::strcpy(g_run.ownDirectory, ("D:\\" + std::string(200, 'd') + "\\").c_str());
    std::strcpy(g_run.iniPath, "D:\\setup\\setup.ini");
    sim::files::Put("D:\\setup\\setup.ini",
                    "[VeskInstaller]\r\nProductFile=" + std::string(100, 'p') + ".msi\r\n");
    unsigned code = 0;
    EXPECT_TRUE(Place(&code));
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(sim::MessageBoxes().size(), 1u);
}

TEST(MakeTempFileName, CreatesAnEmptyZrpFileInTheTemporaryFolder) {
    sim::Reset();
    char name[PATH_BUFFER];
    MakeTempFileName(name);
    std::string made = name;
    EXPECT_EQ(made.rfind("C:\\Temp\\ZRP", 0), 0u) << made;
    EXPECT_EQ(0, lstrcmpiA(made.c_str() + made.size() - 4, ".TMP")) << made;
    EXPECT_TRUE(sim::files::Exists(made));
    EXPECT_EQ(sim::files::Size(made), 0u);
}

std::vector<std::string> DirectoriesAsked() {
    std::vector<std::string> asked;
    for (const std::string& line : sim::Trace())
        if (line.rfind("CreateDirectoryA ", 0) == 0) asked.push_back(line.substr(17));
    return asked;
}

TEST(CreatePathDirectories, CreatesEveryFolderThatABackslashEnds) {
    sim::Reset();
    char path[] = "C:\\One\\Two\\file.msi";
    CreatePathDirectories(path);
    EXPECT_EQ(DirectoriesAsked(), (std::vector<std::string>{"C:", "C:\\One", "C:\\One\\Two"}));
    EXPECT_TRUE(sim::files::IsDirectory("C:\\One\\Two"));
    EXPECT_STREQ(path, "C:\\One\\Two\\file.msi") << "the path is left as it was";
}

TEST(CreatePathDirectories, ADoubleByteCharacterWhoseTrailByteIsABackslashIsNotSplit) {
    sim::Reset();
    sim::os::AddLeadByteRange(0x81, 0x9F);
    char path[] = "C:\\A\x95\\B\\f.msi";
    CreatePathDirectories(path);
    EXPECT_EQ(DirectoriesAsked(), (std::vector<std::string>{"C:", "C:\\A\x95\\B"}));
}

TEST_F(ProductPlacement, ADoubleByteCommonFilesFolderKeepsItsLastCharacter) {
    sim::os::AddLeadByteRange(0x81, 0x9F);
    sim::registry::SetText(kCurrentVersion, "CommonFilesDir", "C:\\Files\x95\\");
    EXPECT_EQ(Placed(), "C:\\Files\x95\\\\Vesk Installation Wizard\\setup.MSI");
}

}  // namespace
