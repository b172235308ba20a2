#include "payload_copy.h"

#include <zlib.h>

#include <vector>

#include "failure.h"
#include "progress_bar.h"

namespace vesk {

namespace {

constexpr size_t kChunkSize = 1 << 20;

}  // namespace

uint32_t CopyWithCrc(const InputFile& in, uint64_t offset, uint64_t count, OutputFile* out,
                     const std::string& label) {
    std::vector<uint8_t> chunk(kChunkSize);
    ProgressBar progress(label, count);
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t done = 0;
    while (done < count) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize, count - done));
        size_t got = in.ReadAt(offset + done, std::span(chunk.data(), want));
        if (got < want)
            throw Failure(in.Name(), "ends after " + std::to_string(offset + done + got) + " bytes, expected " +
                                         std::to_string(offset + count) + " (was it changed while read?)");
        crc = crc32(crc, chunk.data(), static_cast<uInt>(got));
        if (out) out->Write(std::span(chunk.data(), got));
        done += got;
        progress.Update(done);
    }
    return static_cast<uint32_t>(crc);
}

}  // namespace vesk
