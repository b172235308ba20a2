// Settings from the side INI file, version texts, and the configurable
// message texts with their built-in fallbacks.
#include <gtest/gtest.h>

#include <string>

#include "container/container.h"
#include "container_fixture.h"
#include "format/ini_keys.h"
#include "base/side_ini.h"
#include "container/settings.h"
#include "base/text.h"
#include "pe_builder.h"
#include "sim/files.h"
#include "sim/msgbox.h"
#include "sim/sim.h"

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        CopyText(g_run.ownPath, PATH_BUFFER, "C:\\Setup\\setup.exe");
    }
    // An INI beside the program holding the given lines and a complete identity.
    BOOL LoadWith(const std::string& lines) {
        sim::files::Put("C:\\Setup\\setup.ini",
                        "[VeskInstaller]\r\nProductCode={P}\r\nProductVersion=1.0\r\n" + lines);
        return LoadSideSettings();
    }
};

}  // namespace

TEST_F(Settings, RuntimeVersionOfFourPartsOrOne) {
    LoadWith("RuntimeVersion=2.5.300.7\r\n");
    EXPECT_EQ(2u * 65536 + 5, g_settings.requiredRuntimeMS);
    EXPECT_EQ(300u * 65536 + 7, g_settings.requiredRuntimeLS);
    LoadWith("RuntimeVersion=2\r\n");
    EXPECT_EQ(2u * 65536, g_settings.requiredRuntimeMS) << "one part";
    EXPECT_EQ(0u, g_settings.requiredRuntimeLS) << "one part";
}

TEST_F(Settings, NoKeysAtAllGiveDefaultsAndIncomplete) {
    EXPECT_FALSE(LoadSideSettings()) << "no INI file: incomplete";
    sim::files::Put("C:\\Setup\\setup.ini", "");
    EXPECT_FALSE(LoadSideSettings()) << "no product code: incomplete";
    EXPECT_STREQ("Initializing Vesk Installation Wizard...", InitLine());
    EXPECT_STREQ("MS Sans Serif", FontFace());
    EXPECT_STREQ("", ProductName());
    EXPECT_EQ(8, g_settings.fontPointSize);
    EXPECT_EQ(0, g_settings.fontCharSet);
    EXPECT_EQ(0u, g_settings.requiredRuntimeMS);
    EXPECT_FALSE(g_settings.removePrevious);
}

TEST_F(Settings, InitLineFromPrefixAndSuffix) {
    LoadWith("VeskInitSuffix=^Setup\r\n");
    EXPECT_STREQ("Initializing Vesk Installation Setup", InitLine()) << "a '^' suffix starts with a blank";
    LoadWith("VeskInitPrefix=Preparing\r\n");
    EXPECT_STREQ("Preparing Vesk Installation Wizard...", InitLine()) << "a prefix gets one blank";
    LoadWith("VeskInitPrefix=\"Preparing \"\r\n");
    EXPECT_STREQ("Preparing Vesk Installation Wizard...", InitLine()) << "a prefix ending in a blank gets no second";
}

TEST_F(Settings, RemovePreviousOnlyForExactlyOne) {
    LoadWith("Remove Previous=2\r\n");
    EXPECT_FALSE(g_settings.removePrevious) << "2";
    LoadWith("remove previous=1\r\n");
    EXPECT_TRUE(g_settings.removePrevious) << "1";
}

TEST_F(Settings, IdentityFontAndRuntimesAreRead) {
    EXPECT_TRUE(LoadWith("ProductName=Example\r\nCharFont=Tahoma\r\nCharSet=300\r\nCharSize=10\r\n"
                         "RuntimeNT=instmsiw.exe\r\nTransformMSI=base.msi\r\n"));
    EXPECT_STREQ("{P}", g_settings.productCode);
    EXPECT_STREQ("1.0", g_settings.productVersion);
    EXPECT_STREQ("Example", ProductName());
    EXPECT_STREQ("Tahoma", FontFace());
    EXPECT_EQ(300 & 0xFF, g_settings.fontCharSet) << "the low 8 bits";
    EXPECT_EQ(10, g_settings.fontPointSize);
    EXPECT_EQ(1, g_settings.runtimeNTSize);
    EXPECT_EQ(0, g_settings.runtime9XSize);
    EXPECT_STREQ("base.msi", g_settings.transformBase);
    EXPECT_STREQ("C:\\Setup\\setup.ini", g_run.iniPath);
}

