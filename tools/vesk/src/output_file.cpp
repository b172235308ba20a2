#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "failure.h"

namespace vesk {

namespace {

constexpr size_t kBufferSize = 1 << 20;

// The temporary files in progress, for the signal handler: only
// async-signal-safe calls may touch them there.
constexpr size_t kPendingSlots = 8;
constexpr size_t kPathLimit = 4096;
char g_pendingPaths[kPendingSlots][kPathLimit];

void RemovePendingAndDie(int signal) {
    for (char* path : g_pendingPaths)
        if (path[0] != 0) unlink(path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

char* ClaimPendingSlot(const std::string& target) {
    for (char* path : g_pendingPaths)
        if (path[0] == 0) return path;
    throw Failure(target, "too many files in progress");
}

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

void InstallCleanupHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal : kCleanupSignals) std::signal(signal, RemovePendingAndDie);
    // A write past the file size limit then fails with EFBIG and is reported
    // and cleaned up like a full disk, instead of killing the process with
    // its temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
}

// Holds the cleanup signals back while a temporary file is created and
// recorded, so that none can arrive between the two and leave it behind.
class CleanupSignalsHeld {
public:
    CleanupSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kCleanupSignals) sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    ~CleanupSignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

void WriteAll(int fd, const uint8_t* data, size_t count, const std::string& name) {
    while (count > 0) {
        ssize_t written = ::write(fd, data, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw Failure(name, "cannot write: " + SystemReason());
        }
        data += written;
        count -= static_cast<size_t>(written);
    }
}

}  // namespace

OutputFile::OutputFile(const std::filesystem::path& target) : target_(target) {
    // The finished file is renamed over the target: a device, pipe or
    // directory standing there would be replaced, or the rename would fail
    // after all the work.
    struct stat existing;
    if (::stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        throw Failure(target.string(), "not a regular file; give the path of a file to write");
    std::string pattern = target.string() + ".vesk-XXXXXX";
    if (pattern.size() >= kPathLimit) throw Failure(target.string(), "path too long");
    pending_ = ClaimPendingSlot(target.string());
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    InstallCleanupHandlers();
    {
        CleanupSignalsHeld held;
        fd_ = mkstemp(name.data());
        if (fd_ >= 0) std::memcpy(pending_, name.data(), name.size());
    }
    if (fd_ < 0) throw Failure(target.string(), "cannot create output: " + SystemReason());
    temporary_ = name.data();
    buffer_.reserve(kBufferSize);
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        pending_[0] = 0;
    }
}

void OutputFile::Write(std::span<const uint8_t> bytes) {
    checksum_.Add(bytes);
    size_ += bytes.size();
    if (buffer_.empty() && bytes.size() >= kBufferSize) {
        // A whole chunk needs no copy through the buffer.
        WriteAll(fd_, bytes.data(), bytes.size(), target_.string());
        return;
    }
    while (!bytes.empty()) {
        size_t room = kBufferSize - buffer_.size();
        size_t take = std::min(room, bytes.size());
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
        bytes = bytes.subspan(take);
        if (buffer_.size() == kBufferSize) Flush();
    }
}

void OutputFile::WriteZeros(uint64_t count) {
    static const std::vector<uint8_t> zeros(64 * 1024);
    while (count > 0) {
        size_t take = static_cast<size_t>(std::min<uint64_t>(count, zeros.size()));
        Write(std::span(zeros.data(), take));
        count -= take;
    }
}

void OutputFile::Flush() {
    WriteAll(fd_, buffer_.data(), buffer_.size(), target_.string());
    buffer_.clear();
}

void OutputFile::Patch(uint64_t offset, std::span<const uint8_t> bytes) {
    Flush();
    if (::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(bytes.size()))
        throw Failure(target_.string(), "cannot write: " + SystemReason());
}

void OutputFile::Commit(bool executable) {
    Flush();
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = (executable ? 0777 : 0666) & ~mask;
    if (::fchmod(fd_, mode) != 0)
        throw Failure(target_.string(), "cannot write: " + SystemReason());
    if (::close(fd_) != 0) {
        fd_ = -1;
        throw Failure(target_.string(), "cannot write: " + SystemReason());
    }
    fd_ = -1;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw Failure(target_.string(), "cannot write: " + SystemReason());
    temporary_.clear();
    pending_[0] = 0;
}

}  // namespace vesk
