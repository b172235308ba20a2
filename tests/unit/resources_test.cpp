// The program's resources: the splash picture, the icon and the progress
// dialog's template, as the simulator serves them and as the built stub
// carries them, and the stub's exports.
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "format/pe_layout.h"
#include "sim/resources.h"
#include "sim/sim.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kBitmap = 2, kIcon = 3, kDialog = 5, kGroupIcon = 14;

uint16_t Word(const Bytes& b, size_t at) {
    return at + 2 <= b.size() ? uint16_t(b[at] | b[at + 1] << 8) : 0;
}
uint32_t Dword(const Bytes& b, size_t at) {
    return at + 4 <= b.size() ? uint32_t(Word(b, at) | uint32_t(Word(b, at + 2)) << 16) : 0;
}

// Reads a dialog template field by field; a read past the end yields 0 and
// is noted, so the comparison fails instead of running off.
struct TemplateReader {
    const Bytes& bytes;
    size_t at = 0;
    bool overrun = false;

    uint16_t Word16() {
        if (at + 2 > bytes.size()) overrun = true;
        uint16_t value = Word(bytes, at);
        at += 2;
        return value;
    }
    uint32_t Dword32() {
        uint32_t low = Word16();
        return low | uint32_t(Word16()) << 16;
    }
    std::string Text() {
        std::string text;
        for (uint16_t c; !overrun && (c = Word16()) != 0;) text += char(c);
        return text;
    }
    // "#n" for an ordinal, else the text as stored.
    std::string ClassField() {
        if (Word(bytes, at) == 0xFFFF) {
            at += 2;
            return "#" + std::to_string(Word16());
        }
        return Text();
    }
    void Align() { at = (at + 3) & ~size_t(3); }
};

struct ExpectedItem {
    uint32_t style;
    int x, y, cx, cy;
    uint16_t id;
    std::string className;
    std::string text;
};

void ExpectProgressTemplate(const Bytes& bytes) {
    TemplateReader r{bytes};
    EXPECT_EQ(0x90C808C4u, r.Dword32()) << "style";
    EXPECT_EQ(0u, r.Dword32()) << "extended style";
    EXPECT_EQ(3, r.Word16()) << "item count";
    EXPECT_EQ(0, r.Word16()) << "x";
    EXPECT_EQ(0, r.Word16()) << "y";
    EXPECT_EQ(208, r.Word16()) << "width";
    EXPECT_EQ(66, r.Word16()) << "height";
    EXPECT_EQ(0, r.Word16()) << "no menu";
    EXPECT_EQ(0, r.Word16()) << "the standard dialog class";
    EXPECT_EQ(" ", r.Text()) << "caption";
    EXPECT_EQ(8, r.Word16()) << "font size";
    EXPECT_EQ("MS Sans Serif", r.Text()) << "font face";
    const ExpectedItem items[] = {
        {0x50020000, 7, 7, 194, 17, 0xFFFF, "#130",
         "The Vesk Installation Wizard is extracting files to your local computer, please wait..."},
        {0x50800000, 7, 29, 194, 10, 1007, "msctls_progress32", "Progress1"},
        {0x50010000, 151, 46, 50, 14, 2, "#128", "Cancel"},
    };
    for (const auto& item : items) {
        r.Align();
        SCOPED_TRACE("item " + item.text);
        EXPECT_EQ(item.style, r.Dword32()) << "style";
        EXPECT_EQ(0u, r.Dword32()) << "extended style";
        EXPECT_EQ(item.x, r.Word16()) << "x";
        EXPECT_EQ(item.y, r.Word16()) << "y";
        EXPECT_EQ(item.cx, r.Word16()) << "width";
        EXPECT_EQ(item.cy, r.Word16()) << "height";
        EXPECT_EQ(item.id, r.Word16()) << "id";
        EXPECT_EQ(item.className, r.ClassField()) << "class";
        EXPECT_EQ(item.text, r.ClassField()) << "text";
        EXPECT_EQ(0, r.Word16()) << "no creation data";
    }
    EXPECT_FALSE(r.overrun) << "the template is shorter than its fields";
    EXPECT_EQ(bytes.size(), r.at) << "bytes after the last item";
}

