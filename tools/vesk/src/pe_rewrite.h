// How a stub becomes a setup: the container goes into `.VESK`, whose raw
// data grow (file-aligned) to hold it while its VirtualSize stays; the raw
// data of later sections move and their RVAs stay; a certificate table is
// dropped, since no signature would match the new file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe_image.h"

namespace vesk {

struct ByteRange {
    uint64_t offset = 0;
    uint64_t size = 0;
};

struct PeRewrite {
    // The stub's bytes before `.VESK`'s raw data, headers updated and the
    // CheckSum field zeroed.
    std::vector<uint8_t> head;
    uint32_t payloadRawSize = 0;     // new SizeOfRawData of `.VESK`
    std::vector<ByteRange> tail;     // stub bytes copied after `.VESK`, in order
    uint64_t fileSize = 0;           // of the setup
    uint32_t checkSumOffset = 0;
};

// stub: the whole stub file. Throws Failure(input, ...) for a stub that
// cannot be rewritten soundly.
PeRewrite PlanPeRewrite(const std::vector<uint8_t>& stub, const PeImage& image, uint64_t containerSize,
                        const std::string& input);

}  // namespace vesk
