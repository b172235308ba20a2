// Streams a payload's data in fixed-size chunks, so memory stays the same
// whatever the payload's size, and computes its CRC-32 (and, when asked, its
// SHA-256) on the way.
#pragma once

#include <cstdint>
#include <string>

#include "format/sha256.h"
#include "input_file.h"
#include "output_file.h"

namespace vesk {

// Copies count bytes of in from offset to out (or nowhere, when out is
// null) and returns their CRC-32; digest, when given, receives their SHA-256.
// Failure when in ends early.
uint32_t CopyWithCrc(const InputFile& in, uint64_t offset, uint64_t count, OutputFile* out,
                     const std::string& label, uint8_t* digest = nullptr);

}  // namespace vesk