void ExpectSplashBitmap(const Bytes& b) {
    EXPECT_EQ(40u, Dword(b, 0)) << "header size";
    EXPECT_EQ(300u, Dword(b, 4)) << "width";
    EXPECT_EQ(110u, Dword(b, 8)) << "height, rows bottom-up";
    EXPECT_EQ(1, Word(b, 12)) << "planes";
    EXPECT_EQ(4, Word(b, 14)) << "bits per pixel";
    EXPECT_EQ(0u, Dword(b, 16)) << "BI_RGB";
    EXPECT_EQ(40u + 64u + 110u * 152u, b.size()) << "16 colours, then rows of 152 bytes: 16,824 bytes";
    for (size_t i = 0; i < 16; ++i) {
        uint8_t blue = b[40 + 4 * i], green = b[41 + 4 * i], red = b[42 + 4 * i];
        EXPECT_TRUE(blue > 0 && blue >= green && blue >= red) << "colour " << i << " is not blue";
    }
}

// The icon group's single entry; returns the icon's identifier.
uint16_t ExpectIconGroup(const Bytes& b) {
    EXPECT_EQ(6u + 14u, b.size()) << "one entry";
    EXPECT_EQ(1, Word(b, 2)) << "type: icons";
    EXPECT_EQ(1, Word(b, 4)) << "image count";
    EXPECT_EQ(32, b.at(6)) << "width";
    EXPECT_EQ(32, b.at(7)) << "height";
    EXPECT_EQ(16, b.at(8)) << "colours";
    EXPECT_EQ(4, Word(b, 12)) << "bits per pixel";
    EXPECT_EQ(744u, Dword(b, 14)) << "image size";
    return Word(b, 18);
}

void ExpectIconImage(const Bytes& b) {
    EXPECT_EQ(744u, b.size());
    EXPECT_EQ(40u, Dword(b, 0));
    EXPECT_EQ(32u, Dword(b, 4));
    EXPECT_EQ(64u, Dword(b, 8)) << "colour rows and mask rows";
    EXPECT_EQ(4, Word(b, 14));
    EXPECT_EQ(0u, Dword(b, 16));
}

TEST(Resources, TheSimulatorServesThePictureTheIconAndTheDialog) {
    sim::Reset();
    const Bytes* bitmap = sim::ResourceBytes(kBitmap, 111);
    ASSERT_NE(nullptr, bitmap);
    ExpectSplashBitmap(*bitmap);
    const Bytes* group = sim::ResourceBytes(kGroupIcon, 108);
    ASSERT_NE(nullptr, group);
    uint16_t icon = ExpectIconGroup(*group);
    const Bytes* image = sim::ResourceBytes(kIcon, icon);
    ASSERT_NE(nullptr, image) << "the group names icon " << icon;
    ExpectIconImage(*image);
    const Bytes* dialog = sim::ResourceBytes(kDialog, 110);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(1033, sim::ResourceLanguage(kDialog, 110));
    ExpectProgressTemplate(*dialog);
}

// The built stubs, the 32-bit one and its x86-64 twin, read as PE images:
// headers, sections, resource tree, imports and export names.
struct StubBuild {
    const char* path;  // under the source root
    uint16_t machine;
    uint16_t magic;
};

class BuiltStub : public ::testing::TestWithParam<StubBuild> {
protected:
    Bytes image;

