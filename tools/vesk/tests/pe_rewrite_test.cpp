// The stub's PE image after pack: .VESK moves last in the section table, in
// memory and in the file; the other sections keep their RVAs, the resources
// keep the stub's and gain a version resource, the certificate table goes,
// the CheckSum is right.
#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

#include "byte_order.h"
#include "failure.h"
#include "pack.h"
#include "pe_checksum.h"
#include "resource_tree.h"
#include "setup_file.h"
#include "tool_test_support.h"

namespace vesk::test {
namespace {

const char* const kIdentity =
    "ProductCode={6F2C1A44-3B7E-4D2A-9C51-0E8B7A9D4F10}\nProductVersion=1.0\nProductName=Sample\n";

class PeRewrite : public ToolTest {
protected:
    // Packs a product of productSize bytes into a stub of the given shape;
    // returns the failure message, empty on success.
    std::string PackInto(const StubShape& shape, size_t productSize = 20000,
                         const std::function<void(std::vector<uint8_t>&)>& change = {}) {
        WriteFakeMsi("product.msi", productSize);
        WriteText("settings.ini", std::string("[VeskInstaller]\nProductFile=product.msi\n") + kIdentity);
        stub_ = BuildStub(shape);
        if (change) change(stub_);
        WriteFile(Path("stub.exe"), stub_);
        PackOptions options;
        options.request.settingsFile = Path("settings.ini");
        options.output = Path("setup.exe");
        options.stub = Path("stub.exe");
        try {
            Pack(options);
        } catch (const Failure& failure) {
            return failure.what();
        }
        setup_ = ReadFile(Path("setup.exe"));
        return "";
    }

    PeImage Image(const std::vector<uint8_t>& file) const {
        return ParsePeImage(file, "image");
    }

    const PeSection& Section(const PeImage& image, const std::string& name) const {
        for (const PeSection& s : image.sections)
            if (s.name == name) return s;
        throw std::runtime_error("no section " + name);
    }

    std::vector<uint8_t> RawData(const std::vector<uint8_t>& file, const PeSection& s) const {
        return std::vector<uint8_t>(file.begin() + s.pointerToRawData,
                                    file.begin() + s.pointerToRawData + s.sizeOfRawData);
    }

    // The stub's one bitmap is in the setup's resources, beside a version and the digest record.
    void ExpectStubResourcesKept(const PeSection& before, const PeSection& after) const {
        const ResourceTree stubTree = ParseResourceSection(RawData(stub_, before), before.virtualAddress, "stub");
        const ResourceTree setupTree = ParseResourceSection(RawData(setup_, after), after.virtualAddress, "setup");
        ASSERT_NE(setupTree.Find(kResourceBitmap, 111), nullptr);
        EXPECT_EQ(setupTree.Find(kResourceBitmap, 111)->data, stubTree.Find(kResourceBitmap, 111)->data);
        EXPECT_NE(setupTree.Find(kResourceVersion, 1), nullptr);
        EXPECT_NE(setupTree.Find(kResourceData, DIGEST_RESOURCE_ID), nullptr);
        EXPECT_EQ(setupTree.items.size(), 3u);
    }

