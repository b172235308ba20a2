#include "pe_rewrite.h"

#include <algorithm>

#include "byte_order.h"
#include "format/container_layout.h"
#include "escaped_text.h"
#include "failure.h"

namespace vesk {

namespace {

// What moving `.VESK` needs of the stub beyond a sound layout: a section
// before it to take its place, a size to map, and nothing that points into
// it by RVA.
void RequireMovable(const PeImage& image, const std::string& input) {
    const size_t index = static_cast<size_t>(image.payloadSection);
    const PeSection& vesk = image.sections[index];
    if (index == 0) throw Failure(input, VESK_SECTION_NAME " is the first section; no section can take its place");
    if (vesk.virtualSize == 0)
        throw Failure(input, VESK_SECTION_NAME " has VirtualSize 0, which would map the whole container");
    const uint64_t end = MappedEnd(vesk, image.sectionAlignment);
    for (unsigned i = 0; i < image.directories.size(); ++i) {
        const PeDirectory& d = image.directories[i];
        if (i != kCertificateDirectory && d.size != 0 && d.address >= vesk.virtualAddress && d.address < end)
            throw Failure(input, "data directory " + std::to_string(i) + " points into " VESK_SECTION_NAME
                                 ", which pack moves");
    }
}

}  // namespace

PeRewrite PlanPeRewrite(const std::vector<uint8_t>& stub, const PeImage& image, uint64_t containerSize,
                        const std::string& input) {
    if (auto problems = LayoutProblems(image); !problems.empty()) throw Failure(input, problems[0]);
    RequireMovable(image, input);
    const size_t payload = static_cast<size_t>(image.payloadSection);
    const PeSection& vesk = image.sections[payload];
    const uint64_t rawStart = vesk.pointerToRawData;
    const uint64_t oldEnd = rawStart + vesk.sizeOfRawData;
    if (rawStart % image.fileAlignment != 0 || oldEnd % image.fileAlignment != 0)
        throw Failure(input, VESK_SECTION_NAME " raw data are not aligned to FileAlignment");
    if (rawStart < image.headersEnd) throw Failure(input, VESK_SECTION_NAME " raw data overlap the headers");
    if (image.debugDirectorySize != 0)
        throw Failure(input, "has a debug directory, whose file offsets would go stale (link the stub with -s)");

    PeRewrite plan;
    plan.head.assign(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(rawStart));
    plan.checkSumOffset = image.CheckSumOffset();
    auto storeAt = [&](uint32_t offset, uint64_t value) {
        Store32(plan.head.data() + offset, static_cast<uint32_t>(value));
    };
    ByteRange dropped{};
    if (image.certificateSize != 0) {
        if (image.certificateOffset < oldEnd)
            throw Failure(input, "certificate table lies before the end of " VESK_SECTION_NAME);
        dropped = {image.certificateOffset, image.certificateSize};
        storeAt(image.DataDirectoryOffset(kCertificateDirectory) + offsetof(PeDataDirectory, virtualAddress), 0);
        storeAt(image.DataDirectoryOffset(kCertificateDirectory) + offsetof(PeDataDirectory, size), 0);
    }
    if (dropped.size == 0) {
        plan.tail.push_back({oldEnd, stub.size() - oldEnd});
    } else {
        plan.tail.push_back({oldEnd, dropped.offset - oldEnd});
        plan.tail.push_back({dropped.offset + dropped.size, stub.size() - dropped.offset - dropped.size});
    }
    uint64_t tailEnd = rawStart;
    for (const ByteRange& r : plan.tail) tailEnd += r.size;
    plan.containerOffset = AlignUp(tailEnd, image.fileAlignment);
    plan.padding = plan.containerOffset - tailEnd;
    // Always more than the placeholder size: a small container in a section
    // of 4096 bytes or less would read as side-file mode.
    plan.payloadRawSize = static_cast<uint32_t>(
        AlignUp(std::max<uint64_t>(containerSize, VESK_PLACEHOLDER_SIZE + 1), image.fileAlignment));
    plan.fileSize = plan.containerOffset + plan.payloadRawSize;

    // The section table is rewritten in its new order: every other section
    // as it was, `.VESK` last.
    const uint32_t sa = image.sectionAlignment;
    const uint32_t table = image.sections.front().headerOffset;
    uint32_t slot = table;
    auto place = [&](const PeSection& s) {
        std::copy_n(stub.begin() + s.headerOffset, PE_SECTION_HEADER_SIZE, plan.head.begin() + slot);
        slot += PE_SECTION_HEADER_SIZE;
        return slot - PE_SECTION_HEADER_SIZE;
    };
    for (size_t i = 0; i < image.sections.size(); ++i) {
        const PeSection& s = image.sections[i];
        if (i == payload) continue;
        const uint32_t at = place(s);
        if (i + 1 == payload)  // the section before `.VESK` covers its old place
            storeAt(at + PE_SECTION_FIELD(virtualSize), MappedEnd(vesk, sa) - s.virtualAddress);
        if (s.sizeOfRawData == 0) continue;
        if (s.pointerToRawData >= oldEnd)
            storeAt(at + PE_SECTION_FIELD(pointerToRawData), s.pointerToRawData - vesk.sizeOfRawData);
        else if (uint64_t{s.pointerToRawData} + s.sizeOfRawData > rawStart)
            throw Failure(input, "section " + Escaped(s.name) + " overlaps the raw data of " VESK_SECTION_NAME);
    }
    const uint64_t newAddress = MappedEnd(image.sections.back(), sa);
    const uint32_t at = place(vesk);
    storeAt(at + PE_SECTION_FIELD(virtualAddress), newAddress);
    storeAt(at + PE_SECTION_FIELD(sizeOfRawData), plan.payloadRawSize);
    storeAt(at + PE_SECTION_FIELD(pointerToRawData), plan.containerOffset);
    storeAt(image.SizeOfImageOffset(), AlignUp(newAddress + vesk.virtualSize, sa));
    if (vesk.characteristics & kSectionInitializedData)
        storeAt(image.SizeOfInitializedDataOffset(),
                image.sizeOfInitializedData + plan.payloadRawSize - vesk.sizeOfRawData);
    if (image.pointerToSymbolTable >= oldEnd)
        storeAt(image.PointerToSymbolTableOffset(), image.pointerToSymbolTable - vesk.sizeOfRawData);
    storeAt(plan.checkSumOffset, 0);
    return plan;
}

}  // namespace vesk