    void SetUp() override {
        std::string path = std::string(VESK_SOURCE_DIR) + "/" + GetParam().path;
        std::ifstream file(path, std::ios::binary);
        if (!file) GTEST_SKIP() << "the Windows stub is not built (" << path << ")";
        image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    // The PE headers by format/pe_layout.h: H, the file header's and the
    // optional header's fields from there.
    size_t Header() const { return Dword(image, PE_DOS_LFANEW_OFFSET); }
    bool Plus() const { return Word(image, Header() + PE_OPTIONAL_HEADER_MAGIC_OFFSET) == PE32PLUS_MAGIC; }
    uint32_t DirectoryRva(int index) const {
        return Dword(image, Header() + PE_DATA_DIRECTORIES_OFFSET + (Plus() ? PE32PLUS_SHIFT : 0) +
                                PE_DATA_DIRECTORY_SIZE * index + offsetof(PeDataDirectory, virtualAddress));
    }
    size_t SectionTable() const {
        return Header() + PE_OPTIONAL_HEADER_OFFSET + Word(image, Header() + PE_FILE_FIELD(sizeOfOptionalHeader));
    }
    int SectionCount() const { return Word(image, Header() + PE_FILE_FIELD(numberOfSections)); }

    struct SectionHeader {
        std::string name;
        uint32_t rawSize;
    };
    std::vector<SectionHeader> Sections() const {
        std::vector<SectionHeader> sections;
        for (int i = 0; i < SectionCount(); ++i) {
            size_t s = SectionTable() + PE_SECTION_HEADER_SIZE * size_t(i);
            std::string name;
            for (size_t c = s; c < s + sizeof(PeSectionHeader::name) && image[c]; ++c) name += char(image[c]);
            sections.push_back({name, Dword(image, s + PE_SECTION_FIELD(sizeOfRawData))});
        }
        return sections;
    }

    std::vector<std::string> ImportedLibraries() const {
        std::vector<std::string> names;
        auto descriptor = FileOffset(DirectoryRva(1));
        for (; descriptor && Dword(image, *descriptor + 12) != 0; *descriptor += 20)
            if (auto name = FileOffset(Dword(image, *descriptor + 12))) names.push_back(Text(*name));
        return names;
    }

    std::optional<size_t> FileOffset(uint32_t rva) const {
        for (int i = 0; i < SectionCount(); ++i) {
            size_t s = SectionTable() + PE_SECTION_HEADER_SIZE * size_t(i);
            uint32_t address = Dword(image, s + PE_SECTION_FIELD(virtualAddress));
            uint32_t size = Dword(image, s + PE_SECTION_FIELD(sizeOfRawData));
            if (rva >= address && rva < address + size)
                return Dword(image, s + PE_SECTION_FIELD(pointerToRawData)) + (rva - address);
        }
        return std::nullopt;
    }

    // The entry with this identifier in a resource directory, as an offset
    // from the start of the resource data.
    std::optional<uint32_t> Entry(size_t root, uint32_t directory, uint32_t id) const {
        size_t at = root + directory;
        int count = Word(image, at + 12) + Word(image, at + 14);
        for (int i = 0; i < count; ++i) {
            size_t entry = at + 16 + 8 * size_t(i);
            if (Dword(image, entry) == id) return Dword(image, entry + 4) & 0x7FFFFFFF;
        }
        return std::nullopt;
    }

    std::optional<Bytes> Resource(uint32_t type, uint32_t name, uint32_t language) const {
        auto root = FileOffset(DirectoryRva(2));
        if (!root) return std::nullopt;
        auto names = Entry(*root, 0, type);
        auto languages = names ? Entry(*root, *names, name) : std::nullopt;
        auto leaf = languages ? Entry(*root, *languages, language) : std::nullopt;
        if (!leaf) return std::nullopt;
        auto data = FileOffset(Dword(image, *root + *leaf));
        uint32_t size = Dword(image, *root + *leaf + 4);
        if (!data || *data + size > image.size()) return std::nullopt;
        return Bytes(image.begin() + long(*data), image.begin() + long(*data + size));
    }

    std::vector<std::string> ExportNames() const {
        std::vector<std::string> names;
        auto directory = FileOffset(DirectoryRva(0));
        if (!directory) return names;
        uint32_t count = Dword(image, *directory + 24);
        auto table = FileOffset(Dword(image, *directory + 32));
        for (uint32_t i = 0; table && i < count; ++i) {
            auto name = FileOffset(Dword(image, *table + 4 * i));
            if (name) names.push_back(Text(*name));
        }
        return names;
    }

    // The names the image imports from one DLL (compared without regard to case).
    std::vector<std::string> ImportNames(const std::string& dll) const {
        std::vector<std::string> names;
        auto descriptor = FileOffset(DirectoryRva(1));
        for (; descriptor && Dword(image, *descriptor + 12) != 0; *descriptor += 20) {
            auto name = FileOffset(Dword(image, *descriptor + 12));
            if (!name || strcasecmp(Text(*name).c_str(), dll.c_str()) != 0) continue;
            uint32_t thunks = Dword(image, *descriptor);  // the lookup table, else the address table
            auto thunk = FileOffset(thunks ? thunks : Dword(image, *descriptor + 16));
            // PE32+ thunks are 64 bits, with the by-ordinal flag in the top bit.
            const size_t width = Plus() ? 8 : 4;
            for (; thunk && (Dword(image, *thunk) | Dword(image, *thunk + width - 4)) != 0; *thunk += width) {
                uint32_t entry = Dword(image, *thunk);
                bool byOrdinal = Dword(image, *thunk + width - 4) & 0x80000000u;
                auto hint = byOrdinal ? std::nullopt : FileOffset(entry);
                names.push_back(hint ? Text(*hint + 2) : "#" + std::to_string(entry & 0xFFFF));
            }
        }
        return names;
    }

    std::string Text(size_t at) const {
        std::string text;
        for (; at < image.size() && image[at]; ++at) text += char(image[at]);
        return text;
    }
};

TEST_P(BuiltStub, CarriesTheProgressDialogTemplateInUsEnglish) {
    auto dialog = Resource(kDialog, 110, 1033);
    ASSERT_TRUE(dialog.has_value()) << "no dialog 110 of language 1033 in the stub";
    ExpectProgressTemplate(*dialog);
}

// The simulator's resources are checked field by field above.
TEST_P(BuiltStub, CarriesTheSameResourcesAsTheSimulator) {
    sim::Reset();
    const Bytes* group = sim::ResourceBytes(kGroupIcon, 108);
    ASSERT_NE(nullptr, group);
    int icon = Word(*group, 18);
    for (auto [type, id] : {std::pair{kDialog, 110}, {kBitmap, 111}, {kGroupIcon, 108}, {kIcon, icon}}) {
        auto built = Resource(type, id, 1033);
        const Bytes* simulated = sim::ResourceBytes(type, id);
        ASSERT_TRUE(built && simulated) << "resource " << type << "/" << id;
        EXPECT_EQ(*simulated, *built) << "resource " << type << "/" << id << " differs";
    }
}

TEST_P(BuiltStub, IsAGuiImageOfItsMachineWithThePlaceholderBeforeTheResources) {
    EXPECT_EQ(GetParam().machine, Word(image, Header() + PE_FILE_FIELD(machine))) << "machine";
    EXPECT_EQ(GetParam().magic, Word(image, Header() + PE_OPTIONAL_FIELD(magic))) << "optional header magic";
    EXPECT_EQ(2, Word(image, Header() + PE_OPTIONAL_FIELD(subsystem))) << "subsystem: Windows GUI";
    EXPECT_EQ(4, Word(image, Header() + PE_OPTIONAL_FIELD(majorSubsystemVersion))) << "subsystem version 4.0";
    auto sections = Sections();
    auto vesk = std::find_if(sections.begin(), sections.end(), [](auto& s) { return s.name == ".VESK"; });
    auto rsrc = std::find_if(sections.begin(), sections.end(), [](auto& s) { return s.name == ".rsrc"; });
    ASSERT_NE(sections.end(), vesk) << "no .VESK section";
    EXPECT_LE(vesk->rawSize, 4096u) << "a bare stub runs in side-file mode";
    EXPECT_LT(vesk, rsrc) << ".VESK must come before .rsrc";
}

// Only libraries the system maps from its own folder for every process: any
// other (COMCTL32 among them) would be looked for beside the setup first.
TEST_P(BuiltStub, ImportsOnlyTheSystemLibraries) {
    const std::vector<std::string> allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                              "shell32.dll"};
    auto libraries = ImportedLibraries();
    EXPECT_FALSE(libraries.empty());
    for (const std::string& library : libraries)
        EXPECT_TRUE(std::any_of(allowed.begin(), allowed.end(),
                                [&](const std::string& a) { return strcasecmp(a.c_str(), library.c_str()) == 0; }))
            << library << " is not a system library (a C runtime?)";
}

