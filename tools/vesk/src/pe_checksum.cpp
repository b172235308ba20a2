#include "pe_checksum.h"

namespace vesk {

void PeChecksum::Add(std::span<const uint8_t> bytes) {
    size_t i = 0;
    if (odd_ && !bytes.empty()) {
        sum_ += pending_ | (uint32_t{bytes[0]} << 8);
        odd_ = false;
        i = 1;
    }
    // A plain sum folds to the same one's-complement value as folding after
    // every word, and 64 bits cannot overflow below 2^48 words.
    uint64_t sum = 0;
    for (; i + 1 < bytes.size(); i += 2) sum += bytes[i] | (uint32_t{bytes[i + 1]} << 8);
    sum_ += sum;
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
