// Reading the settings file by the platform's profile rules, and the rules
// for the values the setup reads from it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "escaped_text.h"
#include "ini_file.h"
#include "text_encoding.h"
#include "setup_texts.h"
#include "version_text.h"
#include "format/text_rules.h"

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
    EXPECT_EQ(ini.Repeats(), (std::vector<IniSection::Repeat>{{"k", 4, 5}})) << "where it counts and where not";
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

// One GUID rule for each side (format/text_rules.h): the setup packs what it
// can (either case, up to four characters after the brace), vesk writes only
// the form Windows Installer itself writes.
TEST(ProductCode, TheSetupPacksMoreThanVeskWrites) {
    const struct {
        const char* text;
        bool setupPacks, veskWrites;
    } rows[] = {
        {"{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}", true, true},
        {"{6f2c1a44-3b7e-4d2a-9c51-0e8b7a9d4f10}", true, false},
        {"{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}abcd", true, false},
        {"{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}abcde", false, false},
        {"6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10", false, false},
        {"{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F1G}", false, false},
        {"{6F2C1A443B7E-4D2A-9C51-0E8B7A9D4F10-}", false, false},
        {"{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F1", false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.setupPacks, IsPackableGuid(row.text));
        EXPECT_EQ(row.veskWrites, IsBracedGuid(row.text));
    }
}

// The setup reads any text as some version (format/text_rules.h); vesk takes
// only a text that reads as it is written, and then the setup's own words.
TEST(VersionText, TheSetupReadsAnythingVeskOnlyWhatReadsAsWritten) {
    const struct {
        const char* text;
        VersionPair setupReads;
        bool veskTakes;
    } rows[] = {
        {"2.5.300.7", {(2u << 16) | 5, (300u << 16) | 7}, true},
        {"3.1", {(3u << 16) | 1, 0}, true},
        {"", {0, 0}, true},
        {" \t-12x", {0xFFF40000u, 0}, false},
        {"+5", {0, 0}, false},
        {"4294967297", {1u << 16, 0}, false},
        {"1.70000", {(1u << 16) | 70000u, 0}, false},  // a minor over 65535 reaches into the major
        {"1.2.3.4.5", {(1u << 16) | 2, (3u << 16) | 4}, false},
        {"1..2", {1u << 16, 2u << 16}, false},
        {"1.2 ", {(1u << 16) | 2, 0}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("[") + row.text + "]");
        VersionPair read = ReadVersionText(row.text);
        EXPECT_EQ(row.setupReads.ms, read.ms);
        EXPECT_EQ(row.setupReads.ls, read.ls);
        auto taken = ParseVersionText(row.text);
        ASSERT_EQ(row.veskTakes, taken.has_value());
        if (taken) {
            EXPECT_EQ(read.ms, taken->ms) << "vesk stores what the setup reads";
            EXPECT_EQ(read.ls, taken->ls);
        }
    }
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

// Settings come as UTF-8: only whole, shortest sequences of scalar values.
TEST(TextEncoding, OnlyWellFormedUtf8IsText) {
    const struct {
        std::string text;
        std::optional<size_t> invalidAt;
    } rows[] = {
        {"Gr\u00fc\u00dfe Caf\u00e9 \u65e5\u672c \U0001F600", std::nullopt},
        {"Caf\xE9", 3},            // Latin-1
        {"a\xC0\xAF", 1},          // an overlong '/'
        {"\xED\xA0\x80", 0},       // a surrogate
        {"\xF4\x90\x80\x80", 0},   // beyond U+10FFFF
        {"ok\xE2\x82", 2},         // cut short
        {"\x80", 0},               // a lone continuation byte
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Escaped(row.text));
        EXPECT_EQ(InvalidUtf8At(row.text), row.invalidAt);
    }
    EXPECT_EQ(Utf8(Utf16("x\xE9y")), "x\uFFFDy") << "a stray byte becomes U+FFFD";
    EXPECT_EQ(Utf8(Utf16("\U0001F600")), "\U0001F600") << "a surrogate pair comes back whole";
}