TEST_F(Settings, PathWithoutDotReadsNoIniAndTheLastDotStartsTheExtension) {
    CopyText(g_run.ownPath, PATH_BUFFER, "C:\\Setup\\setup");
    sim::files::Put("C:\\Setup\\setup.ini", "[VeskInstaller]\r\nCharFont=Tahoma\r\n");
    EXPECT_TRUE(LoadSideSettings());
    EXPECT_STREQ("", FontFace()) << "nothing read, not even defaults";
    EXPECT_EQ(8, g_settings.fontPointSize);
    CopyText(g_run.ownPath, PATH_BUFFER, "C:\\My.Setup\\setup");
    LoadSideSettings();
    EXPECT_STREQ("C:\\My.ini", g_run.iniPath) << "the last dot anywhere in the path starts the extension";
    // An INI path that would not fit is refused, never cut to another name.
    CopyText(g_run.ownPath, PATH_BUFFER, ("C:\\" + std::string(249, 'x') + ".ex").c_str());
    unsigned code = 0;
    EXPECT_TRUE(sim::RunUntilExit([] { LoadSideSettings(); }, &code));
    EXPECT_EQ(1u, code);
    EXPECT_EQ(1u, sim::MessageBoxes().size());
}

TEST_F(Settings, LongValuesAreCutToTheirFieldsLaterBlockStringsFirst) {
    std::string longText(300, 'L');
    sim::files::Put("C:\\Setup\\setup.ini",
                    "[VeskInstaller]\r\nProductCode=" + longText + "\r\nProductVersion=" + longText +
                        "\r\nTransformMSI=" + longText + "\r\nCharFont=" + longText +
                        "\r\nProductName=" + longText + "\r\nVeskInitPrefix=" + longText +
                        "\r\nVeskInitSuffix=" + longText + "\r\n");
    LoadSideSettings();
    EXPECT_EQ(std::string(63, 'L'), std::string(g_settings.productCode));
    EXPECT_EQ(std::string(63, 'L'), std::string(g_settings.productVersion));
    EXPECT_EQ(std::string(255, 'L'), std::string(g_settings.transformBase));
    const char* block = g_settings.textBlock;
    EXPECT_EQ(std::string(253, 'L'), std::string(FontFace())) << "room left for two terminators";
    for (const char* s : {FontFace(), ProductName(), InitLine()})
        EXPECT_LT(s + std::string(s).size(), block + TEXT_BLOCK_FIELD) << "terminated inside the block";
    LoadWith("CharFont=" + std::string(150, 'F') + "\r\nProductName=" + std::string(60, 'N') +
             "\r\nVeskInitPrefix=" + std::string(60, 'P') + "\r\n");
    EXPECT_EQ(std::string(150, 'F'), std::string(FontFace()));
    EXPECT_EQ(std::string(60, 'N'), std::string(ProductName()));
    EXPECT_EQ(std::string(256 - 151 - 61 - 1, 'P'), std::string(InitLine())) << "later strings are cut first";
}




TEST_F(Settings, MessageTextFromIniOrBuiltIn) {
    sim::files::Put("C:\\Setup\\setup.ini", "[VeskInstaller]\r\nSpaceError=Disk is full\r\nCRCError=\r\n");
    LoadSideSettings();
    char text[TEXT_FIELD];
    LoadMessageText(text, MSG_SPACE_ERROR, g_run.iniPath, INI_KEY_SPACE_ERROR, BUILTIN_SPACE_ERROR);
    EXPECT_STREQ("Disk is full", text);
    LoadMessageText(text, MSG_CRC_ERROR, g_run.iniPath, INI_KEY_CRC_ERROR, BUILTIN_CRC_ERROR);
    EXPECT_STREQ("Corrupt installation detected, check source media or re-download.", text);
}

TEST_F(Settings, MessageTextFromContainerOrBuiltIn) {
    pe_builder::Container c;
    c.texts[MSG_REBOOT - MESSAGE_ID_FIRST] = pe_builder::Stored("Restart?");
    container_fixture::OpenContainer(pe_builder::BuildSetup(c).bytes);
    FindPayloadSection();
    ReadContainerHeader();
    char text[TEXT_FIELD];
    LoadMessageText(text, MSG_REBOOT, g_run.iniPath, INI_KEY_REBOOT, BUILTIN_REBOOT);
    EXPECT_STREQ("Restart?", text);
    LoadMessageText(text, MSG_ADMIN_ERROR, g_run.iniPath, INI_KEY_ADMIN_ERROR, BUILTIN_ADMIN_ERROR);
    EXPECT_STREQ(BUILTIN_ADMIN_ERROR, text);
    _lclose(g_run.containerFile);
}
