// The resource section: read from both real stubs, laid out anew and read
// back field by field, and put into a stub with everything after it moved
// and the headers made to agree.
#include <gtest/gtest.h>

#include "byte_order.h"
#include "failure.h"
#include "resource_section.h"
#include "resource_tree.h"
#include "tool_test_support.h"

namespace vesk::test {
namespace {

const char* const kRealStubs[] = {VESK_REAL_STUB, VESK_REAL_STUB_X64};

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

const PeSection* Find(const PeImage& image, const std::string& name) {
    for (const PeSection& s : image.sections)
        if (s.name == name) return &s;
    return nullptr;
}

const PeSection& Named(const PeImage& image, const std::string& name) {
    if (const PeSection* s = Find(image, name)) return *s;
    throw std::runtime_error("no section " + name);
}

ResourceTree TreeOf(const std::vector<uint8_t>& file, const PeImage& image) {
    const int index = FindResourceSection(image, "image");
    const PeSection& s = image.sections[static_cast<size_t>(index)];
    return ReadResources(std::span(file).subspan(s.pointerToRawData, s.sizeOfRawData), image, index, "image");
}

ResourceItem Item(uint16_t type, uint16_t name, uint16_t language, std::vector<uint8_t> data) {
    return {ResourceId::Number(type), ResourceId::Number(name), ResourceId::Number(language), 1252, std::move(data)};
}

TEST(ResourceSection, BothRealStubsHoldTheirSplashIconAndDialog) {
    for (const char* path : kRealStubs) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> stub = ReadFile(path);
        ASSERT_FALSE(stub.empty()) << "build the stubs first (scripts/build)";
        const ResourceTree tree = TreeOf(stub, ParsePeImage(stub, path));
        const ResourceItem* splash = tree.Find(kResourceBitmap, 111);
        ASSERT_NE(splash, nullptr);
        EXPECT_EQ(splash->data.size(), 16824u) << "40 + 64 + 110 rows of 152 bytes";
        EXPECT_EQ(splash->language, ResourceId::Number(kLanguageEnglishUs));
        const ResourceItem* group = tree.Find(kResourceIconGroup, 108);
        ASSERT_NE(group, nullptr);
        ASSERT_EQ(group->data.size(), 6u + 14u) << "one image";
        const ResourceItem* icon = tree.Find(kResourceIcon, Load16(&group->data[6 + 12]));
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->data.size(), 744u);
        EXPECT_NE(tree.Find(5, 110), nullptr) << "the progress dialog";
    }
}