// What the setup shows, in its code page; what a code page lacks is named.
TEST(TextEncoding, TextsGoIntoTheCodePageAndComeBack) {
    const struct {
        unsigned codePage;
        std::string text;
        std::string bytes;
        std::string unrepresentable;
    } rows[] = {
        {1252, "Gr\u00fc\u00dfe Caf\u00e9 \u20ac", "Gr\xFC\xDF" "e Caf\xE9 \x80", ""},
        {1251, "\u041f\u0440\u0438\u0432\u0435\u0442", "\xCF\xF0\xE8\xE2\xE5\xF2", ""},
        {932, "\u65e5\u672c \u8868", "\x93\xFA\x96\x7B \x95\x5C", ""},  // 0x5C trails a lead byte
        {1252, "ok \u2713 \u65e5", "", "\u2713"},
        {1251, "Caf\u00e9", "", "\u00e9"},
        {932, "Caf\u00e9", "", "\u00e9"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.codePage) + " " + row.text);
        const CodePageText shown = ToCodePage(row.text, row.codePage);
        EXPECT_EQ(shown.unrepresentable, row.unrepresentable);
        if (!row.unrepresentable.empty()) continue;
        EXPECT_EQ(shown.bytes, row.bytes);
        EXPECT_EQ(FromCodePage(shown.bytes, row.codePage), row.text);
    }
    EXPECT_EQ(FromCodePage("\x93", 932), std::nullopt) << "a lead byte without its trail byte";
    // Plain ASCII is the same bytes in every code page a setup may use.
    std::string ascii;
    for (char c = ' '; c < 127; ++c) ascii += c;
    for (unsigned codePage : {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u,
                              1258u}) {
        ASSERT_TRUE(IsAnsiCodePage(codePage));
        EXPECT_EQ(ToCodePage(ascii, codePage).bytes, ascii) << codePage;
        EXPECT_EQ(FromCodePage(ascii, codePage), ascii) << codePage;
        // Every character of a single-byte code page, each after a letter
        // (a mark too), reads back as the bytes it came from.
        if (codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950) continue;
        std::string bytes;
        for (int byte = 0x80; byte < 0x100; ++byte)
            if (FromCodePage(std::string(1, static_cast<char>(byte)), codePage)) bytes += {'a', static_cast<char>(byte)};
        const auto text = FromCodePage(bytes, codePage);
        ASSERT_TRUE(text) << codePage;
        EXPECT_EQ(ToCodePage(*text, codePage).bytes, bytes) << codePage;
    }
    EXPECT_FALSE(IsAnsiCodePage(65001)) << "UTF-8 is no ANSI code page the setup can rely on";
}

// A name the setup writes a file under, judged on its bytes in the code
// page as CharNextA walks them.
TEST(FileName, JudgedAsTheSetupReadsIt) {
    const struct {
        const char* stored;
        unsigned codePage;
        std::optional<std::string> problem;
    } rows[] = {
        {"product.msi", 1252, std::nullopt},
        {"\x95\x5C.msi", 932, std::nullopt},  // 0x5C trails a lead byte
        {"..\x5C..\x5Cx.msi", 932, "holds '\\\\' as the setup reads it in code page 932"},
        {"a:b.msi", 1252, "holds ':'"},
        {"a\x01.msi", 1252, "holds '\\x01'"},
        {"..", 1252, "ends in a dot or a blank"},
        {"product..msi", 1252, "holds '..'"},
        {"Lpt9.x.msi", 1252, "names the Windows device LPT9"},
        {"COM\xB9.msi", 1252, "names the Windows device COM\u00b9"},
        {"console.msi", 1252, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Escaped(row.stored));
        const auto problem = FileNameProblem(row.stored, row.codePage);
        EXPECT_EQ(problem.has_value(), row.problem.has_value());
        if (problem && row.problem) {
            EXPECT_EQ(problem->find(*row.problem), 0u) << *problem;
        }
    }
}

// Messages and reports keep UTF-8 text readable and escape what would
// drive a terminal, reorder a line, or is not UTF-8; JSON holds it once.
TEST(TextEncoding, EscapesKeepTextAndHideNothing) {
    EXPECT_EQ(Escaped("Gr\u00fc\u00dfe"), "Gr\u00fc\u00dfe");
    EXPECT_EQ(Escaped("Caf\xE9\x1b"), "Caf\\xe9\\x1b");
    EXPECT_EQ(Escaped("a\u202eb\u0085"), "a\\xe2\\x80\\xaeb\\xc2\\x85");
    EXPECT_EQ(Escaped("Gr\u00fc\u00dfe\u202e\xE9\n", 0, EscapeForm::Json), "Gr\u00fc\u00dfe\\u202e\\ufffd\\n");
}

}  // namespace
}  // namespace vesk
