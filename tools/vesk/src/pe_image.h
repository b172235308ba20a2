// The facts of a PE32 (i386) or PE32+ (x86-64) image that packing and
// reading a setup need, taken from its headers. The setup's own lookup reads
// only the first 1536 bytes and expects the section table right after the
// data directories, so an image that breaks either is refused here too.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

struct PeSection {
    std::string name;
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t sizeOfRawData = 0;
    uint32_t pointerToRawData = 0;
    uint32_t characteristics = 0;
    uint32_t headerOffset = 0;  // file offset of its 40-byte section header
};

struct PeDirectory {
    uint32_t address = 0;  // an RVA, but a file offset for the certificate table
    uint32_t size = 0;
};

enum class StubArch { X86, X64 };

struct PeImage {
    uint32_t peOffset = 0;  // H, the DOS header's e_lfanew
    StubArch arch = StubArch::X86;  // i386 in PE32 or x86-64 in PE32+
    uint32_t fileAlignment = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t sizeOfInitializedData = 0;
    uint32_t checkSum = 0;
    uint32_t pointerToSymbolTable = 0;
    uint32_t numberOfRvaAndSizes = 0;
    uint32_t certificateOffset = 0;  // data directory 4 holds a file offset
    uint32_t certificateSize = 0;
    uint32_t debugDirectorySize = 0;
    uint32_t sectionAlignment = 0;
    uint32_t sizeOfImage = 0;
    std::vector<PeDirectory> directories;  // as many as NumberOfRvaAndSizes says
    uint32_t headersEnd = 0;  // end of the section table
    std::vector<PeSection> sections;
    int payloadSection = -1;  // index of the first `.VESK`, -1 when none

    uint32_t CheckSumOffset() const;
    uint32_t SizeOfInitializedDataOffset() const;
    uint32_t SizeOfImageOffset() const;
    uint32_t PointerToSymbolTableOffset() const;
    uint32_t DataDirectoryOffset(unsigned index) const;
};

// "x86" or "x64": the names `vesk pack --arch` and the Arch key take.
const char* ArchName(StubArch arch);
// The arch of that name; none for any other text.
std::optional<StubArch> ArchNamed(std::string_view name);

inline constexpr unsigned kCertificateDirectory = 4;
inline constexpr unsigned kDebugDirectory = 6;
inline constexpr unsigned kResourceDirectory = 2;
inline constexpr unsigned kRelocationDirectory = 5;
inline constexpr uint32_t kSectionInitializedData = 0x00000040;

// headerBytes: the file's first bytes (at least as many as the headers
// take, up to the probe size). Throws Failure(input, ...).
PeImage ParsePeImage(std::span<const uint8_t> headerBytes, const std::string& input);

uint64_t AlignUp(uint64_t value, uint32_t alignment);
// Where a section ends in memory: its VirtualSize (SizeOfRawData when that
// is 0, as loaders take it) rounded up to SectionAlignment.
uint64_t MappedEnd(const PeSection& section, uint32_t sectionAlignment);

// Breaches of the layout loaders hold an image to, one line each: sections
// in table order at ascending, adjacent RVAs from the headers' end on,
// SizeOfImage where the last one ends, and raw data longer than a section's
// place in memory only in the last section, where a loader that lays them
// all into memory covers no other section.
std::vector<std::string> LayoutProblems(const PeImage& image);

// Section raw data and a certificate table that the file does not hold,
// one line each. A section of no raw data counts too: its offset is still
// where a reader would start.
std::vector<std::string> PartsPastEnd(const PeImage& image, uint64_t fileSize);

}  // namespace vesk