// Absent before Windows 7's update and XP SP1: imported, they would keep the
// setup from starting there at all. They are looked up at run time.
TEST_P(BuiltStub, ImportsNoLibrarySearchCallThatOlderSystemsLack) {
    auto names = ImportNames("kernel32.dll");
    EXPECT_FALSE(names.empty());
    for (const char* call : {"SetDefaultDllDirectories", "SetDllDirectoryA"})
        EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), call)) << call;
}

TEST_P(BuiltStub, IsAProgramNotALibrary) {
    // Exports must not turn the image into a DLL, which the system will not start.
    uint16_t characteristics = Word(image, Header() + PE_FILE_FIELD(characteristics));
    EXPECT_EQ(0, characteristics & 0x2000) << "IMAGE_FILE_DLL is set";
    EXPECT_NE(0, characteristics & 0x0002) << "IMAGE_FILE_EXECUTABLE_IMAGE is not set";
}

TEST_P(BuiltStub, ExportsTheCallbacksAndTheCrcUnderTheirDecoratedNames) {
    auto names = ExportNames();
    for (const char* name : {"_MainWndProc@16", "_ProgressDlg@16", "_UpdateCRC@8"})
        EXPECT_NE(names.end(), std::find(names.begin(), names.end(), name)) << name << " not exported";
}

