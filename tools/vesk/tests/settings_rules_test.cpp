// Reading the settings file by the platform's profile rules, and the rules
// for the values the setup reads from it.
#include <gtest/gtest.h>

#include "ini_file.h"
#include "text_rules.h"
#include "version_text.h"

namespace vesk {
namespace {

TEST(IniSection, KeysAndSectionsMatchWithoutRegardToCase) {
    auto ini = IniSection::Parse("[veskinstaller]\nPRODUCTCODE=x\n", "VeskInstaller");
    EXPECT_EQ(ini.Get("ProductCode"), "x") << "section and key names are case-insensitive";
}

TEST(IniSection, ValuesAreTrimmedThenUnquotedOnce) {
    auto ini = IniSection::Parse("[S]\na =  spaced out \t\nb=\" kept \"\nc='\"two\"'\nd=\"half\n", "S");
    EXPECT_EQ(ini.Get("a"), "spaced out");
    EXPECT_EQ(ini.Get("b"), " kept ") << "blanks inside quotes survive";
    EXPECT_EQ(ini.Get("c"), "\"two\"") << "only one pair of quotes goes";
    EXPECT_EQ(ini.Get("d"), "\"half") << "an unmatched quote stays";
}

TEST(IniSection, FirstOccurrenceWinsAndOtherSectionsAreIgnored) {
    auto ini = IniSection::Parse("[Other]\nk=no\n[S]\r\nk=first\r\nk=second\r\n;k=comment\n", "S");
    EXPECT_EQ(ini.Get("k"), "first");
    EXPECT_EQ(ini.Keys().size(), 1u);
}

TEST(IniSection, PresentEmptyValueDiffersFromMissingKey) {
    auto ini = IniSection::Parse("[S]\nempty=\n", "S");
    EXPECT_EQ(ini.Get("empty"), "");
    EXPECT_FALSE(ini.Get("missing").has_value());
}

TEST(IniSection, FormattedLinesReadBackExactly) {
    for (std::string value : {"plain", " leading", "trailing ", "\"quoted\"", "'single'", "", "a = b"}) {
        auto ini = IniSection::Parse("[S]\n" + FormatIniLine("Key", value), "S");
        EXPECT_EQ(ini.Get("Key"), value) << "value [" << value << "]";
    }
}

TEST(VersionText, FourPartsGoIntoTheTwoWords) {
    auto words = ParseVersionText("2.5.300.7");
    ASSERT_TRUE(words);
    EXPECT_EQ(words->ms, 2u * 65536 + 5);
    EXPECT_EQ(words->ls, 300u * 65536 + 7);
}

TEST(VersionText, MissingPartsAreZero) {
    auto words = ParseVersionText("2");
    ASSERT_TRUE(words);
    EXPECT_EQ(words->ms, 2u * 65536);
    EXPECT_EQ(words->ls, 0u);
    EXPECT_EQ(ParseVersionText("")->ms, 0u) << "empty is version 0";
}

TEST(VersionText, JunkIsRefused) {
    for (const char* bad : {"1.x", "1..2", "1.2.3.4.5", "65536", "-1", "1.2 ", "+3"})
        EXPECT_FALSE(ParseVersionText(bad)) << bad;
}

TEST(VersionText, FormatReadsBack) {
    EXPECT_EQ(FormatVersionText({(1u << 16) | 10, (1029u << 16) | 1}), "1.10.1029.1");
    EXPECT_EQ(FormatVersionText({}), "") << "version 0 is written as an empty value";
}

TEST(InitLine, DefaultsComposeTheWizardLine) {
    EXPECT_EQ(ComposeInitLine("Initializing ", " Wizard..."), "Initializing Vesk Installation Wizard...");
}

TEST(InitLine, PrefixGetsOneBlankAndCaretBecomesBlank) {
    EXPECT_EQ(ComposeInitLine("Preparing", " Wizard..."), "Preparing Vesk Installation Wizard...");
    EXPECT_EQ(ComposeInitLine("Preparing ", ""), "Preparing Vesk Installation");
    EXPECT_EQ(ComposeInitLine("", "^Setup"), "Vesk Installation Setup");
}

TEST(InitLine, SplitComposesBack) {
    for (const char* line : {"Initializing Vesk Installation Wizard...", "Vesk Installation", "A Vesk Installation x^"}) {
        auto parts = SplitInitLine(line);
        ASSERT_TRUE(parts) << line;
        EXPECT_EQ(ComposeInitLine(parts->prefix, parts->suffix), line);
    }
}

TEST(InitLine, LinesNoPrefixCanMakeAreNotSplit) {
    EXPECT_FALSE(SplitInitLine("Hello")) << "no fixed words";
    EXPECT_FALSE(SplitInitLine("XVesk Installation")) << "a prefix always ends in a blank";
    EXPECT_FALSE(SplitInitLine("Vesk Installation^x")) << "a suffix's leading '^' turns into a blank";
}

TEST(ProductCode, OnlyBracedUpperCaseGuidsPass) {
    EXPECT_TRUE(IsBracedGuid("{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}"));
    EXPECT_FALSE(IsBracedGuid("6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10")) << "no braces";
    EXPECT_FALSE(IsBracedGuid("{6f2c1a44-3b7e-4d2a-9c51-0e8b7a9d4f10}")) << "lower case";
    EXPECT_FALSE(IsBracedGuid("{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F1G}")) << "not hex";
    EXPECT_FALSE(IsBracedGuid("{6F2C1A443B7E-4D2A-9C51-0E8B7A9D4F10-}")) << "dashes misplaced";
}

TEST(QuestionText, UpToFiveStringConversionsPass) {
    EXPECT_FALSE(CheckQuestionConversions("%s Version %s is installed; %s %s? %s 100%%"));
    EXPECT_FALSE(CheckQuestionConversions("no conversions"));
}

TEST(QuestionText, OtherConversionsAreRefused) {
    EXPECT_TRUE(CheckQuestionConversions("%d left"));
    EXPECT_TRUE(CheckQuestionConversions("%s%s%s%s%s%s")) << "six";
    EXPECT_TRUE(CheckQuestionConversions("%-10s")) << "flags read like other conversions";
    EXPECT_TRUE(CheckQuestionConversions("50%")) << "lone percent at the end";
}

}  // namespace
}  // namespace vesk
