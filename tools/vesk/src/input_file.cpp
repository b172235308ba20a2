#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "failure.h"

namespace vesk {

InputFile::InputFile(const std::filesystem::path& path) : name_(path.string()) {
    // Without blocking: opening a FIFO for reading would wait for a writer
    // before its type could be checked.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) throw Failure(name_, "cannot open: " + SystemReason());
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        ::close(fd_);
        throw Failure(name_, "cannot open: " + SystemReason());
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd_);
        throw Failure(name_, S_ISDIR(info.st_mode) ? "a directory, not a regular file" : "not a regular file");
    }
    size_ = static_cast<uint64_t>(info.st_size);
}

InputFile::~InputFile() {
    ::close(fd_);
}

size_t InputFile::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Failure(name_, "cannot read: " + SystemReason());
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace vesk