// The laid-out bytes walked here by hand, not with the tool's reader.
TEST(ResourceSection, LayoutReadsBackFieldByField) {
    constexpr uint32_t kRva = 0x7000;
    ResourceTree tree;
    tree.Put(Item(kResourceManifest, 1, kLanguageEnglishUs, {'<', 'x', '/', '>', '\n'}));
    tree.Put(Item(kResourceBitmap, 111, 0x0407, std::vector<uint8_t>(7, 0xB7)));
    tree.Put(Item(kResourceBitmap, 111, kLanguageEnglishUs, std::vector<uint8_t>(9, 0xB9)));
    ResourceItem named = Item(0, 1, kLanguageEnglishUs, {1, 2, 3});
    named.type = {true, 0, u"PNG"};
    tree.Put(named);
    const std::vector<uint8_t> bytes = LayOutResourceSection(tree, kRva);

    auto entryAt = [&](uint32_t table, uint32_t i) { return table + 16 + 8 * i; };
    // Root: one named type, then the numbered ones ascending.
    EXPECT_EQ(Load32(&bytes[0]), 0u) << "Characteristics";
    EXPECT_EQ(Load32(&bytes[4]), 0u) << "TimeDateStamp";
    EXPECT_EQ(Load16(&bytes[12]), 1u) << "named entries";
    EXPECT_EQ(Load16(&bytes[14]), 2u) << "numbered entries";
    const uint32_t nameField = Load32(&bytes[entryAt(0, 0)]);
    ASSERT_TRUE(nameField & 0x80000000u);
    const uint32_t nameAt = nameField & 0x7FFFFFFF;
    EXPECT_EQ(Load16(&bytes[nameAt]), 3u);
    EXPECT_EQ(std::string({char(bytes[nameAt + 2]), char(bytes[nameAt + 4]), char(bytes[nameAt + 6])}), "PNG");
    EXPECT_EQ(Load32(&bytes[entryAt(0, 1)]), kResourceBitmap);
    EXPECT_EQ(Load32(&bytes[entryAt(0, 2)]), kResourceManifest);

    // Bitmap -> 111 -> two languages, ascending, each a data entry.
    const uint32_t bitmapNames = Load32(&bytes[entryAt(0, 1) + 4]);
    ASSERT_TRUE(bitmapNames & 0x80000000u) << "a subtable";
    const uint32_t names = bitmapNames & 0x7FFFFFFF;
    EXPECT_EQ(Load16(&bytes[names + 12]), 0u);
    ASSERT_EQ(Load16(&bytes[names + 14]), 1u);
    EXPECT_EQ(Load32(&bytes[entryAt(names, 0)]), 111u);
    const uint32_t languages = Load32(&bytes[entryAt(names, 0) + 4]) & 0x7FFFFFFF;
    ASSERT_EQ(Load16(&bytes[languages + 14]), 2u);
    const std::pair<uint32_t, uint8_t> expected[] = {{0x0407, 0xB7}, {kLanguageEnglishUs, 0xB9}};
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(Load32(&bytes[entryAt(languages, i)]), expected[i].first);
        const uint32_t data = Load32(&bytes[entryAt(languages, i) + 4]);
        ASSERT_FALSE(data & 0x80000000u) << "the last level points at data entries";
        const uint32_t rva = Load32(&bytes[data]);
        const uint32_t size = Load32(&bytes[data + 4]);
        EXPECT_EQ(Load32(&bytes[data + 8]), 1252u) << "code page";
        EXPECT_EQ(Load32(&bytes[data + 12]), 0u) << "reserved";
        EXPECT_EQ(rva % 8, 0u) << "data on 8-byte boundaries";
        ASSERT_GE(rva, kRva);
        ASSERT_LE(rva - kRva + size, bytes.size());
        EXPECT_EQ(size, expected[i].second == 0xB7 ? 7u : 9u);
        EXPECT_EQ(bytes[rva - kRva], expected[i].second);
        EXPECT_EQ(bytes[rva - kRva + size - 1], expected[i].second);
    }

    // And the tool's reader gives the same tree back, in directory order.
    const ResourceTree back = ParseResourceSection(bytes, kRva, "laid out");
    ASSERT_EQ(back.items.size(), 4u);
    EXPECT_EQ(back.items[0].type.name, u"PNG");
    EXPECT_EQ(back.items[1].language, ResourceId::Number(0x0407));
    EXPECT_EQ(back.items[3].data, tree.Find(kResourceManifest, 1)->data);
    EXPECT_EQ(LayOutResourceSection(back, kRva), bytes) << "equal trees, equal bytes";
}

TEST(ResourceSection, RealStubsTreeLaysOutAndReadsBackTheSame) {
    for (const char* path : kRealStubs) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> stub = ReadFile(path);
        const PeImage image = ParsePeImage(stub, path);
        const ResourceTree tree = TreeOf(stub, image);
        const uint32_t rva = Named(image, ".rsrc").virtualAddress;
        const ResourceTree back = ParseResourceSection(LayOutResourceSection(tree, rva), rva, "laid out");
        ASSERT_EQ(back.items.size(), tree.items.size());
        for (size_t i = 0; i < tree.items.size(); ++i) {
            EXPECT_EQ(back.items[i].type, tree.items[i].type);
            EXPECT_EQ(back.items[i].name, tree.items[i].name);
            EXPECT_EQ(back.items[i].language, tree.items[i].language);
            EXPECT_EQ(back.items[i].codePage, tree.items[i].codePage);
            EXPECT_EQ(back.items[i].data, tree.items[i].data);
        }
    }
}

