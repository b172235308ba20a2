// The fuzz input as a file that vesk's readers open by path: an anonymous
// memory file, named through /proc, so no disk is touched.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz_file {

class InputAsFile {
public:
    InputAsFile(const uint8_t* data, size_t size) : fd_(memfd_create("fuzz-input", 0)) {
        if (fd_ < 0) __builtin_trap();
        for (size_t done = 0; done < size;) {
            ssize_t written = write(fd_, data + done, size - done);
            if (written <= 0) __builtin_trap();
            done += size_t(written);
        }
    }
    ~InputAsFile() { close(fd_); }
    InputAsFile(const InputAsFile&) = delete;
    InputAsFile& operator=(const InputAsFile&) = delete;

    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

}  // namespace fuzz_file
