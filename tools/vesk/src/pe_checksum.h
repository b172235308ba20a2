// The PE header CheckSum: the 16-bit one's-complement sum of the file's
// little-endian words (the CheckSum field itself counted as zero), plus the
// file size. Fed in pieces of any length, in file order, so a file can be
// summed while it is streamed out.
#pragma once

#include <cstdint>
#include <span>

namespace vesk {

class PeChecksum {
public:
    void Add(std::span<const uint8_t> bytes);
    uint32_t Finish(uint64_t fileSize) const;

private:
    uint64_t sum_ = 0;
    bool odd_ = false;  // a byte waits for its high half
    uint8_t pending_ = 0;
};

}  // namespace vesk
