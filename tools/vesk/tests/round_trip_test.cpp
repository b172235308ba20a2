// Pack, unpack, pack again: the same setup, byte for byte. And what pack
// reads from the MSI itself.
#include <gtest/gtest.h>

#include "failure.h"
#include "ini_file.h"
#include "pack.h"
#include "setup_file.h"
#include "tool_test_support.h"
#include "unpack.h"

namespace vesk::test {
namespace {

class RoundTrip : public ToolTest {
protected:
    void PackSettings(const std::filesystem::path& settings, const std::filesystem::path& output,
                      std::vector<SettingOverride> overrides = {}) {
        PackOptions options;
        options.request.settingsFile = settings;
        options.request.overrides = std::move(overrides);
        options.output = output;
        options.stub = Path("stub.exe");
        Pack(options);
    }

    void WriteSampleSetting(const std::string& extra) {
        ASSERT_FALSE(SampleMsi().empty()) << "wixl could not build the fixture MSI";
        std::filesystem::copy_file(SampleMsi(), Path("sample.msi"));
        WriteFakeMsi("nt.exe", 3000);
        WriteFakeMsi("9x.exe", 2500);
        WriteStub();
        WriteText("settings.ini", "[VeskInstaller]\nProductFile=sample.msi\nRuntimeNT=nt.exe\nRuntime9X=9x.exe\n" + extra);
    }
};

TEST_F(RoundTrip, ProductIdentityComesFromThePropertyTable) {
    WriteSampleSetting("");
    PackSettings(Path("settings.ini"), Path("setup.exe"));
    SetupFile setup = OpenSetup(Path("setup.exe"));
    EXPECT_EQ(StoredText(setup.head->strings[1]), "{6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}");
    EXPECT_EQ(StoredText(setup.head->strings[2]), "1.2.3");
    EXPECT_EQ(SplitTextBlock(setup.head->textBlock)[1], "Vesk Sample");
}

// The Property table gives UTF-8 text, which goes into the code page too.
TEST_F(RoundTrip, ProductNameBeyondAsciiComesFromThePropertyTable) {
    const std::filesystem::path msi = BuildMsi(Path("named"), "Gr\u00fc\u00dfe Caf\u00e9");
    ASSERT_FALSE(msi.empty()) << "wixl could not build the MSI";
    WriteStub();
    PackOptions options;
    options.request.overrides = {{"ProductFile", msi.string(), "--product"}};
    options.output = Path("setup.exe");
    options.stub = Path("stub.exe");
    Pack(options);
    EXPECT_EQ(SplitTextBlock(OpenSetup(Path("setup.exe")).head->textBlock)[1], "Gr\xFC\xDF" "e Caf\xE9");
    options.request.overrides.push_back({"CodePage", "1251", "--codepage"});
    try {
        Pack(options);
        ADD_FAILURE() << "code page 1251 has no u with diaeresis";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()), msi.string() + ": ProductName: holds '\u00fc' (U+00FC), which code page "
                                                              "1251 cannot show; choose the code page of the setup's "
                                                              "users (CodePage, --codepage)");
    }
    // A name that code page 1252 cannot hold: the MSI library reads it empty.
    const std::filesystem::path unreadable = BuildMsi(Path("unreadable"), "\u65e5\u672c\u8a9e");
    ASSERT_FALSE(unreadable.empty());
    options.request.overrides = {{"ProductFile", unreadable.string(), "--product"}};
    try {
        Pack(options);
        ADD_FAILURE() << "a name read as empty was packed";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()),
                  unreadable.string() + ": the Property table has no ProductName (or an empty one); give ProductName");
    }
}

TEST_F(RoundTrip, GivenValuesWinOverThePropertyTable) {
    WriteSampleSetting("ProductName=\n");
    PackSettings(Path("settings.ini"), Path("setup.exe"), {{"ProductVersion", "9.9", "--product-version"}});
    SetupFile setup = OpenSetup(Path("setup.exe"));
    EXPECT_EQ(StoredText(setup.head->strings[2]), "9.9") << "the option overrides";
    EXPECT_EQ(SplitTextBlock(setup.head->textBlock)[1], "") << "a key given empty stays empty";
}

