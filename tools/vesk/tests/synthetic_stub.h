// A small PE32 (i386) or PE32+ (x86-64) stub built in memory for the tests,
// so they need no Windows build: sections .text, .VESK (a 4096-byte
// placeholder) and .rsrc (a resource directory of one bitmap), each with
// recognisable bytes, optionally followed by a certificate table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace vesk::test {

struct StubShape {
    bool certificate = false;
    uint32_t fileAlignment = 0x200;
    uint32_t dataDirectories = 16;
    uint32_t extraSections = 0;  // blank sections added to grow the header
    bool vesk = true;
    bool x64 = false;      // PE32+ for x86-64
    uint16_t machine = 0;  // another machine type in the file header, when not 0
};

std::vector<uint8_t> BuildStub(const StubShape& shape = {});
void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::filesystem::path& path);

// Where the synthetic stub puts things.
inline constexpr uint32_t kStubPeOffset = 0x80;
inline constexpr uint32_t kStubRsrcRva = 0x3000;
inline constexpr uint8_t kTextFill = 0xC3;
inline constexpr uint8_t kRsrcFill = 0x5A;
inline constexpr uint32_t kCertificateSize = 0x100;

// The CheckSum as Microsoft's ChkSum computes it, one word at a time with
// the carry folded back each time; independent of the tool's own summing.
uint32_t ReferenceCheckSum(std::vector<uint8_t> file, uint32_t checkSumOffset);

}  // namespace vesk::test
