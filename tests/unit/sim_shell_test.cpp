// Simulated child programs, the logon session and the installer libraries
// behave as the platform documents.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/installer.h"
#include "run_fixture.h"
#include "sim/installer.h"
#include "sim/session.h"
#include "sim/shell.h"
#include "sim/sim.h"

using run_fixture::Running;

namespace {

const char* const kProgram = "C:\\Tools\\child.exe";
const char* const kCode = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
const char* const kMsiPath = "C:\\WINDOWS\\SYSTEM32\\MSI.DLL";

HANDLE Start(const char* file) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = file;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&info) ? info.hProcess : nullptr;
}

class SimShell : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

TEST_F(SimShell, AWaitTimesOutAfterAdvancingTheClockByItsTimeOut) {
    sim::shell::Script(kProgram, Running(1200, 4));
    HANDLE process = Start(kProgram);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForSingleObject(process, 500), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(sim::Now(), 500u);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(process, INFINITE), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(sim::Now(), 1200u) << "the wait ends when the child does";
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 4u);
    EXPECT_TRUE(CloseHandle(process));
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_FAILED) << "a closed handle";
}

TEST_F(SimShell, SideEffectsRunAtTheStartAndAtTheEnd) {
    std::vector<uint64_t> seen;
    sim::shell::Program program = Running(300);
    program.onStart = [&] { seen.push_back(sim::Now()); };
    program.onEnd = [&] { seen.push_back(sim::Now()); };
    sim::shell::Script(kProgram, program);
    HANDLE process = Start(kProgram);
    sim::Advance(1000);
    EXPECT_EQ(seen, (std::vector<uint64_t>{0, 1000})) << "the end is noticed as time passes";
    CloseHandle(process);
}

TEST_F(SimShell, AnUnscriptedProgramIsNotFoundAndIsRecorded) {
    EXPECT_EQ(Start("C:\\missing.exe"), nullptr);
    ASSERT_EQ(sim::shell::Starts().size(), 1u);
    EXPECT_FALSE(sim::shell::Starts()[0].started);
}

TEST_F(SimShell, OnlyAnAdministratorOpensTheServiceManager) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, 0xE0000000);
    EXPECT_NE(manager, nullptr);
    EXPECT_TRUE(CloseServiceHandle(manager));
    sim::session::SetAdministrator(false);
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, 0xE0000000), nullptr);
    EXPECT_EQ(sim::session::OpenServiceHandleCount(), 0);
}