// Every header fact that depends on the resource section, after it grew
// past the relocation section (which must then move) or shrank. The 32-bit
// stub's relocations follow its resources; x86-64 code may have nothing to
// relocate, and where the twin has no .reloc its resources end the image.
void ExpectSoundImage(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, const ResourceTree& tree) {
    const PeImage old = ParsePeImage(before, "before");
    const PeImage image = ParsePeImage(after, "after");
    const PeSection& rsrc = Named(image, ".rsrc");
    EXPECT_EQ(rsrc.virtualAddress, Named(old, ".rsrc").virtualAddress) << "the resources keep their RVA";
    EXPECT_EQ(rsrc.pointerToRawData, Named(old, ".rsrc").pointerToRawData);
    EXPECT_EQ(image.directories[kResourceDirectory].address, rsrc.virtualAddress);
    EXPECT_EQ(image.directories[kResourceDirectory].size, rsrc.virtualSize);
    EXPECT_EQ(rsrc.sizeOfRawData, AlignUp(rsrc.virtualSize, image.fileAlignment));
    for (size_t i = 1; i < image.sections.size(); ++i) {
        const PeSection& prior = image.sections[i - 1];
        EXPECT_EQ(image.sections[i].virtualAddress, AlignUp(prior.virtualAddress + prior.virtualSize, image.sectionAlignment))
            << image.sections[i].name << " adjacent in memory";
    }
    if (const PeSection* oldReloc = Find(old, ".reloc")) {
        const PeSection& reloc = Named(image, ".reloc");
        EXPECT_EQ(reloc.pointerToRawData, rsrc.pointerToRawData + rsrc.sizeOfRawData) << "moved in the file";
        EXPECT_TRUE(std::equal(after.begin() + reloc.pointerToRawData,
                               after.begin() + reloc.pointerToRawData + reloc.sizeOfRawData,
                               before.begin() + oldReloc->pointerToRawData));
        EXPECT_EQ(image.directories[kRelocationDirectory].address,
                  old.directories[kRelocationDirectory].address - oldReloc->virtualAddress + reloc.virtualAddress);
        EXPECT_EQ(image.directories[kRelocationDirectory].size, old.directories[kRelocationDirectory].size);
        EXPECT_EQ(image.sizeOfImage, AlignUp(reloc.virtualAddress + reloc.virtualSize, image.sectionAlignment));
    } else {
        EXPECT_EQ(&rsrc, &image.sections.back()) << "the resources end the image";
        EXPECT_EQ(image.directories[kRelocationDirectory].size, 0u);
        EXPECT_EQ(image.sizeOfImage, AlignUp(rsrc.virtualAddress + rsrc.virtualSize, image.sectionAlignment));
    }
    EXPECT_EQ(image.sizeOfInitializedData,
              old.sizeOfInitializedData + rsrc.sizeOfRawData - Named(old, ".rsrc").sizeOfRawData);
    EXPECT_EQ(after.size(), before.size() + rsrc.sizeOfRawData - Named(old, ".rsrc").sizeOfRawData);
    EXPECT_EQ(image.checkSum, ReferenceCheckSum(after, image.CheckSumOffset()));
    const ResourceTree back = TreeOf(after, image);
    ASSERT_EQ(back.items.size(), tree.items.size());
    for (const ResourceItem& item : tree.items) {
        const ResourceItem* found = back.Find(item.type.number, item.name.number);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->data, item.data);
    }
}

TEST(ResourceSection, GrowingPastTheRelocationsMovesThemInBothStubs) {
    ASSERT_NE(Find(ParsePeImage(ReadFile(VESK_REAL_STUB), "stub"), ".reloc"), nullptr) << "32-bit code is relocated";
    for (const char* path : kRealStubs) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> stub = ReadFile(path);
        const PeImage image = ParsePeImage(stub, path);
        ResourceTree tree = TreeOf(stub, image);
        tree.Put(Item(kResourceBitmap, 111, kLanguageEnglishUs, std::vector<uint8_t>(393320, 0x11)));
        const std::vector<uint8_t> after = ReplaceResourceSection(stub, image, tree, path);
        if (const PeSection* reloc = Find(image, ".reloc")) {
            EXPECT_GT(Named(ParsePeImage(after, "after"), ".reloc").virtualAddress, reloc->virtualAddress);
        }
        ExpectSoundImage(stub, after, tree);
    }
}

