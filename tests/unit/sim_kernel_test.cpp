// The simulated kernel follows the platform's documented behaviour where the
// stub's tests depend on it: files, INI reading, formatting, memory.
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

std::string ReadIni(const std::string& key, LPCSTR fallback = "", DWORD size = 256) {
    char buffer[512];
    DWORD n = GetPrivateProfileStringA("VeskInstaller", key.c_str(), fallback, buffer, size,
                                       "C:\\Setup\\setup.ini");
    return std::string(buffer) + "|" + std::to_string(n);
}

}  // namespace

TEST_F(SimKernel, PathsIgnoreCaseAndSlashDirection) {
    sim::files::Put("C:\\Setup\\Product.MSI", "abc");
    EXPECT_TRUE(sim::files::Exists("c:/setup/product.msi"));
    EXPECT_EQ("abc", sim::files::Get("C:\\SETUP\\PRODUCT.msi"));
    EXPECT_EQ(std::vector<std::string>{"Product.MSI"}, sim::files::List("C:\\setup"))
        << "names keep the case they were created with";
}

TEST_F(SimKernel, OldStyleReadReturnsCountThenZeroAtEnd) {
    sim::files::Put("C:\\a.bin", "12345");
    HFILE file = _lopen("C:\\a.bin", OF_READ);
    ASSERT_NE(HFILE_ERROR, file);
    char buffer[8];
    EXPECT_EQ(3u, _lread(file, buffer, 3));
    EXPECT_EQ(2u, _lread(file, buffer, 8)) << "a read past the end returns what is left";
    EXPECT_EQ(0u, _lread(file, buffer, 8)) << "at the end a read returns 0";
    EXPECT_EQ(0, _lclose(file));
    EXPECT_EQ(UINT(HFILE_ERROR), _lread(file, buffer, 1)) << "a closed handle fails";
    EXPECT_EQ(HFILE_ERROR, _lopen("C:\\missing.bin", OF_READ));
}

TEST_F(SimKernel, SeekReturnsNewPositionAndRefusesNegative) {
    sim::files::Put("C:\\a.bin", std::string(100, 'x'));
    HFILE file = _lopen("C:\\a.bin", OF_READ);
    EXPECT_EQ(10, _llseek(file, 10, FILE_BEGIN));
    EXPECT_EQ(15, _llseek(file, 5, FILE_CURRENT));
    EXPECT_EQ(100, _llseek(file, 0, FILE_END));
    EXPECT_EQ(40, _llseek(file, 40, FILE_BEGIN));
    EXPECT_EQ(HFILE_ERROR, _llseek(file, -200, FILE_END));
    EXPECT_EQ(40, _llseek(file, 0, FILE_CURRENT)) << "a failed seek leaves the position";
    _lclose(file);
}

