// Where the product file goes, how it is written, and what the user sees
// when that fails.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "container/extract.h"
#include "container_fixture.h"
#include "base/run_state.h"
#include "pe_builder.h"
#include "base/temp_files.h"
#include "product/product.h"
#include "run_fixture.h"
#include "sim/files.h"
#include "sim/os.h"
#include "sim/session.h"
#include "sim/sim.h"

using namespace run_fixture;

namespace {

const std::string kWizardFile = std::string(kWizardFolder) + "\\setup.MSI";
// The platform's first temporary name, made a folder of the run's own: an
// elevated run's (as here, unless a test says otherwise) in the system's
// temporary folder, another's in the user's.
const std::string kPrivateFolder = "C:\\WINDOWS\\SYSTEM32\\..\\Temp\\ZRP1.tmp";
const std::string kUserPrivateFolder = "C:\\Temp\\ZRP1.tmp";
constexpr const char* kData = "an installer database";

class ProductPlacement : public ::testing::Test {
protected:
    void SetUp() override { StartOver(); }

    // A fresh machine: every test begins with it, and each case of a table.
    virtual void StartOver() {
        sim::Reset();
        g_run.embedded = TRUE;
        SetProductFileName("setup.TMP");
        SetCommonFiles(kCommonFiles);
        StoreProduct(pe_builder::Payload(kData));
        ASSERT_TRUE(BuildCrcTable());
    }

    // The container stands at the stored product file, as placement expects.
    static void StoreProduct(const std::string& stored) {
        container_fixture::OpenContainer(stored);
        pe_builder::MapDigestRecord("", "", "", stored);
        g_settings.productSize = DWORD(stored.size());
    }

    static void SetProductFileName(const std::string& name) {
        std::strncpy(g_settings.productFileName, name.c_str(), sizeof g_settings.productFileName - 1);
    }

    static void NoCommonFiles() { sim::registry::DeleteValue(kCurrentVersion, "CommonFilesDir"); }

    static void SideFileMode(const std::string& ownDirectory, const std::string& productFile) {
        g_run.embedded = FALSE;
        std::strcpy(g_run.ownDirectory, ownDirectory.c_str());
        std::strcpy(g_run.iniPath, "D:\\setup\\setup.ini");
        sim::files::Put("D:\\setup\\setup.ini", "[VeskInstaller]\r\nProductFile=" + productFile + "\r\n");
    }

    // Runs placement; true when it ended the process (code in exitCode).
    bool Place(unsigned* exitCode) {
        path[0] = 0;
        return sim::RunUntilExit([this] { hold = PlaceProductFile(path); }, exitCode);
    }

    // The placed file, held for the engine: nobody else writes, renames or
    // deletes it until the hold is closed.
    std::string Placed() {
        unsigned code = 0;
        EXPECT_FALSE(Place(&code)) << "placement ended the process";
        if (g_run.embedded) {
            EXPECT_FALSE(sim::files::WriteAsAnotherProcess(path, 0, "MZ"));
            EXPECT_FALSE(sim::files::RenameAsAnotherProcess(path, std::string(path) + ".old"));
        }
        CloseHandle(hold);
        return path;
    }

    // The platform chooses the case of the hex digits and the extension.
    static bool IsTempName(const std::string& placed, const std::string& folder = "C:\\Temp\\") {
        return placed.rfind(folder + "ZRP", 0) == 0 &&
               lstrcmpiA(placed.c_str() + placed.size() - 4, ".TMP") == 0;
    }