TEST(ResourceSection, ShrinkingBringsTheRelocationsCloser) {
    for (const char* path : kRealStubs) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> stub = ReadFile(path);
        const PeImage image = ParsePeImage(stub, path);
        ResourceTree tree = TreeOf(stub, image);
        tree.Remove(kResourceBitmap, 111);
        const std::vector<uint8_t> after = ReplaceResourceSection(stub, image, tree, path);
        if (const PeSection* reloc = Find(image, ".reloc")) {
            EXPECT_LT(Named(ParsePeImage(after, "after"), ".reloc").virtualAddress, reloc->virtualAddress);
        }
        ExpectSoundImage(stub, after, tree);
    }
}

TEST(ResourceSection, AnotherDirectoryInTheSectionThatWouldMoveIsRefused) {
    std::vector<uint8_t> stub = ReadFile(VESK_REAL_STUB);
    PeImage image = ParsePeImage(stub, "stub");
    // Pretend the exception directory lives in .reloc: code may point there.
    Store32(&stub[image.DataDirectoryOffset(3)], Named(image, ".reloc").virtualAddress);
    Store32(&stub[image.DataDirectoryOffset(3) + 4], 8);
    image = ParsePeImage(stub, "stub");
    ResourceTree tree = TreeOf(stub, image);
    tree.Put(Item(kResourceBitmap, 111, kLanguageEnglishUs, std::vector<uint8_t>(100000, 0x11)));
    try {
        ReplaceResourceSection(stub, image, tree, "stub");
        FAIL() << "moved a section that a data directory points into";
    } catch (const Failure& failure) {
        EXPECT_NE(std::string(failure.what()).find("section .reloc follows the resources"), std::string::npos) << failure.what();
    }
}

// Hand-made hostile directories: each is one Failure, never a crash or a
// tree without end.
TEST(ResourceSection, MalformedDirectoriesAreRefused) {
    auto table = [](std::vector<uint8_t>& b, uint32_t at, uint16_t count) {
        if (b.size() < at + 16 + 8 * count) b.resize(at + 16 + 8 * count);
        Store32(&b[at + 12], uint32_t{count} << 16);
    };
    auto entry = [](std::vector<uint8_t>& b, uint32_t table, uint32_t i, uint32_t id, uint32_t target) {
        Store32(&b[table + 16 + 8 * i], id);
        Store32(&b[table + 20 + 8 * i], target);
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    {
        std::vector<uint8_t> b;  // type -> the root table again
        table(b, 0, 1);
        entry(b, 0, 0, 2, 0x80000000);
        cases.push_back({"reached twice", b});
    }
    {
        std::vector<uint8_t> b;  // data entry at the type level
        table(b, 0, 1);
        entry(b, 0, 0, 2, 24);
        b.resize(64);
        cases.push_back({"three levels", b});
    }
    {
        std::vector<uint8_t> b;  // three levels, data past the section
        table(b, 0, 1);
        entry(b, 0, 0, 2, 0x80000018);
        table(b, 24, 1);
        entry(b, 24, 0, 111, 0x80000030);
        table(b, 48, 1);
        entry(b, 48, 0, 0x409, 72);
        b.resize(88);
        Store32(&b[72], 0x1000 + 80);
        Store32(&b[76], 100);
        cases.push_back({"outside the section", b});
    }
    {
        std::vector<uint8_t> b;  // a name whose length runs past the end
        table(b, 0, 1);
        entry(b, 0, 0, 0x80000018, 0x80000018);
        b.resize(26);
        Store32(&b[24], 0x7FFF);
        cases.push_back({"entry name", b});
    }
    {
        std::vector<uint8_t> b(8);  // shorter than a table header
        cases.push_back({"directory table", b});
    }
    for (const Case& c : cases) {
        try {
            ParseResourceSection(c.bytes, 0x1000, "hostile");
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const Failure& failure) {
            EXPECT_NE(std::string(failure.what()).find(c.what), std::string::npos) << failure.what();
            EXPECT_EQ(std::string(failure.what()).find('\n'), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace vesk::test