TEST_F(SimKernel, CreateTruncatesAndWriteOnlyHandleCannotRead) {
    sim::files::Put("C:\\out.bin", "old contents");
    HFILE file = _lcreat("C:\\out.bin", 0);
    ASSERT_NE(HFILE_ERROR, file);
    EXPECT_EQ(3u, _lwrite(file, "new", 3));
    _lclose(file);
    EXPECT_EQ("new", sim::files::Get("C:\\out.bin"));
    file = _lopen("C:\\out.bin", OF_WRITE);
    char buffer[4];
    EXPECT_EQ(UINT(HFILE_ERROR), _lread(file, buffer, 1)) << "a write-only handle cannot read";
    _lclose(file);
    EXPECT_EQ(HFILE_ERROR, _lcreat("C:\\NoSuchDir\\out.bin", 0)) << "no folder to create it in";
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

TEST_F(SimKernel, RefusedPrefixesStopOpenAndCreateAndFoldersNeedTheirParent) {
    sim::files::Put("C:\\Locked\\a.bin", "x");
    sim::files::RefuseOpen("C:\\locked\\");
    sim::files::RefuseCreate("C:\\ReadOnly\\");
    sim::files::MakeDirectory("C:\\ReadOnly");
    EXPECT_EQ(HFILE_ERROR, _lopen("C:\\Locked\\a.bin", OF_READ));
    EXPECT_EQ(HFILE_ERROR, _lcreat("C:\\ReadOnly\\b.bin", 0));
    EXPECT_FALSE(CreateDirectoryA("C:\\ReadOnly\\Sub", nullptr));
    EXPECT_NE(HFILE_ERROR, _lcreat("C:\\ReadOnlyNot.bin", 0)) << "only paths under the folder";
    EXPECT_TRUE(CreateDirectoryA("C:\\One", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\one", nullptr)) << "already there";
    EXPECT_FALSE(CreateDirectoryA("C:\\Two\\Three", nullptr)) << "parent missing";
    EXPECT_TRUE(sim::files::IsDirectory("C:\\ONE"));
}

TEST_F(SimKernel, OpenFileCannotBeDeleted) {
    sim::files::Put("C:\\a.bin", "x");
    HFILE file = _lopen("C:\\a.bin", OF_READ);
    EXPECT_FALSE(DeleteFileA("C:\\a.bin"));
    _lclose(file);
    EXPECT_TRUE(DeleteFileA("C:\\A.BIN"));
    EXPECT_FALSE(sim::files::Exists("C:\\a.bin"));
}

TEST_F(SimKernel, TempFolderAndTempFileNames) {
    char name[MAX_PATH];
    UINT unique = GetTempFileNameA("C:\\Temp", "VESKX", 0, name);
    ASSERT_NE(0u, unique);
    EXPECT_EQ("C:\\Temp\\VES1.tmp", std::string(name));
    EXPECT_TRUE(sim::files::Exists(name));
    EXPECT_EQ(2u, GetTempFileNameA("C:\\Temp\\", "VES", 0, name)) << "an unused name is picked";
    EXPECT_EQ("C:\\Temp\\VES2.tmp", std::string(name));
    EXPECT_EQ(0x1Fu, GetTempFileNameA("C:\\Temp", "ab", 0x1F, name));
    EXPECT_EQ("C:\\Temp\\ab1f.tmp", std::string(name));
    EXPECT_FALSE(sim::files::Exists(name)) << "a given number creates nothing";
    EXPECT_EQ(0u, GetTempFileNameA("C:\\Missing", "VES", 0, name));
    EXPECT_EQ(8u, GetTempPathA(sizeof name, name));
    EXPECT_STREQ("C:\\Temp\\", name);
    EXPECT_EQ(9u, GetTempPathA(8, name)) << "a buffer too small: the size with the terminator";
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

TEST_F(SimKernel, IniValuesAreTrimmedAndUnquotedOnce) {
    sim::files::Put("C:\\Setup\\setup.ini",
                    "[veskinstaller]\r\n  Product Name  =  \"Quoted \"  \r\nPlain= a b \r\n"
                    "Twice=\"\"x\"\"\r\nMixed=\"x'\r\n");
    EXPECT_EQ("Quoted |7", ReadIni("product name")) << "section and key ignore case";
    EXPECT_EQ("a b|3", ReadIni("PLAIN"));
    EXPECT_EQ("\"x\"|3", ReadIni("Twice")) << "only one pair of quotes goes";
    EXPECT_EQ("\"x'|3", ReadIni("Mixed"));
    EXPECT_EQ("a |2", ReadIni("Plain", "", 3)) << "cut to the buffer: size minus one";
}

TEST_F(SimKernel, IniMissingFileOrKeyGivesDefaultAndBareNamesAreInTheWindowsFolder) {
    EXPECT_EQ("Initializing|12", ReadIni("VeskInitPrefix", "Initializing "));
    sim::files::Put("C:\\Setup\\setup.ini", "[Other]\nKey=1\n");
    EXPECT_EQ("d|1", ReadIni("Key", "d"));
    sim::files::Put("C:\\WINDOWS\\vesk.ini", "[VeskInstaller]\nKey=win\n");
    char buffer[16];
    GetPrivateProfileStringA("VeskInstaller", "Key", "", buffer, sizeof buffer, "vesk.ini");
    EXPECT_STREQ("win", buffer) << "a bare file name is in the Windows folder";
}

TEST_F(SimKernel, IniIntegerParsesLeadingSignedDecimal) {
    sim::files::Put("C:\\Setup\\setup.ini",
                    "[VeskInstaller]\nA=12abc\nB=-7\nC=abc\nD=\nE=+4\nF=0x10\n");
    auto read = [](LPCSTR key) {
        return GetPrivateProfileIntA("VeskInstaller", key, 99, "C:\\Setup\\setup.ini");
    };
    EXPECT_EQ(12u, read("A"));
    EXPECT_EQ(UINT(-7), read("B"));
    EXPECT_EQ(0u, read("C")) << "no digits give 0";
    EXPECT_EQ(99u, read("D")) << "an empty value gives the default";
    EXPECT_EQ(4u, read("E"));
    EXPECT_EQ(16u, read("F")) << "a hex value is read as Wine reads it";
    EXPECT_EQ(99u, read("Missing"));
}

TEST_F(SimKernel, WsprintfConversionsAndLimit) {
    char out[2048];
    EXPECT_EQ(26, wsprintfA(out, "%s|%c|%d|%i|%u|%x|%X", "ab", 'z', -5, 7, 4000000000u, 255, 255));
    EXPECT_STREQ("ab|z|-5|7|4000000000|ff|FF", out);
    wsprintfA(out, "[%5d][%-5d][%05d][%-5s][%lu][%ld]", 42, 42, -42, "ab", 7u, -7);
    EXPECT_STREQ("[   42][42   ][-0042][ab   ][7][-7]", out);
    wsprintfA(out, "%.3s|%08lX|100%%", "abcdef", 0xBEEFu);
    EXPECT_STREQ("abc|0000BEEF|100%", out);
    EXPECT_EQ(1023, wsprintfA(out, "%s", std::string(2000, 'a').c_str())) << "output stops at 1024 bytes";
    EXPECT_EQ(1023u, std::string(out).size());
}

TEST_F(SimKernel, StringCalls) {
    EXPECT_EQ(0, lstrcmpA(".VESK", ".VESK"));
    EXPECT_NE(0, lstrcmpA(".vesk", ".VESK")) << "lstrcmpA tells case apart";
    EXPECT_EQ(0, lstrcmpiA(".vesk", ".VESK"));
    EXPECT_EQ(3, lstrlenA("abc"));
    EXPECT_EQ(0, lstrlenA(nullptr));
    char out[4] = "xyz";
    lstrcpynA(out, "abcdef", 3);
    EXPECT_STREQ("ab", out) << "n counts the terminator";
    EXPECT_EQ(3, MulDiv(5, 3, 5));
    EXPECT_EQ(2, MulDiv(3, 1, 2)) << "rounds half away from zero";
    EXPECT_EQ(-1, MulDiv(1, 1, 0));
}

TEST_F(SimKernel, CharNextStepsOverDoubleByteCharacters) {
    const char text[] = "\x81\x40" "a\x81";
    EXPECT_EQ(text + 1, CharNextA(text)) << "no lead bytes by default";
    sim::os::AddLeadByteRange(0x81, 0x9F);
    EXPECT_EQ(text + 2, CharNextA(text));
    EXPECT_EQ(text + 4, CharNextA(text + 3)) << "a lead byte before the end takes one step";
    EXPECT_EQ(text + 4, CharNextA(text + 4)) << "the terminator stays put";
}

TEST_F(SimKernel, ExpandEnvironmentKeepsUndefinedAndReportsSize) {
    sim::os::SetEnvironment("ProgramFiles", "C:\\Program Files");
    char out[64];
    EXPECT_EQ(24u, ExpandEnvironmentStringsA("%programfiles%\\%NOPE%", out, sizeof out));
    EXPECT_STREQ("C:\\Program Files\\%NOPE%", out);
    char small[4] = "old";
    EXPECT_EQ(24u, ExpandEnvironmentStringsA("%programfiles%\\%NOPE%", small, sizeof small));
    EXPECT_STREQ("old", small) << "a buffer too small is left alone";
}

TEST_F(SimKernel, VersionAndSystemDirectoryFollowPlatform) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    sim::os::SetPlatform(sim::os::Platform::Win9x);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
    char directory[8];
    EXPECT_EQ(18u, GetSystemDirectoryA(directory, sizeof directory)) << "size needed, with NUL";
    info.dwOSVersionInfoSize = 0;
    EXPECT_FALSE(GetVersionExA(&info)) << "the size field must be set";
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
