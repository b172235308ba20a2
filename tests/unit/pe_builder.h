// Builds setup executables for tests: a PE32 image with sections (one of
// them usually `.VESK`) and the payload container that goes into it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/sha256.h"
#include "format/container_layout.h"
#include "sim/resources.h"

namespace pe_builder {

inline void PutWord(std::string& bytes, size_t at, uint16_t value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
}

inline void PutDword(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

inline std::string Dword(uint32_t value) {
    std::string bytes(4, '\0');
    PutDword(bytes, 0, value);
    return bytes;
}

// A string as the container stores it: with its terminating NUL.
inline std::string Stored(const std::string& text) { return text + std::string(1, '\0'); }

// CRC-32/ISO-HDLC, bit by bit: independent of the stub's table.
inline uint32_t Crc32(const std::string& data) {
    uint32_t r = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        r ^= byte;
        for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    }
    return ~r;
}

// A payload as stored: the data, then the CRC-32 of the data.
inline std::string Payload(const std::string& data) { return data + Dword(Crc32(data)); }

// Data bytes that differ from chunk to chunk, so a lost or repeated chunk shows.
inline std::string PatternBytes(size_t count) {
    std::string data(count, '\0');
    for (size_t i = 0; i < count; ++i) data[i] = char((i * 131 + i / 65536) & 0xFF);
    return data;
}

struct Container {
#define BUILDER_WORD(field, hex) uint32_t field = 0;
    CONTAINER_HEADER_FIELDS(BUILDER_WORD, BUILDER_WORD)
#undef BUILDER_WORD
    // Stored bytes, NULs included (see Stored): a test may break the rules.
    std::string productFileName = Stored("product.msi");
    std::string productCode = Stored("{11111111-2222-3333-4444-555555555555}");
    std::string productVersion = Stored("1.0.0");
    std::string transformBase = Stored("");
    uint8_t fontCharSet = 0;
    uint8_t fontPointSize = 8;
    std::string textBlock = Stored("MS Sans Serif") + Stored("Example") + Stored("Initializing");
    std::string skipped = Stored("");
    std::vector<std::string> texts = std::vector<std::string>(MESSAGE_COUNT, Stored(""));  // MessageId 4..9
    std::string payloads;  // the stored payloads, back to back

    static uint8_t Length(const std::string& bytes) {
        if (bytes.size() > 255) throw std::invalid_argument("a stored length is one byte");
        return uint8_t(bytes.size());
    }

