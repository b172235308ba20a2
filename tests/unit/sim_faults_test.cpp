// The simulator's counting point: which calls count, and how a call that is
// made to fail fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/files.h"
#include "sim/registry.h"
#include "sim/sim.h"
#include "win32/api.h"

namespace {

using Names = std::vector<std::string>;

LRESULT CALLBACK MeasuringWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return lstrlenA("measured") == 8 ? 0 : -1;
    return DefWindowProcA(window, message, wParam, lParam);
}

class SimFaults : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

TEST_F(SimFaults, CountsTheProgramsCallsAndThoseOfItsProceduresButNotThePlatformsOwn) {
    char name[MAX_PATH];
    ASSERT_NE(0u, GetTempFileNameA("C:\\Temp", "ZRP", 0, name)) << "creates and closes the file itself";
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MeasuringWindowProc;
    windowClass.lpszClassName = "Measuring";
    ASSERT_NE(0, RegisterClassA(&windowClass));
    // The window gets WM_NCCREATE, WM_CREATE, WM_SIZE and WM_MOVE; the
    // messages are the platform's, what the procedure calls is the program's.
    ASSERT_NE(nullptr, CreateWindowExA(0, "Measuring", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                       nullptr));
    EXPECT_EQ((Names{"GetTempFileNameA", "RegisterClassA", "CreateWindowExA", "DefWindowProcA", "lstrlenA",
                     "DefWindowProcA", "DefWindowProcA"}),
              sim::faults::Calls());
    EXPECT_TRUE(sim::faults::Failed().empty());
}

TEST_F(SimFaults, OnlyTheChosenCallFailsTheWayTheTableSays) {
    sim::files::Put("C:\\data.bin", "0123456789");
    sim::registry::CreateKey("SOFTWARE\\Vesk");
    sim::faults::FailCall(2);
    EXPECT_NE(HFILE_ERROR, _lopen("C:\\data.bin", OF_READ));
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("C:\\data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(uint32_t(ERROR_ACCESS_DENIED), sim::faults::LastError());
    EXPECT_NE(INVALID_HANDLE_VALUE, CreateFileA("C:\\data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
        << "only call 2";
    EXPECT_EQ(Names{"CreateFileA"}, sim::faults::Failed());

    HKEY key;
    sim::faults::FailNthCallOf("RegOpenKeyExA", 1);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vesk", 0, KEY_READ, &key))
        << "registry calls return their error";

    HFILE file = _lopen("C:\\data.bin", OF_READ);
    char bytes[10];
    sim::faults::FailNthCallOf("_lread", 1);
    EXPECT_EQ(5u, _lread(file, bytes, 10)) << "a short read";
    EXPECT_EQ(5u, _lread(file, bytes, 10)) << "the rest";

    sim::files::Put("C:\\setup.ini", "[VeskInstaller]\r\nProductName=Example\r\n");
    char value[16];
    sim::faults::FailNthCallOf("GetPrivateProfileStringA", 1);
    GetPrivateProfileStringA("VeskInstaller", "ProductName", "none", value, sizeof value, "C:\\setup.ini");
    EXPECT_STREQ("none", value) << "an INI file that cannot be read gives the default";
}

TEST_F(SimFaults, CallsThatCannotFailAreNeverMadeTo) {
    for (const char* call : {"lstrlenA", "PeekMessageA", "CloseHandle", "GetCurrentProcess"}) {
        EXPECT_FALSE(sim::faults::CanFail(call)) << call;
        EXPECT_THROW(sim::faults::FailEveryCallOf(call), std::logic_error) << call;
    }
    EXPECT_THROW(sim::faults::CanFail("NoSuchCall"), std::logic_error) << "every call has its entry";
    sim::faults::FailCall(1);
    EXPECT_EQ(5, lstrlenA("never"));
    EXPECT_TRUE(sim::faults::Failed().empty());
}

TEST_F(SimFaults, ACallPastTheLimitIsAHang) {
    sim::faults::SetCallLimit(2);
    lstrlenA("one");
    lstrlenA("two");
    EXPECT_THROW(lstrlenA("three"), sim::Hang);
}

}  // namespace