TEST_F(SimShell, TheInstalledProductsVersionIsReportedAndAFailedRemovalKeepsIt) {
    sim::installer::InstallProduct(kCode, "2.1.0");
    HMODULE msi = LoadLibraryExA(kMsiPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(msi, nullptr);
    auto getInfo = reinterpret_cast<MsiGetProductInfoProc>(
        reinterpret_cast<void*>(GetProcAddress(msi, MSI_GET_PRODUCT_INFO)));
    ASSERT_NE(getInfo, nullptr);
    char version[256];
    DWORD length = sizeof version;
    EXPECT_EQ(getInfo(kCode, MSI_PROPERTY_VERSION_STRING, version, &length), 0u);
    EXPECT_STREQ(version, "2.1.0");
    EXPECT_EQ(length, 5u);
    length = sizeof version;
    EXPECT_EQ(getInfo("{00000000-0000-0000-0000-000000000000}", MSI_PROPERTY_VERSION_STRING,
                      version, &length),
              1605u)
        << "ERROR_UNKNOWN_PRODUCT";
    auto configure = reinterpret_cast<MsiConfigureProductProc>(
        reinterpret_cast<void*>(GetProcAddress(msi, MSI_CONFIGURE_PRODUCT)));
    sim::installer::FailRemoval();
    EXPECT_EQ(configure(kCode, MSI_INSTALLLEVEL_DEFAULT, MSI_INSTALLSTATE_ABSENT), 1603u);
    EXPECT_TRUE(sim::installer::IsInstalled(kCode)) << "a failed removal leaves the product";
    EXPECT_TRUE(FreeLibrary(msi));
    EXPECT_EQ(sim::installer::LoadCount("MSI.DLL"), 0);
}

TEST_F(SimShell, TheFileVersionOfAnyFileCanBeReadAndLibrariesCanBeMissing) {
    sim::installer::SetFileVersion(kMsiPath, 0x00020000, 0x012C0001);
    EXPECT_EQ(LoadLibraryExA(VERSION_LIBRARY, nullptr, 0), nullptr) << "libraries load by their full path only";
    EXPECT_EQ(LoadLibraryExA("C:\\Downloads\\VERSION.DLL", nullptr, 0), nullptr) << "none lies beside a download";
    HMODULE version = LoadLibraryExA("c:\\windows\\system32\\version.dll", nullptr, 0);
    auto getInfo = reinterpret_cast<GetFileVersionInfoProc>(
        reinterpret_cast<void*>(GetProcAddress(version, VERSION_GET_FILE_VERSION_INFO)));
    auto query = reinterpret_cast<VerQueryValueProc>(
        reinterpret_cast<void*>(GetProcAddress(version, VERSION_QUERY_VALUE)));
    BYTE block[1536];
    ASSERT_TRUE(getInfo("c:\\windows\\system32\\msi.dll", 0, sizeof block, block));
    LPVOID fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block, "\\", &fixed, &length));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    EXPECT_EQ(info->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(info->dwFileVersionLS, 0x012C0001u);
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
    EXPECT_FALSE(getInfo("C:\\other.dll", 0, sizeof block, block)) << "no version resource";
    sim::installer::DamageFileVersion(kMsiPath, sim::installer::VersionDamage::ShortRecord);
    ASSERT_TRUE(getInfo(kMsiPath, 0, sizeof block, block));
    ASSERT_TRUE(query(block, "\\", &fixed, &length));
    EXPECT_LT(length, sizeof(VS_FIXEDFILEINFO)) << "a short record";
    sim::installer::DamageFileVersion(kMsiPath, sim::installer::VersionDamage::WrongSignature);
    ASSERT_TRUE(getInfo(kMsiPath, 0, sizeof block, block));
    ASSERT_TRUE(query(block, "\\", &fixed, &length));
    EXPECT_NE(static_cast<const VS_FIXEDFILEINFO*>(fixed)->dwSignature, 0xFEEF04BDu) << "no signature";
    FreeLibrary(version);
    sim::installer::RemoveEntryPoint(VERSION_LIBRARY, VERSION_QUERY_VALUE);
    version = LoadLibraryExA("C:\\WINDOWS\\SYSTEM32\\VERSION.DLL", nullptr, 0);
    EXPECT_EQ(GetProcAddress(version, VERSION_QUERY_VALUE), nullptr) << "a removed entry point";
    EXPECT_NE(GetProcAddress(version, VERSION_GET_FILE_VERSION_INFO), nullptr);
    FreeLibrary(version);
    sim::installer::FailLibraryLoad(MSI_LIBRARY);
    EXPECT_EQ(LoadLibraryExA(kMsiPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH), nullptr) << "a library that fails to load";
}

// What a planted copy beside the program could have answered: a library
// searched for by name while the search reaches the program's folder.
TEST_F(SimShell, TheLibrarySearchReachesTheProgramsFolderUntilItIsHeldToTheSystemFolder) {
    using sim::installer::LibrarySearch;
    using Planted = std::vector<std::string>;
    typedef BOOL(WINAPI * SetFolders)(DWORD);
    typedef BOOL(WINAPI * SetFolder)(LPCSTR);
    HMODULE kernel = GetModuleHandleA("kernel32");
    ASSERT_NE(kernel, nullptr) << "in every process from the start";
    auto setDefault = reinterpret_cast<SetFolders>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    auto setFolder = reinterpret_cast<SetFolder>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    ASSERT_TRUE(setDefault && setFolder);

    HMODULE msi = LoadLibraryExA(kMsiPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(sim::installer::PlantedLoads(), Planted{}) << "the altered search starts in the system folder";
    FreeLibrary(msi);
    EXPECT_TRUE(setFolder(""));
    EXPECT_EQ(sim::installer::CurrentLibrarySearch(), LibrarySearch::WithoutCurrentFolder);
    msi = LoadLibraryExA(kMsiPath, nullptr, 0);
    sim::installer::PlatformLoadsByName("uxtheme.dll");
    sim::installer::PlatformLoadsByName("UXTHEME.DLL");
    EXPECT_EQ(sim::installer::PlantedLoads(), (Planted{"WINTRUST.DLL", "UXTHEME.DLL"}))
        << "the program's folder is still searched first, each name once";
    FreeLibrary(msi);

    sim::Reset();
    EXPECT_FALSE(setDefault(0x20000)) << "not a search flag";
    EXPECT_TRUE(setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ(sim::installer::CurrentLibrarySearch(), LibrarySearch::SystemFolderOnly);
    msi = LoadLibraryExA(kMsiPath, nullptr, 0);
    sim::installer::PlatformLoadsByName("UXTHEME.DLL");
    EXPECT_EQ(sim::installer::PlantedLoads(), Planted{});
    FreeLibrary(msi);

    sim::Reset();
    sim::installer::RemoveEntryPoint("KERNEL32.DLL", "SetDefaultDllDirectories");
    EXPECT_EQ(GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "SetDefaultDllDirectories"), nullptr)
        << "a system before Windows 7's update";
}

}  // namespace
