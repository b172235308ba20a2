// What of the command line is passed on to the installer engine.
#include <gtest/gtest.h>

#include <string>

#include "driver/run.h"

namespace {

std::string Tail(const char* commandLine) { return FindCommandTail(commandLine); }

}  // namespace

TEST(CommandTail, QuotedPathThenSwitch) {
    EXPECT_EQ("/qb", Tail("\"C:\\Program Files\\Setup\\setup.exe\" /qb"));
}

TEST(CommandTail, UnquotedNameThenProperty) { EXPECT_EQ("ALLUSERS=1", Tail("setup.exe ALLUSERS=1")); }

TEST(CommandTail, PlainWordIsDropped) { EXPECT_EQ("", Tail("setup.exe hello")); }

TEST(CommandTail, QuotedPathAlone) { EXPECT_EQ("", Tail("\"C:\\Setup\\setup.exe\"")); }

TEST(CommandTail, AnyEqualsSignKeepsTheWholeTail) { EXPECT_EQ("x y=z", Tail("setup.exe x y=z")); }

TEST(CommandTail, RunsOfBlanksAreSteppedOver) { EXPECT_EQ("/qn", Tail("setup.exe    /qn")); }

TEST(CommandTail, TabAfterQuotedPathStaysInTheTail) {
    EXPECT_EQ("\tA=1", Tail("\"C:\\setup.exe\"\tA=1")) << "kept because it holds '='";
    EXPECT_EQ("", Tail("\"C:\\setup.exe\"\t/qb")) << "a tab is no blank, so '/' is not first";
}

TEST(CommandTail, TabAfterUnquotedNameIsPartOfTheName) {
    EXPECT_EQ("/qb", Tail("setup.exe\tA=1 /qb"));
    EXPECT_EQ("", Tail("setup.exe\tA=1"));
}

TEST(CommandTail, UnclosedQuoteTakesTheWholeLine) { EXPECT_EQ("", Tail("\"C:\\setup.exe /qb A=1")); }

TEST(CommandTail, PointsIntoTheCommandLine) {
    const char line[] = "setup.exe /qb";
    EXPECT_EQ(line + 10, FindCommandTail(line)) << "the tail is not a copy";
    const char dropped[] = "setup.exe hello";
    EXPECT_EQ(dropped + 15, FindCommandTail(dropped)) << "an empty tail is the line's end";
}