    std::string Bytes() const {
        std::string out;
#define BUILDER_BYTES(field, hex) out += Dword(field);
        CONTAINER_HEADER_FIELDS(BUILDER_BYTES, BUILDER_BYTES)
#undef BUILDER_BYTES
        for (const auto* s : {&productFileName, &productCode, &productVersion, &transformBase})
            out += char(Length(*s));
        out += productFileName + productCode + productVersion + transformBase;
        out += char(fontCharSet);
        out += char(fontPointSize);
        out += char(Length(textBlock));
        out += char(Length(skipped));
        for (const auto& text : texts) out += char(Length(text));
        out += textBlock + skipped;
        for (const auto& text : texts) out += text;
        return out + payloads;
    }
};

struct Section {
    std::string name;      // up to 8 bytes
    std::string data;      // raw data
    uint32_t rawSize = 0;  // SizeOfRawData; 0 = the data's size rounded up to 512
};

struct Image {
    std::string bytes;
    std::vector<uint32_t> rawOffsets;  // PointerToRawData of each section
};

constexpr uint32_t kFileAlignment = 512;

inline uint32_t Align(uint32_t value) { return (value + kFileAlignment - 1) / kFileAlignment * kFileAlignment; }

constexpr uint16_t kPe32 = 0x10B;
constexpr uint16_t kPe32Plus = 0x20B;

// A PE32 image (i386) or, with magic kPe32Plus, a PE32+ image (x86-64):
// DOS header with e_lfanew = peOffset, file header, optional header with
// dataDirectories entries, the section table, then each section's raw data
// (file-aligned). Any other magic is written into a PE32 layout.
inline Image BuildImage(const std::vector<Section>& sections, uint32_t dataDirectories = 16,
                        uint32_t peOffset = 0x80, uint16_t magic = kPe32) {
    const uint32_t shift = magic == kPe32Plus ? 16 : 0;  // PE32+'s wider optional header
    uint32_t tableAt = peOffset + 120 + shift + 8 * dataDirectories;
    uint32_t headersEnd = Align(tableAt + 40 * uint32_t(sections.size()));
    Image image;
    image.bytes.assign(headersEnd, '\0');
    std::string& b = image.bytes;
    b[0] = 'M';
    b[1] = 'Z';
    PutDword(b, 60, peOffset);
    b.replace(peOffset, 4, std::string("PE\0\0", 4));
    PutWord(b, peOffset + 4, magic == kPe32Plus ? 0x8664 : 0x14C);
    PutWord(b, peOffset + 6, uint16_t(sections.size()));
    PutWord(b, peOffset + 20, uint16_t(96 + shift + 8 * dataDirectories));
    PutWord(b, peOffset + 24, magic);
    PutDword(b, peOffset + 116 + shift, dataDirectories);
    uint32_t at = headersEnd;
    for (size_t i = 0; i < sections.size(); ++i) {
        const Section& section = sections[i];
        uint32_t rawSize = section.rawSize ? section.rawSize : Align(uint32_t(section.data.size()));
        size_t header = tableAt + 40 * i;
        b.replace(header, section.name.size(), section.name);
        PutDword(b, header + 16, rawSize);
        PutDword(b, header + 20, at);
        std::string raw = section.data;
        raw.resize(rawSize, '\0');
        b += raw;
        image.rawOffsets.push_back(at);
        at += rawSize;
    }
    return image;
}

// A setup executable: .text, then .VESK holding the container (grown past
// the placeholder's 4096 bytes, so that it runs embedded), then .rsrc.
// With recordSize, the container's expected file size is the image's.
inline Image BuildSetup(const std::string& container, bool recordSize = true) {
    uint32_t rawSize = Align(uint32_t(container.size()));
    if (rawSize <= 4096) rawSize = 4096 + kFileAlignment;
    Image image = BuildImage({{".text", std::string(16, '\x90')},
                              {".VESK", container, rawSize},
                              {".rsrc", std::string(32, 'r')}});
    if (recordSize) PutDword(image.bytes, image.rawOffsets[1] + 8, uint32_t(image.bytes.size()));
    return image;
}

inline std::string Digest(const std::string& data) {
    Sha256 sha;
    Sha256Start(&sha);
    Sha256Add(&sha, reinterpret_cast<const uint8_t*>(data.data()), uint32_t(data.size()));
    std::string digest(SHA256_DIGEST_SIZE, '\0');
    Sha256Finish(&sha, reinterpret_cast<uint8_t*>(digest.data()));
    return digest;
}

// The SHA-256 of a stored payload's data (its bytes without the trailer).
inline std::string DataDigest(const std::string& stored) {
    return Digest(stored.size() >= 4 ? stored.substr(0, stored.size() - 4) : "");
}

// The running image's digest record, as vesk writes it: the head's digest
// and each stored payload's (container order). The file at the setup's
// path may then hold other bytes, as a swapped one does.
inline void MapDigestRecord(const std::string& head, const std::string& stored9X, const std::string& storedNT,
                            const std::string& storedProduct) {
    std::string unsized = head;  // the recorded file size counts as 0
    if (unsized.size() >= 12) unsized.replace(8, 4, 4, '\0');
    std::string record = Digest(unsized) + DataDigest(stored9X) + DataDigest(storedNT) + DataDigest(storedProduct);
    sim::ReplaceResource(10, DIGEST_RESOURCE_ID, std::vector<uint8_t>(record.begin(), record.end()));
}

// BuildSetup, with the container's digest record mapped as the image's.
inline Image BuildSetup(const Container& c, bool recordSize = true) {
    Image image = BuildSetup(c.Bytes(), recordSize);
    size_t headSize = c.Bytes().size() - c.payloads.size();
    std::string stored[3];
    size_t at = 0;
    uint32_t sizes[3] = {c.runtime9XSize, c.runtimeNTSize, c.productSize};
    for (int i = 0; i < 3; ++i) {
        stored[i] = c.payloads.substr(std::min(at, c.payloads.size()), sizes[i]);
        at += sizes[i];
    }
    MapDigestRecord(image.bytes.substr(image.rawOffsets[1], headSize), stored[0], stored[1], stored[2]);
    return image;
}

// A bare stub: a 4096-byte placeholder section, so the stub runs from a
// side INI file.
inline Image BuildSideFileStub() {
    return BuildImage({{".text", std::string(16, '\x90')},
                       {".VESK", std::string(1, '\x01'), 4096},
                       {".rsrc", std::string(32, 'r')}});
}

}  // namespace pe_builder
