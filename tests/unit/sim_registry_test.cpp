// The simulated registry follows the documented behaviour the stub relies on.
#include <gtest/gtest.h>

#include "sim/registry.h"
#include "sim/sim.h"
#include "win32/api.h"

namespace {

const char* const kKey = "SOFTWARE\\Vesk\\Test";

class SimRegistry : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    HKEY Open(REGSAM access) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, access, &key), ERROR_SUCCESS);
        return key;
    }
};

TEST_F(SimRegistry, OpeningAMissingKeyFailsAndNamesIgnoreCase) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(sim::registry::OpenCount(kKey), 0);
    sim::registry::CreateKey(kKey);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\VESK\\test", 0, KEY_READ, &key), ERROR_SUCCESS)
        << "key names ignore case";
    RegCloseKey(key);
}

TEST_F(SimRegistry, QueryReportsTheDataSizeAndMoreDataForASmallBuffer) {
    sim::registry::SetText(kKey, "Name", "abc");
    HKEY key = Open(KEY_READ);
    DWORD size = 1024;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u) << "the text and its NUL";
    char data[3] = "xy";
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u) << "a buffer too small: the size needed";
    RegCloseKey(key);
}

TEST_F(SimRegistry, QueryNeedsQueryAccessAndWritesNeedSetAccess) {
    sim::registry::SetText(kKey, "Name", "abc");
    HKEY key = Open(KEY_SET_VALUE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    key = Open(KEY_READ);
    EXPECT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(key, "Name"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(SimRegistry, CreateKeyMakesTheKeyAndItsParentsUnlessRefused) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    char noClass[1] = {0};
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, noClass, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, 1u) << "created new";
    EXPECT_TRUE(sim::registry::KeyExists("SOFTWARE\\Vesk"));
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_SZ, reinterpret_cast<const BYTE*>("on"), 3),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(sim::registry::GetText(kKey, "v"), "on");
    const char* const refused = "SOFTWARE\\Vesk\\Refused";
    sim::registry::RefuseCreate(refused);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, refused, 0, noClass, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_FALSE(sim::registry::KeyExists(refused)) << "a refused key is not created";
    sim::registry::CreateKey(refused);
    sim::registry::RefuseOpen(refused);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, refused, 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
}



TEST_F(SimRegistry, EnumerationListsNamesTypesAndSizesThenEnds) {
    sim::registry::SetValue(kKey, "Empty", REG_EXPAND_SZ, "");
    sim::registry::SetText(kKey, "Path", "C:\\");
    HKEY key = Open(KEY_READ);
    char name[1024];
    DWORD length = sizeof name, type = 0, size = 0;
    ASSERT_EQ(RegEnumValueA(key, 1, name, &length, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Path");
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 4u);
    length = 4;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &length, nullptr, &type, nullptr, &size), ERROR_MORE_DATA)
        << "a name buffer without room for the NUL";
    length = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 2, name, &length, nullptr, &type, nullptr, &size),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(SimRegistry, DeletingAValueRemovesItOpensAreCountedAndHandlesClosedOnce) {
    sim::registry::SetText(kKey, "Name", "abc");
    HKEY key = Open(KEY_READ | KEY_SET_VALUE);
    EXPECT_EQ(RegDeleteValueA(key, "NAME"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Name"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_FALSE(sim::registry::GetValue(kKey, "Name"));
    HKEY second = Open(KEY_READ);
    EXPECT_EQ(sim::registry::OpenCount(kKey), 2) << "opens are counted";
    EXPECT_EQ(sim::registry::OpenHandleCount(), 1);
    RegCloseKey(second);
    EXPECT_EQ(sim::registry::OpenHandleCount(), 0);
    EXPECT_EQ(RegCloseKey(second), ERROR_INVALID_HANDLE) << "a handle closed twice";
}



}  // namespace