TEST_F(RoundTrip, PayloadsComeInContainerOrder) {
    WriteSampleSetting("");
    PackSettings(Path("settings.ini"), Path("setup.exe"));
    SetupFile setup = OpenSetup(Path("setup.exe"));
    ASSERT_EQ(setup.payloads.size(), 3u);
    EXPECT_EQ(setup.payloads[0].id, PayloadId::Runtime9X);
    EXPECT_EQ(setup.payloads[0].storedSize, 2504u);
    EXPECT_EQ(setup.payloads[1].id, PayloadId::RuntimeNT);
    EXPECT_EQ(setup.payloads[1].storedSize, 3004u);
    EXPECT_EQ(setup.payloads[2].id, PayloadId::Product);
}

TEST_F(RoundTrip, UnpackThenPackIsByteIdentical) {
    WriteSampleSetting(
        "CharFont=Tahoma\nCharSet=1\nCharSize=10\nVeskInitPrefix=Preparing\nVeskInitSuffix=^Setup  \n"
        "RuntimeVersion=3.1\nCmdLine=/qb ALLUSERS=1\nAdminError=\" Admin, please \"\n"
        "ExistError=%s is already there (%s); 100%% sure?\nCRCError='quoted'\n");
    PackSettings(Path("settings.ini"), Path("first.exe"));
    Unpack(Path("first.exe"), Path("out"));
    PackSettings(Path("out") / "setup.ini", Path("second.exe"));
    EXPECT_EQ(ReadFile(Path("second.exe")), ReadFile(Path("first.exe")));
    EXPECT_EQ(ReadFile(Path("out") / "sample.msi"), ReadFile(Path("sample.msi")));
    EXPECT_EQ(ReadFile(Path("out") / "runtime-nt.exe"), ReadFile(Path("nt.exe")));
}

// The setup shows its texts with the ANSI functions: they are stored in the
// code page asked for, the product's file name too, and unpack writes them
// back as UTF-8 with the code page.
TEST_F(RoundTrip, TextsInACodePageUnpackAsUtf8AndPackTheSame) {
    WriteSampleSetting("CodePage=1251\nProductName=\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440\n"
                       "VeskInitPrefix=\u0413\u043e\u0442\u043e\u0432\u0438\u043c\nAdminError=\u041d\u0443\u0436\u043d\u044b\n");
    const std::string product = "\u041f\u0430\u043a\u0435\u0442.msi";
    std::filesystem::rename(Path("sample.msi"), Path(product));
    PackSettings(Path("settings.ini"), Path("first.exe"), {{"ProductFile", Path(product).string(), "--product"}});
    const SetupFile setup = OpenSetup(Path("first.exe"));
    EXPECT_EQ(setup.head->header.textCodePage, 1251u);
    EXPECT_EQ(setup.head->descriptor[DESCRIPTOR_FONT_CHARSET], 204) << "RUSSIAN_CHARSET, as CharSet is not given";
    EXPECT_EQ(setup.head->strings[0], std::string("\xCF\xE0\xEA\xE5\xF2.msi", 10));
    EXPECT_EQ(SplitTextBlock(setup.head->textBlock)[1], "\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0");
    Unpack(Path("first.exe"), Path("out"));
    auto ini = IniSection::Read(Path("out") / "setup.ini", "VeskInstaller");
    EXPECT_EQ(ini.Get("CodePage"), "1251");
    EXPECT_EQ(ini.Get("ProductName"), "\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440");
    EXPECT_EQ(ini.Get("ProductFile"), product);
    EXPECT_EQ(ReadFile(Path("out") / product), ReadFile(Path(product)));
    PackSettings(Path("out") / "setup.ini", Path("second.exe"));
    EXPECT_EQ(ReadFile(Path("second.exe")), ReadFile(Path("first.exe")));
}

