#include "pe_checksum.h"

#include <bit>
#include <cstring>

namespace vesk {

void PeChecksum::Add(std::span<const uint8_t> bytes) {
    size_t i = 0;
    if (odd_ && !bytes.empty()) {
        sum_ += pending_ | (uint32_t{bytes[0]} << 8);
        odd_ = false;
        i = 1;
    }
    // A plain sum folds to the same one's-complement value as folding after
    // every word, so the words are added four at a time: two 32-bit lanes
    // that each take a pair of words, emptied before they can overflow.
    static_assert(std::endian::native == std::endian::little);
    constexpr uint64_t kLowWords = 0x0000FFFF0000FFFFull;
    constexpr size_t kBlocksPerFold = 16384;
    while (bytes.size() - i >= 8) {
        uint64_t lanes = 0;
        for (size_t block = 0; block < kBlocksPerFold && bytes.size() - i >= 8; ++block, i += 8) {
            uint64_t word;
            std::memcpy(&word, bytes.data() + i, sizeof word);
            lanes += (word & kLowWords) + ((word >> 16) & kLowWords);
        }
        sum_ += (lanes & 0xFFFFFFFF) + (lanes >> 32);
    }
    for (; i + 1 < bytes.size(); i += 2) sum_ += bytes[i] | (uint32_t{bytes[i + 1]} << 8);
    if (i < bytes.size()) {
        pending_ = bytes[i];
        odd_ = true;
    }
}

uint32_t PeChecksum::Finish(uint64_t fileSize) const {
    uint64_t sum = sum_ + (odd_ ? pending_ : 0);
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + fileSize);
}

}  // namespace vesk
