// Bounded text helpers: no copy ever runs past its buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "base/text.h"

TEST(BoundedText, CopyCutsAndTerminates) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(CopyText(buffer, 4, "abcdef"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ('x', buffer[4]) << "nothing is written past the capacity";
    EXPECT_TRUE(CopyText(buffer, 4, "abc"));
    EXPECT_STREQ("abc", buffer);
}

TEST(BoundedText, AppendReportsWhatDidNotFit) {
    char buffer[6] = "ab";
    EXPECT_TRUE(AppendText(buffer, sizeof buffer, "cd"));
    EXPECT_STREQ("abcd", buffer);
    EXPECT_FALSE(AppendText(buffer, sizeof buffer, "ef"));
    EXPECT_STREQ("abcde", buffer);
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(AppendText(unterminated, sizeof unterminated, "e"));
    EXPECT_EQ(0, unterminated[3]) << "an unterminated buffer is terminated";
}

TEST(BoundedText, LittleEndianLoads) {
    const BYTE bytes[] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(0x5678u, LoadWord(bytes));
    EXPECT_EQ(0x12345678u, LoadDword(bytes));
}
