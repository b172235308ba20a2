#include "resource_section.h"

#include <algorithm>

#include "byte_order.h"
#include "format/container_layout.h"
#include "failure.h"
#include "pe_checksum.h"

namespace vesk {

namespace {

constexpr uint32_t kRelocationPage = 0x1000;

bool Inside(uint32_t rva, const PeSection& s, uint32_t sectionAlignment) {
    return rva >= s.virtualAddress && rva < AlignUp(uint64_t{s.virtualAddress} + s.virtualSize, sectionAlignment);
}

// A section may move in memory only when nothing but the relocation
// directory points into it (the relocations themselves hold no RVA of their
// own section) and no relocation applies at or above the resources.
void RequireMovable(const std::vector<uint8_t>& stub, const PeImage& image, const PeSection& s,
                    uint32_t resourcesRva, const std::string& input) {
    const std::string refusal = "section " + s.name + " follows the resources in memory and cannot move for their growth: ";
    for (unsigned i = 0; i < image.directories.size(); ++i) {
        const PeDirectory& d = image.directories[i];
        if (i == kCertificateDirectory || d.size == 0 || i == kRelocationDirectory) continue;
        if (Inside(d.address, s, image.sectionAlignment))
            throw Failure(input, refusal + "data directory " + std::to_string(i) + " points into it");
    }
    if (image.directories.size() <= kRelocationDirectory) return;
    const PeDirectory& relocations = image.directories[kRelocationDirectory];
    if (relocations.size == 0 || !Inside(relocations.address, s, image.sectionAlignment)) return;
    const uint64_t start = uint64_t{s.pointerToRawData} + (relocations.address - s.virtualAddress);
    if (start + relocations.size > uint64_t{s.pointerToRawData} + s.sizeOfRawData || start + relocations.size > stub.size())
        throw Failure(input, refusal + "its relocations run past its raw data");
    for (uint64_t at = start; at + sizeof(PeRelocationBlock) <= start + relocations.size;) {
        const uint32_t page = Load32(&stub[at + offsetof(PeRelocationBlock, pageRva)]);
        const uint32_t blockSize = Load32(&stub[at + offsetof(PeRelocationBlock, blockSize)]);
        if (blockSize < sizeof(PeRelocationBlock)) throw Failure(input, refusal + "a relocation block is shorter than its header");
        if (uint64_t{page} + kRelocationPage > resourcesRva)
            throw Failure(input, refusal + "relocations apply at or above the resources");
        at += blockSize;
    }
}

}  // namespace

int FindResourceSection(const PeImage& image, const std::string& input) {
    if (image.directories.size() <= kResourceDirectory || image.directories[kResourceDirectory].size == 0) return -1;
    const uint32_t rva = image.directories[kResourceDirectory].address;
    for (size_t i = 0; i < image.sections.size(); ++i)
        if (image.sections[i].virtualAddress == rva && image.sections[i].sizeOfRawData != 0) return static_cast<int>(i);
    throw Failure(input, "the resource directory does not begin at the start of a section");
}

ResourceTree ReadResources(std::span<const uint8_t> rawData, const PeImage& image, int index, const std::string& input) {
    const PeSection& s = image.sections[static_cast<size_t>(index)];
    return ParseResourceSection(rawData.first(std::min<size_t>(rawData.size(), s.sizeOfRawData)), s.virtualAddress, input);
}

std::vector<uint8_t> ReplaceResourceSection(const std::vector<uint8_t>& stub, const PeImage& image,
                                            const ResourceTree& tree, const std::string& input) {
    const int index = FindResourceSection(image, input);
    if (index < 0) throw Failure(input, "has no resource section for the splash, icon, version and manifest");
    if (image.sectionAlignment == 0 || (image.sectionAlignment & (image.sectionAlignment - 1)) != 0)
        throw Failure(input, "SectionAlignment " + std::to_string(image.sectionAlignment) + " is not a power of two");
    const PeSection& resources = image.sections[static_cast<size_t>(index)];
    const PeSection& vesk = image.sections[static_cast<size_t>(image.payloadSection)];
    const uint64_t oldStart = resources.pointerToRawData;
    const uint64_t oldEnd = oldStart + resources.sizeOfRawData;
    if (oldStart < uint64_t{vesk.pointerToRawData} + vesk.sizeOfRawData)
        throw Failure(input, "the resource section lies before " VESK_SECTION_NAME "; vesk rebuilds it only after");
    if (oldEnd > stub.size()) throw Failure(input, "the resource section runs past the end of the file");

    const std::vector<uint8_t> bytes = LayOutResourceSection(tree, resources.virtualAddress);
    const uint64_t newRaw = AlignUp(bytes.size(), image.fileAlignment);
    const int64_t rawDelta = static_cast<int64_t>(newRaw) - resources.sizeOfRawData;
    const uint32_t sa = image.sectionAlignment;
    const int64_t vaDelta = static_cast<int64_t>(AlignUp(uint64_t{resources.virtualAddress} + bytes.size(), sa)) -
                            static_cast<int64_t>(AlignUp(uint64_t{resources.virtualAddress} + resources.virtualSize, sa));
    if (stub.size() + rawDelta > CONTAINER_MAX_FILE_SIZE) throw Failure(input, "the resources make the stub too large");

    std::vector<uint8_t> out(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(oldStart));
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize(oldStart + newRaw);
    out.insert(out.end(), stub.begin() + static_cast<std::ptrdiff_t>(oldEnd), stub.end());
    auto store = [&](uint32_t offset, uint64_t value) { Store32(&out[offset], static_cast<uint32_t>(value)); };

    for (const PeSection& s : image.sections) {
        if (&s == &resources) continue;
        if (s.sizeOfRawData != 0 && s.pointerToRawData >= oldEnd) {
            store(s.headerOffset + PE_SECTION_FIELD(pointerToRawData), s.pointerToRawData + rawDelta);
        } else if (s.sizeOfRawData != 0 && uint64_t{s.pointerToRawData} + s.sizeOfRawData > oldStart) {
            throw Failure(input, "section " + s.name + " overlaps the raw data of the resource section");
        }
        if (s.virtualAddress > resources.virtualAddress && vaDelta != 0) {
            RequireMovable(stub, image, s, resources.virtualAddress, input);
            store(s.headerOffset + PE_SECTION_FIELD(virtualAddress), s.virtualAddress + vaDelta);
            if (image.directories.size() > kRelocationDirectory &&
                Inside(image.directories[kRelocationDirectory].address, s, sa))
                store(image.DataDirectoryOffset(kRelocationDirectory) + offsetof(PeDataDirectory, virtualAddress), image.directories[kRelocationDirectory].address + vaDelta);
        }
    }
    store(resources.headerOffset + PE_SECTION_FIELD(virtualSize), bytes.size());
    store(resources.headerOffset + PE_SECTION_FIELD(sizeOfRawData), newRaw);
    store(image.DataDirectoryOffset(kResourceDirectory) + offsetof(PeDataDirectory, size), bytes.size());
    store(image.SizeOfImageOffset(), image.sizeOfImage + vaDelta);
    if (resources.characteristics & kSectionInitializedData)
        store(image.SizeOfInitializedDataOffset(), image.sizeOfInitializedData + rawDelta);
    if (image.certificateSize != 0) {
        if (image.certificateOffset < oldEnd) throw Failure(input, "certificate table lies before the end of the resources");
        store(image.DataDirectoryOffset(kCertificateDirectory), image.certificateOffset + rawDelta);
    }
    if (image.pointerToSymbolTable >= oldEnd) store(image.PointerToSymbolTableOffset(), image.pointerToSymbolTable + rawDelta);

    store(image.CheckSumOffset(), 0);
    PeChecksum sum;
    sum.Add(out);
    store(image.CheckSumOffset(), sum.Finish(out.size()));
    return out;
}

}  // namespace vesk
