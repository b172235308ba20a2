#include "synthetic_stub.h"

#include <fstream>
#include <iterator>
#include <string>

namespace vesk::test {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct SectionSpec {
    std::string name;
    uint32_t rva;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t characteristics;
    uint8_t fill;
};

// A resource directory of one bitmap, 111 in US English, whose 32 data
// bytes are the section's own fill that follows the directory.
void PutResourceDirectory(std::vector<uint8_t>& file, size_t at) {
    for (uint32_t table : {0u, 24u, 48u}) {
        for (uint32_t i = 0; i < 24; ++i) file[at + table + i] = 0;
        Put16(file, at + table + 14, 1);
    }
    Put32(file, at + 16, 2);
    Put32(file, at + 20, 0x80000000 | 24);
    Put32(file, at + 24 + 16, 111);
    Put32(file, at + 24 + 20, 0x80000000 | 48);
    Put32(file, at + 48 + 16, 0x409);
    Put32(file, at + 48 + 20, 72);
    Put32(file, at + 72, kStubRsrcRva + 88);
    Put32(file, at + 76, 32);
    Put32(file, at + 80, 0);
    Put32(file, at + 84, 0);
}

}  // namespace

std::vector<uint8_t> BuildStub(const StubShape& shape) {
    const uint32_t align = shape.fileAlignment;
    std::vector<SectionSpec> sections = {
        {".text", 0x1000, 0x180, align, 0x60000020, kTextFill},
        {shape.vesk ? ".VESK" : ".data", 0x2000, 0x1000, 0x1000, 0x40000040, 0},
        {".rsrc", kStubRsrcRva, 0x240, align, 0x40000040, kRsrcFill}};
    for (uint32_t i = 0; i < shape.extraSections; ++i)
        sections.push_back({".x" + std::to_string(i), 0x4000 + 0x1000 * i, 0, 0, 0x40000040, 0});

    const uint32_t dirs = shape.x64 ? 112 : 96;  // data directories, from the optional header
    const uint32_t optionalSize = dirs + 8 * shape.dataDirectories;
    const uint32_t tableAt = kStubPeOffset + 24 + optionalSize;
    const uint32_t headersEnd = tableAt + 40 * static_cast<uint32_t>(sections.size());
    const uint32_t sizeOfHeaders = (headersEnd + align - 1) / align * align;

    std::vector<uint8_t> file(sizeOfHeaders);
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 60, kStubPeOffset);
    const size_t h = kStubPeOffset;
    file[h] = 'P';
    file[h + 1] = 'E';
    Put16(file, h + 4, shape.machine ? shape.machine : shape.x64 ? 0x8664 : 0x014C);
    Put16(file, h + 6, static_cast<uint16_t>(sections.size()));
    Put16(file, h + 20, static_cast<uint16_t>(optionalSize));
    Put16(file, h + 22, 0x0102);
    const size_t o = h + 24;
    Put16(file, o, shape.x64 ? 0x020B : 0x010B);
    Put32(file, o + 4, align);          // SizeOfCode
    Put32(file, o + 8, 0x1000 + align);  // SizeOfInitializedData
    Put32(file, o + 16, 0x1000);         // AddressOfEntryPoint
    if (shape.x64) {
        Put32(file, o + 24, 0x40000000);  // ImageBase 0x140000000, 64 bits
        Put32(file, o + 28, 0x1);
    } else {
        Put32(file, o + 28, 0x400000);
    }
    Put32(file, o + 32, 0x1000);
    Put32(file, o + 36, align);
    Put16(file, o + 48, 4);
    Put32(file, o + 56, 0x4000 + 0x1000 * shape.extraSections);  // SizeOfImage
    Put32(file, o + 60, sizeOfHeaders);
    Put16(file, o + 68, 2);  // GUI
    Put32(file, o + dirs - 4, shape.dataDirectories);
    if (shape.dataDirectories > 2) {
        Put32(file, o + dirs + 16, kStubRsrcRva);  // resource directory
        Put32(file, o + dirs + 20, 0x240);
    }

    for (size_t i = 0; i < sections.size(); ++i) {
        const SectionSpec& s = sections[i];
        const size_t at = tableAt + 40 * i;
        for (size_t c = 0; c < s.name.size(); ++c) file[at + c] = static_cast<uint8_t>(s.name[c]);
        Put32(file, at + 8, s.virtualSize);
        Put32(file, at + 12, s.rva);
        Put32(file, at + 16, s.rawSize);
        Put32(file, at + 20, s.rawSize ? static_cast<uint32_t>(file.size()) : 0);
        Put32(file, at + 36, s.characteristics);
        for (uint32_t b = 0; b < s.rawSize; ++b) file.push_back(static_cast<uint8_t>(s.fill + b % 7));
        if (s.rva == kStubRsrcRva) PutResourceDirectory(file, file.size() - s.rawSize);
    }
    if (shape.certificate && shape.dataDirectories > 4) {
        Put32(file, o + dirs + 32, static_cast<uint32_t>(file.size()));
        Put32(file, o + dirs + 36, kCertificateSize);
        file.insert(file.end(), kCertificateSize, 0xCE);
    }
    Put32(file, o + 64, ReferenceCheckSum(file, static_cast<uint32_t>(o + 64)));
    return file;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t ReferenceCheckSum(std::vector<uint8_t> file, uint32_t checkSumOffset) {
    for (uint32_t i = 0; i < 4; ++i) file[checkSumOffset + i] = 0;
    const size_t size = file.size();
    if (size % 2) file.push_back(0);
    uint32_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2) {
        sum += file[i] | (file[i + 1] << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<uint32_t>(size);
}

}  // namespace vesk::test
