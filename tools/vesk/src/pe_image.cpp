#include "pe_image.h"

#include <cstdio>

#include "byte_order.h"
#include "format/container_layout.h"
#include "escaped_text.h"
#include "failure.h"

namespace vesk {

namespace {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint32_t kOptionalHeaderBeforeDirectories = offsetof(PeOptionalHeader32, dataDirectory);  // PE32+: PE32PLUS_SHIFT more
constexpr uint32_t kMaxDirectories = 16;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// The machines a stub might be built for, named as people know them.
std::string MachineName(uint16_t machine) {
    switch (machine) {
        case 0x0000: return "no particular machine";
        case 0x01C0: return "ARM";
        case 0x01C4: return "ARMv7 Thumb-2";
        case 0x0200: return "Itanium";
        case 0xAA64: return "ARM64";
        case 0x5064: return "RISC-V 64";
        default: return "an unknown machine";
    }
}

uint32_t PlusShift(StubArch arch) { return arch == StubArch::X64 ? PE32PLUS_SHIFT : 0; }

}  // namespace

const char* ArchName(StubArch arch) { return arch == StubArch::X64 ? "x64" : "x86"; }

std::optional<StubArch> ArchNamed(std::string_view name) {
    for (StubArch arch : {StubArch::X86, StubArch::X64})
        if (name == ArchName(arch)) return arch;
    return std::nullopt;
}

uint32_t PeImage::CheckSumOffset() const {
    return peOffset + PE_OPTIONAL_FIELD(checkSum);
}
uint32_t PeImage::SizeOfInitializedDataOffset() const {
    return peOffset + PE_OPTIONAL_FIELD(sizeOfInitializedData);
}
uint32_t PeImage::SizeOfImageOffset() const {
    return peOffset + PE_OPTIONAL_FIELD(sizeOfImage);
}
uint32_t PeImage::PointerToSymbolTableOffset() const {
    return peOffset + PE_FILE_FIELD(pointerToSymbolTable);
}
uint32_t PeImage::DataDirectoryOffset(unsigned index) const {
    return peOffset + PE_DATA_DIRECTORIES_OFFSET + PlusShift(arch) + index * PE_DATA_DIRECTORY_SIZE;
}

PeImage ParsePeImage(std::span<const uint8_t> bytes, const std::string& input) {
    auto need = [&](uint64_t end, const char* what) {
        if (end > bytes.size() || end > VESK_HEADER_PROBE_SIZE)
            throw Failure(input, std::string(what) + " ends at byte " + std::to_string(end) +
                                     ", beyond the first " + std::to_string(VESK_HEADER_PROBE_SIZE) +
                                     " bytes the setup reads (or the file)");
    };
    if (bytes.size() < PE_DOS_HEADER_SIZE || bytes[0] != 'M' || bytes[1] != 'Z')
        throw Failure(input, "not a PE image (no MZ header)");
    PeImage image;
    image.peOffset = Load32(&bytes[PE_DOS_LFANEW_OFFSET]);
    const uint64_t h = image.peOffset;
    need(h + PE_DATA_DIRECTORIES_OFFSET, "PE header");
    const uint8_t* pe = &bytes[h];
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
        throw Failure(input, "not a PE image (no PE signature)");
    const uint16_t machine = Load16(pe + PE_FILE_FIELD(machine));
    const uint16_t magic = Load16(pe + PE_OPTIONAL_HEADER_MAGIC_OFFSET);
    if (machine == kMachineI386) {
        if (magic != PE32_MAGIC) throw Failure(input, "an i386 image without a PE32 optional header (magic " + Hex(magic) + ")");
    } else if (machine == kMachineAmd64) {
        if (magic != PE32PLUS_MAGIC) throw Failure(input, "an x86-64 image without a PE32+ optional header (magic " + Hex(magic) + ")");
        image.arch = StubArch::X64;
    } else {
        throw Failure(input, "built for " + MachineName(machine) + " (machine " + Hex(machine) +
                                 "); vesk takes i386 (PE32) and x86-64 (PE32+) stubs");
    }
    const uint32_t shift = PlusShift(image.arch);
    need(h + PE_DATA_DIRECTORIES_OFFSET + shift, "PE header");

    const uint16_t sectionCount = Load16(pe + PE_NUMBER_OF_SECTIONS_OFFSET);
    image.pointerToSymbolTable = Load32(pe + PE_FILE_FIELD(pointerToSymbolTable));
    const uint16_t optionalHeaderSize = Load16(pe + PE_FILE_FIELD(sizeOfOptionalHeader));
    image.sizeOfInitializedData = Load32(pe + PE_OPTIONAL_FIELD(sizeOfInitializedData));
    image.sectionAlignment = Load32(pe + PE_OPTIONAL_FIELD(sectionAlignment));
    image.fileAlignment = Load32(pe + PE_OPTIONAL_FIELD(fileAlignment));
    image.sizeOfImage = Load32(pe + PE_OPTIONAL_FIELD(sizeOfImage));
    image.sizeOfHeaders = Load32(pe + PE_OPTIONAL_FIELD(sizeOfHeaders));
    image.checkSum = Load32(pe + PE_OPTIONAL_FIELD(checkSum));
    image.numberOfRvaAndSizes = Load32(pe + PE_NUMBER_OF_RVA_AND_SIZES_OFFSET + shift);
    if (image.numberOfRvaAndSizes > kMaxDirectories)
        throw Failure(input, "not a PE image (" + std::to_string(image.numberOfRvaAndSizes) + " data directories)");
    if (optionalHeaderSize != kOptionalHeaderBeforeDirectories + shift + PE_DATA_DIRECTORY_SIZE * image.numberOfRvaAndSizes)
        throw Failure(input, "section table is not right after the data directories, where the setup looks for it");
    if (sectionCount == 0) throw Failure(input, "image has no sections");
    if (image.fileAlignment < 512 || image.fileAlignment > 65536 ||
        (image.fileAlignment & (image.fileAlignment - 1)) != 0)
        throw Failure(input, "FileAlignment " + std::to_string(image.fileAlignment) + " is not a power of two from 512 to 65536");

    const uint64_t table = h + PE_DATA_DIRECTORIES_OFFSET + shift + PE_DATA_DIRECTORY_SIZE * image.numberOfRvaAndSizes;
    image.headersEnd = static_cast<uint32_t>(table + PE_SECTION_HEADER_SIZE * uint64_t{sectionCount});
    need(image.headersEnd, "section table");
    for (unsigned i = 0; i < image.numberOfRvaAndSizes; ++i)
        image.directories.push_back({Load32(&bytes[image.DataDirectoryOffset(i) + offsetof(PeDataDirectory, virtualAddress)]),
                                     Load32(&bytes[image.DataDirectoryOffset(i) + offsetof(PeDataDirectory, size)])});
    if (image.numberOfRvaAndSizes > kCertificateDirectory) {
        image.certificateOffset = image.directories[kCertificateDirectory].address;
        image.certificateSize = image.directories[kCertificateDirectory].size;
    }
    if (image.numberOfRvaAndSizes > kDebugDirectory) image.debugDirectorySize = image.directories[kDebugDirectory].size;

    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint32_t at = static_cast<uint32_t>(table + PE_SECTION_HEADER_SIZE * i);
        const uint8_t* s = &bytes[at];
        PeSection section;
        size_t nameLength = 0;
        while (nameLength < sizeof(PeSectionHeader::name) && s[nameLength] != 0) ++nameLength;
        section.name.assign(reinterpret_cast<const char*>(s), nameLength);
        section.virtualSize = Load32(s + PE_SECTION_FIELD(virtualSize));
        section.virtualAddress = Load32(s + PE_SECTION_FIELD(virtualAddress));
        section.sizeOfRawData = Load32(s + PE_SECTION_FIELD(sizeOfRawData));
        section.pointerToRawData = Load32(s + PE_SECTION_FIELD(pointerToRawData));
        section.characteristics = Load32(s + PE_SECTION_FIELD(characteristics));
        section.headerOffset = at;
        // The setup compares the name as a NUL-terminated string: an
        // 8-byte name without a NUL never matches.
        if (image.payloadSection < 0 && nameLength < sizeof(PeSectionHeader::name) && section.name == VESK_SECTION_NAME)
            image.payloadSection = i;
        image.sections.push_back(section);
    }
    if (image.payloadSection < 0) throw Failure(input, "no " VESK_SECTION_NAME " section");
    return image;
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

uint64_t MappedEnd(const PeSection& s, uint32_t sectionAlignment) {
    return AlignUp(uint64_t{s.virtualAddress} + (s.virtualSize ? s.virtualSize : s.sizeOfRawData), sectionAlignment);
}

std::vector<std::string> LayoutProblems(const PeImage& image) {
    const uint32_t sa = image.sectionAlignment;
    if (sa < image.fileAlignment || (sa & (sa - 1)) != 0)
        return {"SectionAlignment " + Hex(sa) + " is not a power of two of at least FileAlignment"};
    std::vector<std::string> problems;
    uint64_t next = AlignUp(image.sizeOfHeaders, sa);
    for (size_t i = 0; i < image.sections.size(); ++i) {
        const PeSection& s = image.sections[i];
        if (s.virtualAddress != next)
            problems.push_back("section " + Escaped(s.name) + " lies at RVA " + Hex(s.virtualAddress) + ", not at " +
                               Hex(static_cast<uint32_t>(next)) + " where the one before it ends");
        next = MappedEnd(s, sa);
        if (i + 1 < image.sections.size() && s.sizeOfRawData > next - s.virtualAddress)
            problems.push_back("section " + Escaped(s.name) + " has " + Hex(s.sizeOfRawData) + " bytes of raw data for " +
                               Hex(static_cast<uint32_t>(next - s.virtualAddress)) +
                               " bytes of memory, with sections after it: a loader may lay them over those");
    }
    if (image.sizeOfImage != next)
        problems.push_back("SizeOfImage " + Hex(image.sizeOfImage) + " is not " + Hex(static_cast<uint32_t>(next)) +
                           ", where the last section ends");
    return problems;
}

std::vector<std::string> PartsPastEnd(const PeImage& image, uint64_t fileSize) {
    std::vector<std::string> problems;
    for (const PeSection& s : image.sections)
        if (uint64_t{s.pointerToRawData} + s.sizeOfRawData > fileSize)
            problems.push_back("section " + Escaped(s.name) + " raw data (" + Hex(s.pointerToRawData) + " + " +
                               Hex(s.sizeOfRawData) + ") run past the end of the file");
    if (image.certificateSize != 0 && uint64_t{image.certificateOffset} + image.certificateSize > fileSize)
        problems.push_back("certificate table runs past the end of the file");
    return problems;
}

}  // namespace vesk
