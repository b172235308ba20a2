// How a stub becomes a setup: `.VESK` moves to the end of the image, last
// in the section table, in memory and in the file, and its raw data grow
// (file-aligned) to hold the container while its VirtualSize stays. Raw data
// longer than a section's place in memory are then past every other section,
// so no loader can lay the container over one. The section before `.VESK`
// takes its old place in memory, so the sections stay adjacent and keep
// their RVAs; the raw data of later sections move up in the file; a
// certificate table is dropped, since no signature would match the new file.
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

// The setup is written as head, tail, padding zeros, then `.VESK`'s raw
// data: the container and its fill.
struct PeRewrite {
    // The stub's bytes before `.VESK`'s raw data, headers updated and the
    // CheckSum field zeroed.
    std::vector<uint8_t> head;
    std::vector<ByteRange> tail;     // stub bytes copied after the head, in order
    uint64_t padding = 0;            // zeros that align the container
    uint64_t containerOffset = 0;    // new PointerToRawData of `.VESK`
    uint32_t payloadRawSize = 0;     // new SizeOfRawData of `.VESK`
    uint64_t fileSize = 0;           // of the setup
    uint32_t checkSumOffset = 0;
};

// stub: the whole stub file. Throws Failure(input, ...) for a stub that
// cannot be rewritten soundly.
PeRewrite PlanPeRewrite(const std::vector<uint8_t>& stub, const PeImage& image, uint64_t containerSize,
                        const std::string& input);

}  // namespace vesk
