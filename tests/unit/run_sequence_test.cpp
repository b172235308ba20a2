// Whole runs through the entry routine: how a run starts, the ends before
// anything is written, and the exit code of a run that launched the engine.
#include <gtest/gtest.h>

#include <string>

#include "container/extract.h"
#include "pe_builder.h"
#include "sim/files.h"
#include "sim/memory.h"
#include "sim/msgbox.h"
#include "sim/shell.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui/ui.h"

namespace {

constexpr const char* kSetup = "C:\\Setup\\setup.exe";
constexpr const char* kEngine = "C:\\WINDOWS\\SYSTEM32\\msiexec.exe";

class RunSequence : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetModulePath(kSetup);
        sim::SetCommandLine("\"C:\\Setup\\setup.exe\" /qb");
    }

    std::string EmbeddedSetup() {
        pe_builder::Container c;
        std::string product = pe_builder::Payload("the product database");
        c.productSize = uint32_t(product.size());
        c.payloads = product;
        return pe_builder::BuildSetup(c.Bytes()).bytes;
    }

    void ExpectOnlyTheCorruptBox() {
        ASSERT_EQ(1u, sim::MessageBoxes().size());
        EXPECT_EQ("Corrupt installation detected.", sim::MessageBoxes()[0].text);
        EXPECT_EQ("Install", sim::MessageBoxes()[0].caption);
        EXPECT_EQ(nullptr, sim::MessageBoxes()[0].owner);
    }
};

}  // namespace

TEST_F(RunSequence, MissingOwnFileShowsCorruptBox) {
    EXPECT_EQ(0u, sim::RunEntry());
    ExpectOnlyTheCorruptBox();
}

TEST_F(RunSequence, NotAnImageShowsCorruptBox) {
    sim::files::Put(kSetup, "This is not a program.");
    EXPECT_EQ(0u, sim::RunEntry());
    ExpectOnlyTheCorruptBox();
}

TEST_F(RunSequence, NoPayloadSectionShowsCorruptBox) {
    sim::files::Put(kSetup, pe_builder::BuildImage({{".text", "code"}, {".rsrc", "r"}}).bytes);
    EXPECT_EQ(0u, sim::RunEntry());
    ExpectOnlyTheCorruptBox();
}

TEST_F(RunSequence, StartsWithErrorModeAndProgressClass) {
    sim::files::Put(kSetup, "not a program");
    sim::RunEntry();
    EXPECT_EQ(0, sim::FindTrace("SetErrorMode 4")) << "the very first call";
    EXPECT_EQ(4u, sim::ErrorMode());
    EXPECT_TRUE(sim::ClassRegistered("msctls_progress32"))
        << "the progress bar's class is there before any dialog";
}

TEST_F(RunSequence, SideFileWithoutProductCodeEndsSilently) {
    sim::files::Put(kSetup, pe_builder::BuildSideFileStub().bytes);
    sim::files::Put("C:\\Setup\\setup.ini", "[VeskInstaller]\r\nProductVersion=1.0\r\n");
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_FALSE(sim::ClassRegistered(SPLASH_CLASS_NAME)) << "ended before the splash";
    EXPECT_TRUE(sim::shell::Starts().empty());
}

TEST_F(RunSequence, FileSizeMismatchShowsBoxAndWritesNothing) {
    sim::files::Put(kSetup, EmbeddedSetup() + "x");
    EXPECT_EQ(0u, sim::RunEntry());
    ExpectOnlyTheCorruptBox();
    EXPECT_EQ(-1, sim::FindTrace("_lcreat")) << "no file was written";
    EXPECT_TRUE(sim::shell::Starts().empty());
}

TEST_F(RunSequence, CrcTableMemoryRefusedShowsCorruptBox) {
    sim::files::Put(kSetup, EmbeddedSetup());
    sim::memory::FailNthAllocation(1);
    EXPECT_EQ(0u, sim::RunEntry());
    ExpectOnlyTheCorruptBox();
}

TEST_F(RunSequence, WorkBufferRefusedShowsCorruptBox) {
    sim::files::Put(kSetup, EmbeddedSetup());
    sim::memory::FailNthAllocation(2);
    EXPECT_EQ(0u, sim::RunEntry());
    ExpectOnlyTheCorruptBox();
}

TEST_F(RunSequence, EmbeddedRunEndsWithTheEnginesCode) {
    sim::files::Put(kSetup, EmbeddedSetup());
    sim::shell::Program engine;
    engine.exitCode = 1603;
    engine.runMs = 2000;
    sim::shell::Script(kEngine, engine);
    EXPECT_EQ(1603u, sim::RunEntry());
    ASSERT_EQ(1u, sim::shell::Starts().size());
    EXPECT_EQ(0u, sim::shell::Starts()[0].parameters.rfind("/qb ", 0)) << "the command tail leads";
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(0, sim::files::OpenHandleCount()) << "the container is closed at the end";
    EXPECT_EQ(nullptr, g_run.crcTable) << "the CRC table is released at the end";
    EXPECT_EQ(nullptr, g_run.splashWindow);
}

TEST_F(RunSequence, OwnPathAndDirectory) {
    sim::files::Put(kSetup, "not a program");
    sim::RunEntry();
    EXPECT_STREQ(kSetup, g_run.ownPath);
    EXPECT_STREQ("C:\\Setup\\", g_run.ownDirectory);
    EXPECT_STREQ("/qb", g_run.commandTail);
}

TEST_F(RunSequence, OwnDirectoryOfPathWithoutBackslashIsEmpty) {
    sim::SetModulePath("setup.exe");
    sim::RunEntry();
    EXPECT_STREQ("", g_run.ownDirectory);
}

TEST_F(RunSequence, OwnPathTooLongForItsBufferIsCutAndTerminated) {
    // The platform leaves a path that fills the buffer unterminated.
    const std::string longPath = "C:\\" + std::string(300, 'd') + "\\setup.exe";
    sim::SetModulePath(longPath);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_EQ(longPath.substr(0, 255), std::string(g_run.ownPath));
    ExpectOnlyTheCorruptBox();
}
