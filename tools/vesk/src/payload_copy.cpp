#include "payload_copy.h"

#include <zlib.h>

#include <array>
#include <future>
#include <vector>

#include "failure.h"
#include "progress_bar.h"

namespace vesk {

namespace {

constexpr size_t kChunkSize = 1 << 20;

}  // namespace

uint32_t CopyWithCrc(const InputFile& in, uint64_t offset, uint64_t count, OutputFile* out,
                     const std::string& label, uint8_t* digest) {
    // Two chunks in turn: while a second thread sums one (CRC-32 and the
    // output's checksum), this one writes it and reads the next, so the
    // sums cost no time where a core is free.
    std::array<std::vector<uint8_t>, 2> chunks = {std::vector<uint8_t>(kChunkSize), std::vector<uint8_t>(kChunkSize)};
    ProgressBar progress(label, count);
    uLong crc = crc32(0L, Z_NULL, 0);
    Sha256 sha;
    Sha256Start(&sha);
    auto read = [&](uint64_t done, std::vector<uint8_t>& chunk) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize, count - done));
        const size_t got = in.ReadAt(offset + done, std::span(chunk.data(), want));
        if (got < want)
            throw Failure(in.Name(), "ends after " + std::to_string(offset + done + got) + " bytes, expected " +
                                         std::to_string(offset + count) + " (was it changed while read?)");
        return std::span<const uint8_t>(chunk.data(), got);
    };
    std::span<const uint8_t> current = count ? read(0, chunks[0]) : std::span<const uint8_t>();
    for (uint64_t done = 0; done < count; ) {
        auto summing = std::async(std::launch::async, [&crc, &sha, digest, out, current] {
            crc = crc32(crc, current.data(), static_cast<uInt>(current.size()));
            if (digest) Sha256Add(&sha, current.data(), static_cast<uint32_t>(current.size()));
            if (out) out->Sum(current);
        });
        if (out) out->WriteUnsummed(current);
        done += current.size();
        const std::span<const uint8_t> next = done < count ? read(done, chunks[done / kChunkSize % 2]) : current;
        summing.get();
        current = next;
        progress.Update(done);
    }
    if (digest) Sha256Finish(&sha, digest);
    return static_cast<uint32_t>(crc);
}

}  // namespace vesk