    char path[PATH_BUFFER];
    HANDLE hold = INVALID_HANDLE_VALUE;
};

TEST_F(ProductPlacement, ThePathFollowsTheCommonFilesFolderTheNameAndTheTransform) {
    const std::string temp = "a fresh temporary name";
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::string expected;
    } cases[] = {
        {"the database extension", [] {}, kWizardFile},
        {"a trailing backslash is not doubled",
         [] { SetCommonFiles(std::string(kCommonFiles) + "\\"); }, kWizardFile},
        {"an existing file is overwritten", [] { sim::files::Put(kWizardFile, std::string(500, 'x')); },
         kWizardFile},
        {"a transform gets the transform extension",
         [] { std::strcpy(g_settings.transformBase, "D:\\base.msi"); }, std::string(kWizardFolder) + "\\setup.MST"},
        {"no extension: the last three characters are replaced", [] { SetProductFileName("abc"); },
         std::string(kWizardFolder) + "\\MSI"},
        {"no common files: the run's own folder keeps the stored name", [] { NoCommonFiles(); },
         kPrivateFolder + "\\setup.TMP"},
        {"no common files and no name", [] { NoCommonFiles(); SetProductFileName(""); }, temp},
        {"no name is never placed as the folder itself", [] { SetProductFileName(""); }, temp},
        // The extension would eat into the folder and put the file beside it.
        {"a one-letter name", [] { SetProductFileName("a"); }, kPrivateFolder + "\\a"},
        {"a two-letter name", [] { SetProductFileName("ab"); }, kPrivateFolder + "\\ab"},
        {"a folder where files cannot be created", [] { sim::files::RefuseCreate(kCommonFiles); },
         kPrivateFolder + "\\setup.TMP"},
        {"a double-byte folder keeps its last character",
         [] {
             sim::os::AddLeadByteRange(0x81, 0x9F);
             SetCommonFiles("C:\\Files\x95\\");
         },
         "C:\\Files\x95\\\\Vesk Installation Wizard\\setup.MSI"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        c.arrange();
        std::string placed = Placed();
        if (c.expected == temp) {
            EXPECT_TRUE(IsTempName(placed, kPrivateFolder + "\\")) << placed;
        } else {
            EXPECT_EQ(c.expected, placed);
        }
        EXPECT_EQ(kData, sim::files::Get(placed));
        if (c.expected.rfind(kWizardFolder, 0) == 0) {
            EXPECT_TRUE(sim::files::IsDirectory(kWizardFolder)) << "the folder is created";
        }
    }
}

// Two runs at once never share a file: each has a folder of its own, an
// elevated one Administrators' and SYSTEM's alone (no machine here enforces
// that list; it is read back as Windows would read it).
TEST_F(ProductPlacement, EveryRunFallsBackToAFolderOfItsOwn) {
    const std::string adminsOnly =
        "protected; allow S-1-5-32-544 0x1F01FF files+folders; allow S-1-5-18 0x1F01FF files+folders; "
        "allow S-1-3-4 0x20000 files+folders";
    for (bool elevated : {true, false}) {
        SCOPED_TRACE(elevated ? "elevated" : "not elevated");
        StartOver();
        sim::session::SetAdministrator(elevated);
        NoCommonFiles();
        std::string first = Placed();
        StoreProduct(pe_builder::Payload(kData));
        std::string second = Placed();
        const std::string folder = elevated ? kPrivateFolder : kUserPrivateFolder;
        EXPECT_EQ(folder + "\\setup.TMP", first);
        EXPECT_NE(first.substr(0, first.rfind('\\')), second.substr(0, second.rfind('\\')));
        EXPECT_EQ(kData, sim::files::Get(first)) << "the second run left the first one's file alone";
        EXPECT_EQ(kData, sim::files::Get(second));
        EXPECT_EQ(elevated ? second.substr(0, second.rfind('\\')) : "", sim::os::Environment("TMP"))
            << "an elevated run's children keep their temporary files in its folder";
        EXPECT_EQ(elevated ? std::optional<std::string>(adminsOnly) : std::nullopt,
                  sim::files::FolderAccess(folder))
            << "not elevated: the user's own, from the temporary folder";
    }
}

TEST_F(ProductPlacement, FailuresEndWithOneAndTheirBox) {
    const struct {
        const char* name;
        std::function<void()> arrange;
        const char* text;  // nullptr: no box
        bool fileKept;
    } cases[] = {
        {"a CRC failure", [] { StoreProduct(std::string(kData) + pe_builder::Dword(0x12345678)); }, kCrcText,
         false},
        {"a short write", [] { sim::files::SetWriteQuota(5); }, "Not enough free temporary disk space.", false},
        {"a file that cannot be held", [] { sim::files::RefuseOpen(kWizardFolder); }, kCorruptText, false},
        {"a cancel", [] { g_run.cancelRequested = TRUE; }, nullptr, false},
        {"no temporary name fits the path buffer",
         [] {
             sim::session::SetAdministrator(false);
             NoCommonFiles();
             SetProductFileName("");
             sim::files::SetTempPath("C:\\" + std::string(245, 't') + "\\");
         },
         kCorruptText, false},
        {"a common files path too long for its buffer",
         [] { SetCommonFiles("C:\\" + std::string(220, 'f')); }, kCorruptText, false},
        {"a common files value longer than the buffer",
         [] { SetCommonFiles("C:\\" + std::string(300, 'f')); }, kCorruptText, false},
        {"the run's folder and the stored name too long for the buffer",
         [] {
             sim::session::SetAdministrator(false);
             NoCommonFiles();
             sim::files::SetTempPath("C:\\" + std::string(100, 't') + "\\");
             SetProductFileName(std::string(200, 'n') + ".msi");
         },
         kCorruptText, false},
        {"the run's folder cannot be made",
         [] {
             NoCommonFiles();
             sim::files::RefuseCreate("C:\\WINDOWS\\TEMP\\ZRP");
         },
         kCorruptText, false},
        {"a side-file path too long for its buffer",
         [] { SideFileMode("D:\\" + std::string(200, 'd') + "\\", std::string(100, 'p') + ".msi"); },
         kCorruptText, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        c.arrange();
        unsigned code = 0;
        EXPECT_TRUE(Place(&code));
        EXPECT_EQ(1u, code);
        EXPECT_EQ(c.fileKept, sim::files::Exists(kWizardFile));
        if (c.text) {
            if (auto box = ExpectOnlyBox(c.text)) EXPECT_EQ(UINT(MB_OK), box->type);
        } else {
            EXPECT_TRUE(sim::MessageBoxes().empty());
        }
    }
}

TEST_F(ProductPlacement, SideFileModeNamesTheFileBesideTheProgram) {
    SideFileMode("D:\\setup\\", "product.msi");
    g_run.cancelRequested = TRUE;  // not examined in this mode
    EXPECT_EQ("D:\\setup\\product.msi", Placed());
    EXPECT_FALSE(sim::files::Exists("D:\\setup\\product.msi")) << "nothing is created or tested";
}

TEST(MakeTempFileNameIn, CreatesAnEmptyZrpFileInTheFolder) {
    sim::Reset();
    char name[PATH_BUFFER];
    MakeTempFileNameIn("C:\\Temp\\", name);
    std::string made = name;
    EXPECT_EQ(0u, made.rfind("C:\\Temp\\ZRP", 0)) << made;
    EXPECT_EQ(0, lstrcmpiA(made.c_str() + made.size() - 4, ".TMP")) << made;
    EXPECT_EQ(0u, sim::files::Size(made)) << "created, and empty";
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
    EXPECT_EQ((std::vector<std::string>{"C:", "C:\\One", "C:\\One\\Two"}), DirectoriesAsked());
    EXPECT_TRUE(sim::files::IsDirectory("C:\\One\\Two"));
    EXPECT_STREQ("C:\\One\\Two\\file.msi", path) << "the path is left as it was";
}

TEST(CreatePathDirectories, ADoubleByteCharacterWhoseTrailByteIsABackslashIsNotSplit) {
    sim::Reset();
    sim::os::AddLeadByteRange(0x81, 0x9F);
    char path[] = "C:\\A\x95\\B\\f.msi";
    CreatePathDirectories(path);
    EXPECT_EQ((std::vector<std::string>{"C:", "C:\\A\x95\\B"}), DirectoriesAsked());
}

}  // namespace
