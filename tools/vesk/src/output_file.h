// A file written under a temporary name beside its target and renamed over
// it only when complete, so a failure or an interrupt never leaves a partial
// file under the target's name. Writes are buffered and summed for the PE
// CheckSum on the way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "pe_checksum.h"

namespace vesk {

class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& target);
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::span<const uint8_t> bytes);
    void WriteZeros(uint64_t count);
    // Overwrites bytes already written (they stay out of the checksum).
    void Patch(uint64_t offset, std::span<const uint8_t> bytes);
    uint64_t Size() const { return size_; }
    const PeChecksum& Checksum() const { return checksum_; }
    void Commit(bool executable);

private:
    void Flush();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    char* pending_ = nullptr;  // the signal handler's copy of temporary_
    int fd_ = -1;
    std::vector<uint8_t> buffer_;
    uint64_t size_ = 0;
    PeChecksum checksum_;
};

}  // namespace vesk
