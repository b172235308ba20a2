// Extraction throughput: a 256 MiB payload copied out through the stub's
// real ExtractPayload (against the simulator's files, which are host files)
// beside a plain 64 KiB read+write copy of the same bytes, in the same run;
// then as a run extracts it, read back and checked against its SHA-256
// (ExtractHeldFile), and the SHA-256 alone, built as the stub builds it.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "format/sha256.h"
#include "container/extract.h"
#include "sha256_stub_flags.h"
#include "sim/files.h"
#include "sim/resources.h"
#include "sim/sim.h"

namespace {

constexpr size_t kDataBytes = 256u << 20;
constexpr int kRounds = 7;
constexpr const char* kContainer = "C:\\Setup\\setup.exe";
constexpr const char* kOutput = "C:\\Out\\product.msi";

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

uint32_t Crc32(const std::string& data) {
    uint32_t r = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        r ^= byte;
        for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
    }
    return ~r;
}

double ExtractOnce(bool held) {
    HFILE container = _lopen(kContainer, OF_READ);
    g_run.containerFile = container;
    sim::files::Remove(kOutput);
    auto start = Clock::now();
    HANDLE out = CreateNewFile(kOutput);
    int result;
    if (held) {
        HANDLE hold;
        result = ExtractHeldFile(out, kOutput, LONG(kDataBytes + 4), DIGEST_PRODUCT, &hold);
        CloseHandle(hold);
    } else {
        result = ExtractPayload(out, LONG(kDataBytes + 4));
        CloseHandle(out);
    }
    double seconds = Seconds(start);
    _lclose(container);
    if (result != EXTRACTED) {
        std::fprintf(stderr, "extraction failed\n");
        std::exit(1);
    }
    return seconds;
}

double CopyOnce(const std::string& from, const std::string& to) {
    std::vector<char> buffer(WORK_BUFFER_SIZE);
    int in = open(from.c_str(), O_RDONLY);
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    auto start = Clock::now();
    size_t left = kDataBytes;
    while (left) {
        ssize_t got = read(in, buffer.data(), left < buffer.size() ? left : buffer.size());
        if (got <= 0 || write(out, buffer.data(), size_t(got)) != got) break;
        left -= size_t(got);
    }
    double seconds = Seconds(start);
    close(in);
    close(out);
    return seconds;
}

// The CRC alone over the same amount of data, to show where the time goes.
double CrcOnce(const std::vector<BYTE>& chunk) {
    auto start = Clock::now();
    UpdateCRC(nullptr, 0);
    for (size_t done = 0; done < kDataBytes; done += chunk.size()) UpdateCRC(chunk.data(), DWORD(chunk.size()));
    return Seconds(start);
}

// The SHA-256 alone, compiled with the stub's optimisation for size.
double DigestOnce(const std::vector<BYTE>& chunk) {
    auto start = Clock::now();
    uint8_t digest[SHA256_DIGEST_SIZE];
    DigestChunksWithStubFlags(chunk.data(), uint32_t(chunk.size()), kDataBytes / chunk.size(), digest);
    return Seconds(start);
}

}  // namespace

int main() {
    sim::Reset();
    std::string data(kDataBytes, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char((i * 131 + i / 65536) & 0xFF);
    uint32_t crc = Crc32(data);
    Sha256 sha;
    Sha256Start(&sha);
    Sha256Add(&sha, reinterpret_cast<const uint8_t*>(data.data()), uint32_t(data.size()));
    std::vector<uint8_t> record(DIGEST_RECORD_SIZE);
    Sha256Finish(&sha, record.data() + DIGEST_PRODUCT * DIGEST_SIZE);
    sim::ReplaceResource(10, DIGEST_RESOURCE_ID, record);
    for (int i = 0; i < 4; ++i) data += char((crc >> (8 * i)) & 0xFF);
    sim::files::Put(kContainer, data);
    sim::files::MakeDirectory("C:\\Out");
    data.clear();
    data.shrink_to_fit();

    if (!BuildCrcTable()) return 1;
    std::vector<BYTE> workBuffer(WORK_BUFFER_SIZE);
    g_run.workBuffer = workBuffer.data();

    std::string from = sim::files::HostPath(kContainer);
    std::string to = sim::files::HostPath("C:\\Out\\plain.bin");
    double bestCopy = 1e9, bestExtract = 1e9, bestCrc = 1e9, bestHeld = 1e9, bestDigest = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        bestCopy = std::min(bestCopy, CopyOnce(from, to));
        bestExtract = std::min(bestExtract, ExtractOnce(false));
        bestCrc = std::min(bestCrc, CrcOnce(workBuffer));
        bestHeld = std::min(bestHeld, ExtractOnce(true));
        bestDigest = std::min(bestDigest, DigestOnce(workBuffer));
    }
    double megabytes = double(kDataBytes) / (1024.0 * 1024.0);
    double copyRate = megabytes / bestCopy;
    double extractRate = megabytes / bestExtract;
    std::printf("payload          %.0f MiB, best of %d rounds\n", megabytes, kRounds);
    std::printf("plain copy       %8.1f MiB/s\n", copyRate);
    std::printf("ExtractPayload   %8.1f MiB/s\n", extractRate);
    std::printf("UpdateCRC alone  %8.1f MiB/s\n", megabytes / bestCrc);
    std::printf("ratio            %8.2f (extraction / plain copy)\n", extractRate / copyRate);
    std::printf("ExtractHeldFile  %8.1f MiB/s (extraction, read back, SHA-256)\n", megabytes / bestHeld);
    std::printf("SHA-256 alone    %8.1f MiB/s (%s)\n", megabytes / bestDigest, kStubFlags);
    return 0;
}
