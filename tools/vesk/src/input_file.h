// A file read in order or at offsets, with failures named after the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace vesk {

class InputFile {
public:
    explicit InputFile(const std::filesystem::path& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& Name() const { return name_; }
    uint64_t Size() const { return size_; }
    // Reads up to out.size() bytes at offset; returns the count read (less
    // only at the end of the file).
    size_t ReadAt(uint64_t offset, std::span<uint8_t> out) const;

private:
    std::string name_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace vesk
