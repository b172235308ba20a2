// What of the command line is passed on to the installer engine.
#include <gtest/gtest.h>

#include <string>

#include "base/command_line.h"

TEST(CommandTail, FoundAfterTheProgramsName) {
    const struct {
        const char* commandLine;
        const char* tail;
        const char* why;
    } cases[] = {
        {"\"C:\\Program Files\\Setup\\setup.exe\" /qb", "/qb", "quoted path, then a switch"},
        {"setup.exe ALLUSERS=1", "ALLUSERS=1", "unquoted name, then a property"},
        {"setup.exe hello", "", "a plain word is dropped"},
        {"\"C:\\Setup\\setup.exe\"", "", "a quoted path alone"},
        {"setup.exe x y=z", "x y=z", "any '=' keeps the whole tail"},
        {"setup.exe    /qn", "/qn", "runs of blanks are stepped over"},
        {"\"C:\\setup.exe\"\tA=1", "\tA=1", "a tab after a quoted path stays; kept for its '='"},
        {"\"C:\\setup.exe\"\t/qb", "", "a tab is no blank, so '/' is not first"},
        {"setup.exe\tA=1 /qb", "/qb", "a tab after an unquoted name is part of the name"},
        {"setup.exe\tA=1", "", "the name with its tab is all there is"},
        {"\"C:\\setup.exe /qb A=1", "", "an unclosed quote takes the whole line"},
    };
    for (const auto& c : cases) EXPECT_EQ(std::string(c.tail), FindCommandTail(c.commandLine)) << c.why;
}

TEST(CommandTail, PointsIntoTheCommandLine) {
    const char line[] = "setup.exe /qb";
    EXPECT_EQ(line + 10, FindCommandTail(line)) << "the tail is not a copy";
    const char dropped[] = "setup.exe hello";
    EXPECT_EQ(dropped + 15, FindCommandTail(dropped)) << "an empty tail is the line's end";
}
