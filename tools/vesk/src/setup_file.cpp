#include "setup_file.h"

#include <algorithm>

#include "byte_order.h"
#include "failure.h"
#include "pe_checksum.h"

namespace vesk {

namespace {

constexpr size_t kChunkSize = 1 << 20;

}  // namespace

SetupFile OpenSetup(const std::filesystem::path& path) {
    SetupFile setup;
    setup.file = std::make_unique<InputFile>(path);
    const InputFile& file = *setup.file;
    std::vector<uint8_t> probe(std::min<uint64_t>(file.Size(), VESK_HEADER_PROBE_SIZE));
    probe.resize(file.ReadAt(0, probe));
    setup.image = ParsePeImage(probe, file.Name());

    const PeSection& section = setup.PayloadSection();
    setup.embedded = section.sizeOfRawData > VESK_PLACEHOLDER_SIZE;
    setup.containerOffset = section.pointerToRawData;
    if (!setup.embedded) return setup;

    std::vector<uint8_t> headBytes(std::min<size_t>(section.sizeOfRawData, kMaxHeadSize));
    headBytes.resize(file.ReadAt(setup.containerOffset, headBytes));
    setup.head = DecodeContainerHead(headBytes, file.Name());

    const ContainerHeader& h = setup.head->header;
    uint64_t offset = setup.containerOffset + setup.head->size;
    for (size_t i = 0; i < kPayloads.size(); ++i) {
        const uint32_t storedSize = h.*kPayloads[i].storedSize;
        if (storedSize == 0) continue;
        setup.payloads.push_back({static_cast<PayloadId>(i), offset, storedSize});
        offset += storedSize;
    }
    return setup;
}

std::optional<std::string> PayloadExtentProblem(const SetupFile& setup, const PayloadInfo& p) {
    const std::string name = std::string(NamesOf(p.id).name) + " payload";
    const uint64_t end = p.offset + p.storedSize;
    const uint64_t sectionEnd = setup.containerOffset + setup.PayloadSection().sizeOfRawData;
    if (p.storedSize < PAYLOAD_TRAILER_SIZE)
        return name + " size " + std::to_string(p.storedSize) + " is too small for its CRC-32";
    if (end > sectionEnd || end > setup.file->Size())
        return name + " runs past the end of " VESK_SECTION_NAME " or the file";
    return std::nullopt;
}

std::vector<std::string> PayloadProblems(const SetupFile& setup) {
    std::vector<std::string> problems;
    if (setup.head->header.productSize == 0) problems.push_back("no product payload");
    for (const PayloadInfo& p : setup.payloads)
        if (auto problem = PayloadExtentProblem(setup, p)) problems.push_back(*problem);
    return problems;
}

uint32_t ComputeFileCheckSum(const InputFile& file, uint32_t checkSumOffset) {
    PeChecksum sum;
    std::vector<uint8_t> chunk(kChunkSize);
    for (uint64_t at = 0; at < file.Size();) {
        size_t got = file.ReadAt(at, chunk);
        if (got == 0) break;
        // The CheckSum field counts as zero.
        for (uint64_t i = checkSumOffset; i < uint64_t{checkSumOffset} + 4; ++i)
            if (i >= at && i < at + got) chunk[static_cast<size_t>(i - at)] = 0;
        sum.Add(std::span(chunk.data(), got));
        at += got;
    }
    return sum.Finish(file.Size());
}

std::optional<uint32_t> ReadTrailer(const InputFile& file, const PayloadInfo& payload) {
    if (payload.storedSize < PAYLOAD_TRAILER_SIZE) return std::nullopt;
    uint8_t trailer[PAYLOAD_TRAILER_SIZE];
    if (file.ReadAt(payload.offset + payload.storedSize - PAYLOAD_TRAILER_SIZE, trailer) != sizeof trailer)
        return std::nullopt;
    return Load32(trailer);
}

}  // namespace vesk
