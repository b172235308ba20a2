#include "pe_rewrite.h"

#include "byte_order.h"
#include "container/layout.h"
#include "escaped_text.h"
#include "failure.h"

namespace vesk {

namespace {

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

}  // namespace

PeRewrite PlanPeRewrite(const std::vector<uint8_t>& stub, const PeImage& image, uint64_t containerSize,
                        const std::string& input) {
    const PeSection& vesk = image.sections[static_cast<size_t>(image.payloadSection)];
    const uint64_t rawStart = vesk.pointerToRawData;
    const uint64_t oldEnd = rawStart + vesk.sizeOfRawData;
    if (rawStart % image.fileAlignment != 0 || oldEnd % image.fileAlignment != 0)
        throw Failure(input, VESK_SECTION_NAME " raw data are not aligned to FileAlignment");
    if (rawStart < image.headersEnd) throw Failure(input, VESK_SECTION_NAME " raw data overlap the headers");
    if (image.debugDirectorySize != 0)
        throw Failure(input, "has a debug directory, whose file offsets would go stale (link the stub with -s)");

    // Always more than the placeholder size: a small container in a section
    // of 4096 bytes or less would read as side-file mode.
    const uint64_t newSize = AlignUp(std::max<uint64_t>(containerSize, VESK_PLACEHOLDER_SIZE + 1), image.fileAlignment);
    const int64_t delta = static_cast<int64_t>(newSize) - static_cast<int64_t>(vesk.sizeOfRawData);

    PeRewrite plan;
    plan.head.assign(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(rawStart));
    plan.payloadRawSize = static_cast<uint32_t>(newSize);
    plan.checkSumOffset = image.CheckSumOffset();
    auto storeAt = [&](uint32_t offset, uint32_t value) { Store32(plan.head.data() + offset, value); };

    for (size_t i = 0; i < image.sections.size(); ++i) {
        const PeSection& s = image.sections[i];
        if (static_cast<int>(i) == image.payloadSection || s.sizeOfRawData == 0) continue;
        const uint64_t start = s.pointerToRawData;
        const uint64_t end = start + s.sizeOfRawData;
        if (start >= oldEnd) {
            storeAt(s.headerOffset + PE_SECTION_POINTER_TO_RAW_DATA, static_cast<uint32_t>(start + delta));
        } else if (end > rawStart) {
            throw Failure(input, "section " + Escaped(s.name) + " overlaps the raw data of " VESK_SECTION_NAME);
        }
    }
    storeAt(vesk.headerOffset + PE_SECTION_SIZE_OF_RAW_DATA, plan.payloadRawSize);
    if (vesk.characteristics & kSectionInitializedData)
        storeAt(image.SizeOfInitializedDataOffset(), static_cast<uint32_t>(image.sizeOfInitializedData + delta));
    if (image.pointerToSymbolTable >= oldEnd)
        storeAt(image.PointerToSymbolTableOffset(), static_cast<uint32_t>(image.pointerToSymbolTable + delta));
    storeAt(plan.checkSumOffset, 0);

    ByteRange dropped{};
    if (image.certificateSize != 0) {
        if (image.certificateOffset < oldEnd)
            throw Failure(input, "certificate table lies before the end of " VESK_SECTION_NAME);
        dropped = {image.certificateOffset, image.certificateSize};
        storeAt(image.DataDirectoryOffset(kCertificateDirectory), 0);
        storeAt(image.DataDirectoryOffset(kCertificateDirectory) + 4, 0);
    }
    if (dropped.size == 0) {
        plan.tail.push_back({oldEnd, stub.size() - oldEnd});
    } else {
        plan.tail.push_back({oldEnd, dropped.offset - oldEnd});
        plan.tail.push_back({dropped.offset + dropped.size, stub.size() - dropped.offset - dropped.size});
    }
    plan.fileSize = rawStart + newSize;
    for (const ByteRange& r : plan.tail) plan.fileSize += r.size;
    return plan;
}

}  // namespace vesk
