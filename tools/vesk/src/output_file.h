// A file written under a temporary name beside its target and renamed over
// it only when complete, so a failure or an interrupt never leaves a partial
// file under the target's name. Writes are buffered and summed for the PE
// CheckSum on the way.
//
// The temporary name is <target>.vesk-<pid>-XXXXXX, the target's name cut
// to keep it within the directory's name limit. The writer holds a lock on
// its file while it lives, so a later run can tell a file left by a killed
// or crashed run (mode 0600, unlocked, its process gone), and removes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "pe_checksum.h"

namespace vesk {

class OutputFile {
public:
    // inputs: the files the command reads, which the target must not be.
    // Throws Failure when the target is a link, or something other than a
    // regular file, or one of the inputs.
    explicit OutputFile(const std::filesystem::path& target, const std::vector<std::filesystem::path>& inputs = {});
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::span<const uint8_t> bytes);  // Sum, then WriteUnsummed
    // The two halves of Write, for a caller that sums on another thread
    // while this one writes; they touch nothing in common. Every byte must
    // go through both, in the same order.
    void Sum(std::span<const uint8_t> bytes) { checksum_.Add(bytes); }
    void WriteUnsummed(std::span<const uint8_t> bytes);
    void WriteZeros(uint64_t count);
    // Overwrites bytes already written (they stay out of the checksum).
    void Patch(uint64_t offset, std::span<const uint8_t> bytes);
    const std::filesystem::path& Target() const { return target_; }
    uint64_t Size() const { return size_; }
    const PeChecksum& Checksum() const { return checksum_; }
    // Writes out the rest and sets the mode: after it, only the rename is
    // left, so files written together can all be finished before any is
    // committed.
    void Finish(bool executable);
    void Commit(bool executable);  // finishes if not yet done, then renames

private:
    void Flush();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    char* pending_ = nullptr;  // the signal handler's copy of temporary_
    int fd_ = -1;
    bool finished_ = false;
    std::vector<uint8_t> buffer_;
    uint64_t size_ = 0;
    PeChecksum checksum_;
};

}  // namespace vesk