// Code page 1258 stores a letter and its tone mark apart: text typed
// decomposed, composed or both packs, unpacks and packs to the same bytes,
// the marks left as stored.
TEST_F(RoundTrip, VietnameseTextsInCodePage1258PackTheSameAfterUnpack) {
    WriteSampleSetting("CodePage=1258\nProductName=Vie\u0323\u0302t Nam\nCmdLine=Tie\u0302\u0301ng Vi\u1ec7t a\u0300\n"
                       "AdminError=C\u00e0i \u0111a\u0306\u0323t\n");
    PackSettings(Path("settings.ini"), Path("first.exe"));
    const SetupFile setup = OpenSetup(Path("first.exe"));
    EXPECT_EQ(SplitTextBlock(setup.head->textBlock)[1], "Vi\xEA\xF2t Nam");
    Unpack(Path("first.exe"), Path("out"));
    auto ini = IniSection::Read(Path("out") / "setup.ini", "VeskInstaller");
    EXPECT_EQ(ini.Get("CmdLine"), "Ti\u00ea\u0301ng Vi\u00ea\u0323t a\u0300") << "decoded without composing";
    PackSettings(Path("out") / "setup.ini", Path("second.exe"));
    EXPECT_EQ(ReadFile(Path("second.exe")), ReadFile(Path("first.exe")));
}

TEST_F(RoundTrip, Pe32PlusSetupUnpacksAndPacksToTheSameBytes) {
    WriteSampleSetting("CmdLine=/qb\n");
    WriteStub({.certificate = true, .x64 = true});
    PackSettings(Path("settings.ini"), Path("first.exe"));
    EXPECT_EQ(OpenSetup(Path("first.exe")).image.arch, StubArch::X64);
    Unpack(Path("first.exe"), Path("out"));
    PackSettings(Path("out") / "setup.ini", Path("second.exe"));
    EXPECT_EQ(ReadFile(Path("second.exe")), ReadFile(Path("first.exe")));
    EXPECT_EQ(ReadFile(Path("out") / "sample.msi"), ReadFile(Path("sample.msi")));
}

TEST_F(RoundTrip, UnpackedSettingsSayEverything) {
    WriteSampleSetting("TransformMSI=base.msi\nProductCode={6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}\n"
                       "ProductVersion=2\nProductName=T\n");
    PackSettings(Path("settings.ini"), Path("first.exe"), {{"SizeCheck", "0", "--no-size-check"}});
    Unpack(Path("first.exe"), Path("out"));
    auto ini = IniSection::Read(Path("out") / "setup.ini", "VeskInstaller");
    EXPECT_EQ(ini.Get("TransformMSI"), "base.msi");
    EXPECT_EQ(ini.Get("SizeCheck"), "0");
    EXPECT_EQ(ini.Get("Arch"), "x86");
    EXPECT_EQ(ini.Get("VeskInitPrefix"), "Initializing ");
    EXPECT_EQ(ini.Get("VeskInitSuffix"), " Wizard...");
    EXPECT_EQ(ini.Get("ExistError"), "") << "texts are written even when empty";
    PackSettings(Path("out") / "setup.ini", Path("second.exe"));
    EXPECT_EQ(ReadFile(Path("second.exe")), ReadFile(Path("first.exe"))) << "no expected size either time";
}

TEST_F(RoundTrip, UnpackRefusesAProductNameThatIsAPath) {
    WriteSampleSetting("");
    PackSettings(Path("settings.ini"), Path("setup.exe"));
    // Turn the stored name "sample.msi" into "../mple.msi".
    std::vector<uint8_t> bytes = ReadFile(Path("setup.exe"));
    SetupFile setup = OpenSetup(Path("setup.exe"));
    const size_t name = setup.containerOffset + 32;
    bytes[name] = '.';
    bytes[name + 1] = '.';
    bytes[name + 2] = '/';
    WriteFile(Path("setup.exe"), bytes);
    EXPECT_THROW(Unpack(Path("setup.exe"), Path("out")), Failure);
    EXPECT_FALSE(std::filesystem::exists(Path("mple.msi")));
}

TEST_F(RoundTrip, UnpackWritesNothingWhenAPayloadIsCorrupt) {
    WriteSampleSetting("");
    PackSettings(Path("settings.ini"), Path("setup.exe"));
    std::vector<uint8_t> bytes = ReadFile(Path("setup.exe"));
    SetupFile setup = OpenSetup(Path("setup.exe"));
    bytes[setup.payloads[2].offset + 100] ^= 0xFF;
    WriteFile(Path("setup.exe"), bytes);
    EXPECT_THROW(Unpack(Path("setup.exe"), Path("out")), Failure);
    EXPECT_FALSE(std::filesystem::exists(Path("out"))) << "the runtimes were fine but nothing is left half done";
}

}  // namespace
}  // namespace vesk::test