// Setups are loaded anywhere in the address space and never run data as
// code: the relocations stay, and the image says both.
TEST_P(BuiltStub, KeepsItsRelocationsForAslrAndIsNxCompatible) {
    uint16_t characteristics = Word(image, Header() + PE_FILE_FIELD(characteristics));
    EXPECT_EQ(0, characteristics & 0x0001) << "IMAGE_FILE_RELOCS_STRIPPED is set";
    uint16_t dllCharacteristics = Word(image, Header() + PE_OPTIONAL_FIELD(dllCharacteristics));
    EXPECT_NE(0, dllCharacteristics & 0x0040) << "not DYNAMIC_BASE";
    EXPECT_NE(0, dllCharacteristics & 0x0100) << "not NX_COMPAT";
    // x86-64 code addresses its data relative to the instruction: the twin
    // may have nothing to relocate. 32-bit code cannot do without.
    if (Plus()) return;
    EXPECT_NE(0u, DirectoryRva(5)) << "no base relocation directory";
    auto sections = Sections();
    EXPECT_TRUE(std::any_of(sections.begin(), sections.end(), [](auto& s) { return s.name == ".reloc" && s.rawSize; }))
        << "no .reloc section with data";
}

INSTANTIATE_TEST_SUITE_P(BothArchitectures, BuiltStub,
                         ::testing::Values(StubBuild{"build/win32/vesk-stub.exe", 0x14C, 0x10B},
                                           StubBuild{"build/win64/vesk-stub-x64.exe", 0x8664, 0x20B}),
                         [](const auto& info) { return info.param.magic == 0x20B ? "x64" : "x86"; });

// Every setup carries the 32-bit stub: with its splash picture and the
// payload placeholder it fits in 40 KiB.
TEST(BuiltStubSize, ThirtyTwoBitStubFitsInFortyKibibytes) {
    const std::string path = std::string(VESK_SOURCE_DIR) + "/build/win32/vesk-stub.exe";
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) GTEST_SKIP() << "the Windows stub is not built (" << path << ")";
    EXPECT_LE(size, 40u * 1024) << path << ": benchmarks/stub_sizes.py shows the sizes section by section";
}

}  // namespace
