// A setup executable opened for reading: its PE facts, its container head
// and where each payload lies. Everything read is bounds-checked, since the
// file may come from anywhere.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "container_format.h"
#include "input_file.h"
#include "payloads.h"
#include "pe_image.h"

namespace vesk {

struct PayloadInfo {
    PayloadId id;
    uint64_t offset = 0;  // file offset of the first data byte
    uint32_t storedSize = 0;  // data and trailer
};

struct SetupFile {
    std::unique_ptr<InputFile> file;
    PeImage image;
    bool embedded = false;
    uint64_t containerOffset = 0;
    std::optional<StoredHead> head;     // embedded mode only
    std::vector<PayloadInfo> payloads;  // present ones, in container order

    const PeSection& PayloadSection() const { return image.sections[static_cast<size_t>(image.payloadSection)]; }
};

SetupFile OpenSetup(const std::filesystem::path& path);

// What keeps a payload from being read whole with its CRC-32: too small to
// hold the CRC, or running past the payload section or the file.
std::optional<std::string> PayloadExtentProblem(const SetupFile& setup, const PayloadInfo& payload);

// The rule verify and unpack both judge a container by: a product is
// stored, and every payload's extent is sound. One line per problem.
std::vector<std::string> PayloadProblems(const SetupFile& setup);

// The CheckSum the file's header should hold.
uint32_t ComputeFileCheckSum(const InputFile& file, uint32_t checkSumOffset);

// The stored CRC-32 trailer of a payload; none when the file ends first.
std::optional<uint32_t> ReadTrailer(const InputFile& file, const PayloadInfo& payload);

}  // namespace vesk
