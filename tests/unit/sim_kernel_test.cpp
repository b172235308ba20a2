// The simulated kernel's own setting and faults: paths, quotas, refused
// folders, temporary numbering, file times, code pages, platform family and
// memory. What it shares with Windows is checked row by row against Wine
// (tests/platform/platform_rows.h).
#include <gtest/gtest.h>

#include <string>

#include "sim/faults.h"
#include "sim/files.h"
#include "sim/memory.h"
#include "sim/os.h"
#include "sim/sim.h"
#include "win32/api.h"

namespace {

class SimKernel : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

}  // namespace

TEST_F(SimKernel, PathsIgnoreCaseAndSlashDirection) {
    sim::files::Put("C:\\Setup\\Product.MSI", "abc");
    EXPECT_TRUE(sim::files::Exists("c:/setup/product.msi"));
    EXPECT_EQ("abc", sim::files::Get("C:\\SETUP\\PRODUCT.msi"));
    EXPECT_EQ(std::vector<std::string>{"Product.MSI"}, sim::files::List("C:\\setup"))
        << "names keep the case they were created with";
}

TEST_F(SimKernel, WriteQuotaAndReadFaultsAtChosenOffsets) {
    sim::files::SetWriteQuota(5);
    HFILE file = _lcreat("C:\\out.bin", 0);
    EXPECT_EQ(5u, _lwrite(file, "0123456789", 10)) << "the disk takes what fits";
    EXPECT_EQ(0u, _lwrite(file, "x", 1)) << "then nothing more";
    _lclose(file);
    EXPECT_EQ("01234", sim::files::Get("C:\\out.bin"));
    sim::files::Put("C:\\a.bin", std::string(100, 'x'));
    sim::files::ShortReadAt("C:\\a.bin", 30);
    sim::files::FailReadAt("C:\\a.bin", 80);
    file = _lopen("C:\\a.bin", OF_READ);
    char buffer[100];
    EXPECT_EQ(30u, _lread(file, buffer, 50)) << "a read crossing the short offset stops there";
    EXPECT_EQ(40u, _lread(file, buffer, 40));
    EXPECT_EQ(UINT(HFILE_ERROR), _lread(file, buffer, 20)) << "a read covering the bad offset fails";
    _lclose(file);
}

TEST_F(SimKernel, RefusedPrefixesStopOpenAndCreate) {
    sim::files::Put("C:\\Locked\\a.bin", "x");
    sim::files::RefuseOpen("C:\\locked\\");
    sim::files::RefuseCreate("C:\\ReadOnly\\");
    sim::files::MakeDirectory("C:\\ReadOnly");
    EXPECT_EQ(HFILE_ERROR, _lopen("C:\\Locked\\a.bin", OF_READ));
    EXPECT_EQ(HFILE_ERROR, _lcreat("C:\\ReadOnly\\b.bin", 0));
    EXPECT_FALSE(CreateDirectoryA("C:\\ReadOnly\\Sub", nullptr));
    EXPECT_NE(HFILE_ERROR, _lcreat("C:\\ReadOnlyNot.bin", 0)) << "only paths under the folder";
}

TEST_F(SimKernel, TempFolderAndTempFileNames) {
    char name[MAX_PATH];
    UINT unique = GetTempFileNameA("C:\\Temp", "VESKX", 0, name);
    ASSERT_NE(0u, unique);
    EXPECT_EQ("C:\\Temp\\VES1.tmp", std::string(name));
    EXPECT_TRUE(sim::files::Exists(name));
    EXPECT_EQ(2u, GetTempFileNameA("C:\\Temp\\", "VES", 0, name)) << "an unused name is picked";
    EXPECT_EQ("C:\\Temp\\VES2.tmp", std::string(name));
    EXPECT_EQ(0u, GetTempFileNameA("C:\\Missing", "VES", 0, name));
    EXPECT_EQ(8u, GetTempPathA(sizeof name, name));
    EXPECT_STREQ("C:\\Temp\\", name);
}

TEST_F(SimKernel, FileTimeIsTheLastWriteOrWhatTheTestSet) {
    sim::files::Put("C:\\WINDOWS\\WININIT.INI", "x");
    sim::files::SetLastWriteTime("C:\\windows\\wininit.ini", 0x0123456789ABCDEFull);
    HANDLE file = CreateFileA("C:\\WINDOWS\\WININIT.INI", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME written{};
    EXPECT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
    EXPECT_EQ(0x89ABCDEFu, written.dwLowDateTime);
    EXPECT_EQ(0x01234567u, written.dwHighDateTime);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(0, sim::files::OpenHandleCount());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("C:\\none.ini", GENERIC_READ, 0, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
}

TEST_F(SimKernel, IniBareNamesAreInTheWindowsFolder) {
    sim::files::Put("C:\\WINDOWS\\vesk.ini", "[VeskInstaller]\nKey=win\n");
    char buffer[16];
    GetPrivateProfileStringA("VeskInstaller", "Key", "", buffer, sizeof buffer, "vesk.ini");
    EXPECT_STREQ("win", buffer) << "a bare file name is in the Windows folder";
}

TEST_F(SimKernel, CharNextStepsOverDoubleByteCharacters) {
    const char text[] = "\x81\x40" "a\x81";
    EXPECT_EQ(text + 1, CharNextA(text)) << "no lead bytes by default";
    sim::os::AddLeadByteRange(0x81, 0x9F);
    EXPECT_EQ(text + 2, CharNextA(text));
    EXPECT_EQ(text + 4, CharNextA(text + 3)) << "a lead byte before the end takes one step";
    EXPECT_EQ(text + 4, CharNextA(text + 4)) << "the terminator stays put";
}

TEST_F(SimKernel, VersionAndSystemDirectoryFollowPlatform) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    sim::os::SetPlatform(sim::os::Platform::Win9x);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
}

TEST_F(SimKernel, GlobalMemoryFaults) {
    HGLOBAL first = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_NE(nullptr, first);
    EXPECT_NE(nullptr, GlobalLock(first));
    EXPECT_EQ(1, sim::memory::LockCount(first));
    EXPECT_FALSE(GlobalUnlock(first)) << "unlocked to zero";
    EXPECT_EQ(nullptr, GlobalFree(first));
    EXPECT_EQ(0, sim::memory::LiveBlocks());
    sim::faults::FailNthCallOf("GlobalAlloc", 2);
    EXPECT_NE(nullptr, GlobalAlloc(GMEM_MOVEABLE, 1));
    EXPECT_EQ(nullptr, GlobalAlloc(GMEM_MOVEABLE, 1)) << "the second from now fails";
    EXPECT_NE(nullptr, GlobalAlloc(GMEM_MOVEABLE, 1));
    sim::faults::FailEveryCallOf("GlobalAlloc");
    EXPECT_EQ(nullptr, GlobalAlloc(GMEM_MOVEABLE, 1));
}