    std::vector<uint8_t> stub_;
    std::vector<uint8_t> setup_;
};

TEST_F(PeRewrite, SectionAfterVeskKeepsItsRvaAndResources) {
    ASSERT_EQ(PackInto({}), "");
    const PeImage before = Image(stub_);
    const PeImage after = Image(setup_);
    const PeSection& rsrcBefore = Section(before, ".rsrc");
    const PeSection& rsrcAfter = Section(after, ".rsrc");
    EXPECT_EQ(rsrcAfter.virtualAddress, rsrcBefore.virtualAddress);
    EXPECT_EQ(rsrcAfter.virtualSize, after.directories[kResourceDirectory].size);
    ExpectStubResourcesKept(rsrcBefore, rsrcAfter);
    EXPECT_EQ(rsrcAfter.pointerToRawData, Section(before, ".VESK").pointerToRawData)
        << "the raw data move up by the placeholder's size";
}

// No loader can lay the container over another section: .VESK is the last
// section in the table, in memory and in the file, and the section before
// it takes its old place, so the sections stay adjacent.
TEST_F(PeRewrite, PayloadSectionMovesLast) {
    for (bool x64 : {false, true}) {
        ASSERT_EQ(PackInto({.x64 = x64}), "");
        const PeImage before = Image(stub_);
        const PeImage after = Image(setup_);
        const PeSection& vesk = after.sections.back();
        ASSERT_EQ(vesk.name, ".VESK");
        EXPECT_EQ(after.payloadSection, static_cast<int>(after.sections.size()) - 1);
        EXPECT_EQ(vesk.virtualAddress, Section(before, ".rsrc").virtualAddress + 0x1000) << "after the last section";
        EXPECT_EQ(vesk.virtualSize, Section(before, ".VESK").virtualSize) << "VirtualSize stays";
        EXPECT_EQ(after.sizeOfImage, vesk.virtualAddress + 0x1000);
        EXPECT_EQ(Section(after, ".text").virtualSize, 0x2000u) << ".text covers the old place of .VESK";
        EXPECT_EQ(RawData(setup_, Section(after, ".text")), RawData(stub_, Section(before, ".text")));
        EXPECT_EQ(Section(after, ".text").pointerToRawData, Section(before, ".text").pointerToRawData);
        EXPECT_EQ(setup_.size(), uint64_t{vesk.pointerToRawData} + vesk.sizeOfRawData) << "the container ends the file";
        EXPECT_EQ(vesk.pointerToRawData % after.fileAlignment, 0u);
        EXPECT_EQ(LayoutProblems(after), std::vector<std::string>{});
    }
}

// What moving .VESK needs of a stub; anything else is refused by name.
TEST_F(PeRewrite, StubsThatCannotMoveTheirPayloadSectionAreRefused) {
    auto put = [](std::vector<uint8_t>& stub, uint32_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) stub[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    auto header = [](const std::vector<uint8_t>& stub, int index) {
        return ParsePeImage(stub, "stub").sections[static_cast<size_t>(index)].headerOffset;
    };
    const struct {
        std::function<void(std::vector<uint8_t>&)> change;
        const char* problem;
    } cases[] = {
        {[&](auto& stub) { put(stub, ParsePeImage(stub, "stub").SizeOfImageOffset(), 0x5000); }, "SizeOfImage 0x5000"},
        {[&](auto& stub) { put(stub, header(stub, 1) + 8, 0); }, "VirtualSize 0"},
        {[&](auto& stub) {
             put(stub, ParsePeImage(stub, "stub").DataDirectoryOffset(1), 0x2000);
             put(stub, ParsePeImage(stub, "stub").DataDirectoryOffset(1) + 4, 40);
         }, "data directory 1 points into .VESK"},
    };
    for (const auto& c : cases) {
        const std::string problem = PackInto({}, 20000, c.change);
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
    }
}

TEST_F(PeRewrite, SizeOfInitializedDataFollowsTheSections) {
    ASSERT_EQ(PackInto({}), "");
    const PeImage before = Image(stub_);
    const PeImage after = Image(setup_);
    const uint32_t growth = Section(after, ".VESK").sizeOfRawData - Section(before, ".VESK").sizeOfRawData +
                            Section(after, ".rsrc").sizeOfRawData - Section(before, ".rsrc").sizeOfRawData;
    EXPECT_EQ(after.sizeOfInitializedData, before.sizeOfInitializedData + growth);
}

TEST_F(PeRewrite, CheckSumMatchesAnIndependentComputation) {
    ASSERT_EQ(PackInto({}), "");
    const PeImage after = Image(setup_);
    EXPECT_EQ(after.checkSum, ReferenceCheckSum(setup_, after.CheckSumOffset()));
}

TEST_F(PeRewrite, CheckSumOfAnOddSizedFile) {
    std::vector<uint8_t> odd = BuildStub();
    odd.push_back(0x77);
    const uint32_t offset = Image(odd).CheckSumOffset();
    WriteFile(Path("odd.exe"), odd);
    InputFile file(Path("odd.exe"));
    EXPECT_EQ(ComputeFileCheckSum(file, offset), ReferenceCheckSum(odd, offset));
}

TEST_F(PeRewrite, CheckSumFedInOddPiecesOfAllOnesMatches) {
    // All-ones words fill the summing lanes fastest; odd piece sizes split
    // words between calls.
    std::vector<uint8_t> file(300001, 0xFF);
    PeChecksum sum;
    for (size_t at = 0, piece = 1; at < file.size(); at += piece, piece = piece * 3 % 70001 + 1)
        sum.Add(std::span(file).subspan(at, std::min(piece, file.size() - at)));
    std::vector<uint8_t> withField = file;
    withField.insert(withField.begin(), 4, 0);  // a zero CheckSum field at offset 0 adds nothing
    EXPECT_EQ(sum.Finish(withField.size()), ReferenceCheckSum(withField, 0));
}

TEST_F(PeRewrite, CertificateTableIsDroppedWithItsBytes) {
    ASSERT_EQ(PackInto({.certificate = true}), "");
    const PeImage after = Image(setup_);
    EXPECT_EQ(after.certificateOffset, 0u);
    EXPECT_EQ(after.certificateSize, 0u);
    const PeSection& vesk = Section(after, ".VESK");
    EXPECT_EQ(setup_.size(), uint64_t{vesk.pointerToRawData} + vesk.sizeOfRawData) << "nothing after the container";
}

// PE32+ keeps its data directories 16 bytes later: the certificate entry
// cleared must be its own, and the rest follows as for PE32.
TEST_F(PeRewrite, Pe32PlusStubIsRewrittenTheSameWay) {
    ASSERT_EQ(PackInto({.certificate = true, .x64 = true}), "");
    const PeImage before = Image(stub_);
    const PeImage after = Image(setup_);
    EXPECT_EQ(after.arch, StubArch::X64);
    EXPECT_EQ(after.certificateOffset, 0u);
    EXPECT_EQ(after.certificateSize, 0u);
    const uint32_t resourceDirectory = after.DataDirectoryOffset(2);
    EXPECT_EQ(Load32(&setup_[resourceDirectory]), kStubRsrcRva) << "the resource directory entry is kept";
    const PeSection& rsrc = Section(after, ".rsrc");
    EXPECT_EQ(rsrc.virtualAddress, Section(before, ".rsrc").virtualAddress);
    ExpectStubResourcesKept(Section(before, ".rsrc"), rsrc);
    const PeSection& vesk = Section(after, ".VESK");
    EXPECT_EQ(setup_.size(), uint64_t{vesk.pointerToRawData} + vesk.sizeOfRawData) << "nothing after the container";
    EXPECT_EQ(after.checkSum, ReferenceCheckSum(setup_, after.CheckSumOffset()));
}

TEST_F(PeRewrite, SmallContainerStillReadsAsEmbedded) {
    ASSERT_EQ(PackInto({}, 64), "");
    EXPECT_GT(Section(Image(setup_), ".VESK").sizeOfRawData, 4096u)
        << "4096 bytes or less would be taken for the side-file placeholder";
}

TEST_F(PeRewrite, LargerFileAlignmentIsKept) {
    ASSERT_EQ(PackInto({.fileAlignment = 0x1000}), "");
    const PeImage after = Image(setup_);
    for (const PeSection& s : after.sections) EXPECT_EQ(s.pointerToRawData % 0x1000, 0u) << s.name;
    EXPECT_EQ(Section(after, ".VESK").sizeOfRawData % 0x1000, 0u);
}

TEST_F(PeRewrite, HeadersBeyondTheFirst1536BytesAreRefused) {
    std::string problem = PackInto({.extraSections = 30});
    EXPECT_NE(problem.find("1536"), std::string::npos) << problem;
    EXPECT_FALSE(std::filesystem::exists(Path("setup.exe")));
}

TEST_F(PeRewrite, StubWithoutVeskSectionIsRefused) {
    std::string problem = PackInto({.vesk = false});
    EXPECT_NE(problem.find("no .VESK section"), std::string::npos) << problem;
}

TEST_F(PeRewrite, SetupReachingTwoGibibytesIsRefusedBeforeWriting) {
    WriteFakeMsi("product.msi", 16);
    // Sparse: nothing is read before the size is refused.
    ASSERT_EQ(truncate(Path("product.msi").c_str(), (1LL << 31) - 64), 0);
    WriteText("settings.ini", std::string("[VeskInstaller]\nProductFile=product.msi\n") + kIdentity);
    PackOptions options;
    options.request.settingsFile = Path("settings.ini");
    options.output = Path("setup.exe");
    options.stub = WriteStub();
    try {
        Pack(options);
        FAIL() << "packed a setup of 2 GiB";
    } catch (const Failure& failure) {
        EXPECT_NE(std::string(failure.what()).find("below 2 GiB"), std::string::npos) << failure.what();
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"product.msi", "settings.ini", "stub.exe"}));
}

}  // namespace
}  // namespace vesk::test
