// The packed form of a product code, as the Windows Installer names its
// resume entries.
#include <gtest/gtest.h>

#include <string>

#include "base/resume_entry.h"

namespace {

const char* const kCode = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
const char* const kPacked = "87654321CBA90FED21436587A9CBED0F";

std::string Packed(const std::string& code) {
    char out[PACKED_GUID_FIELD];
    std::fill(out, out + sizeof out, '#');
    PackGuid(code.c_str(), out);
    return out;
}

TEST(PackGuid, ReordersTheDigitsOfABracedGuid) { EXPECT_EQ(Packed(kCode), kPacked); }

TEST(PackGuid, LettersKeepTheirCase) {
    EXPECT_EQ(Packed("{12345678-9abc-def0-1234-56789abcdef0}"), "87654321cba90fed21436587a9cbed0f");
}

TEST(PackGuid, UpToFourCharactersAfterTheGuidAreDropped) {
    for (const char* extra : {"x", "xy", "xyz", "wxyz"})
        EXPECT_EQ(Packed(std::string(kCode) + extra), kPacked) << "with " << extra << " appended";
}

TEST(PackGuid, InputThatIsNotABracedGuidPacksToAnEmptyName) {
    EXPECT_EQ(Packed(""), "") << "empty product code";
    EXPECT_EQ(Packed("{12345678-9ABC-DEF0-1234-56789ABCDEF}"), "") << "37 characters";
    EXPECT_EQ(Packed(std::string(kCode) + "vwxyz"), "") << "43 characters";
    EXPECT_EQ(Packed("12345678-9ABC-DEF0-1234-56789ABCDEF0xx"), "") << "no braces";
    EXPECT_EQ(Packed("{12345678+9ABC-DEF0-1234-56789ABCDEF0}"), "") << "no hyphen";
    EXPECT_EQ(Packed("{1234567G-9ABC-DEF0-1234-56789ABCDEF0}"), "") << "not a hex digit";
}

}  // namespace
