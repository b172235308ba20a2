// The setup's SHA-256 compiled as the stub compiles it (benchmarks/CMakeLists.txt).
#pragma once

#include <stdint.h>

extern const char kStubFlags[];
// Digests count chunks of size bytes each, all the same chunk.
void DigestChunksWithStubFlags(const uint8_t* chunk, uint32_t size, uint64_t count, uint8_t* digest);
