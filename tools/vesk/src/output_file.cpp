#include "output_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <optional>

#include "failure.h"
#include "signal_cleanup.h"

namespace vesk {

namespace {

constexpr size_t kBufferSize = 1 << 20;

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

constexpr char kTemporaryMark[] = ".vesk-";
// What follows the mark: up to ten digits of the process id, '-' and six
// characters from mkstemp.
constexpr size_t kTemporaryTail = 10 + 1 + 6;
constexpr int kCreateAttempts = 8;

std::filesystem::path DirectoryOf(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

// The start of every temporary name for the target: its name, cut so that
// the longest temporary name fits the directory's name limit, and the mark.
std::string TemporaryPrefix(const std::filesystem::path& target) {
    long limit = pathconf(DirectoryOf(target).c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = NAME_MAX;
    const size_t added = sizeof kTemporaryMark - 1 + kTemporaryTail;
    const size_t room = static_cast<size_t>(limit) > added ? static_cast<size_t>(limit) - added : 0;
    return target.filename().string().substr(0, room) + kTemporaryMark;
}

// The process id in a temporary name of the target's; none for any other
// name.
std::optional<pid_t> TemporaryNamePid(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    const std::string tail = name.substr(prefix.size());
    const size_t dash = tail.find('-');
    if (dash == 0 || dash == std::string::npos || dash > 10 || tail.size() != dash + 7) return std::nullopt;
    auto letterOrDigit = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    if (!std::all_of(tail.begin() + static_cast<std::ptrdiff_t>(dash) + 1, tail.end(), letterOrDigit))
        return std::nullopt;
    pid_t pid = 0;
    const auto [end, problem] = std::from_chars(tail.data(), tail.data() + dash, pid);
    if (problem != std::errc() || end != tail.data() + dash || pid <= 0) return std::nullopt;
    return pid;
}

// Removes the target's temporary files left by a run that was killed or
// crashed, and nothing else: a regular file of this user with mkstemp's
// mode 0600, which no run holds locked, named with a process id that no
// longer runs. A file of the user's own that only looks like one stays.
void RemoveStaleTemporaries(const std::filesystem::path& target, const std::string& prefix) {
    std::error_code error;
    std::filesystem::directory_iterator entry(DirectoryOf(target), error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::filesystem::path& path = entry->path();
        const auto pid = TemporaryNamePid(path.filename().string(), prefix);
        if (!pid || ::kill(*pid, 0) == 0 || errno != ESRCH) continue;
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && (held.st_mode & 07777) == 0600 &&
            held.st_uid == geteuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            ::unlink(path.c_str());
        ::close(fd);
    }
}

// Locks a new temporary file for as long as it is written. False when a
// cleanup by another run took it between its creation and the lock. Where
// the file system has no locks, nobody can take it either.
bool HoldAsOwn(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno != EWOULDBLOCK;
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_nlink > 0;
}

// The finished file is renamed over the target: a link, device, pipe or
// directory standing there would be replaced, and an input destroyed.
void RefuseTarget(const std::filesystem::path& target, const std::vector<std::filesystem::path>& inputs) {
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) != 0) return;
    if (S_ISLNK(existing.st_mode))
        throw Failure(target.string(), "a symbolic link; give the path of a file to write, not a link");
    if (!S_ISREG(existing.st_mode))
        throw Failure(target.string(), "not a regular file; give the path of a file to write");
    for (const std::filesystem::path& input : inputs) {
        struct stat info {};
        if (::stat(input.c_str(), &info) == 0 && info.st_dev == existing.st_dev && info.st_ino == existing.st_ino)
            throw Failure(target.string(), "the same file as the input " + Escaped(input.string()) + "; give another output");
    }
}

}  // namespace

OutputFile::OutputFile(const std::filesystem::path& target, const std::vector<std::filesystem::path>& inputs)
    : target_(target) {
    RefuseTarget(target, inputs);
    const std::string prefix = TemporaryPrefix(target);
    RemoveStaleTemporaries(target, prefix);
    const std::string pattern = (target.parent_path() / prefix).string() + std::to_string(getpid()) + "-XXXXXX";
    if (pattern.size() >= kPendingPathLimit) throw Failure(target.string(), "path too long");
    pending_ = ClaimPendingPath(target.string());
    InstallCleanupHandlers();
    for (int attempt = 1; fd_ < 0; ++attempt) {
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        {
            CleanupSignalsHeld held;
            fd_ = mkostemp(name.data(), O_CLOEXEC);
            if (fd_ >= 0) std::memcpy(pending_, name.data(), name.size());
        }
        if (fd_ < 0) throw Failure(target.string(), "cannot create output: " + SystemReason());
        if (HoldAsOwn(fd_)) break;
        ::unlink(name.data());
        ::close(fd_);
        fd_ = -1;
        pending_[0] = 0;
        if (attempt == kCreateAttempts)
            throw Failure(target.string(), "cannot create output: its temporary files were taken by other runs");
    }
    temporary_ = pending_;
    buffer_.reserve(kBufferSize);
}

OutputFile::~OutputFile() {
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        pending_[0] = 0;
    }
    if (fd_ >= 0) ::close(fd_);
}

void OutputFile::Write(std::span<const uint8_t> bytes) {
    Sum(bytes);
    WriteUnsummed(bytes);
}

void OutputFile::WriteUnsummed(std::span<const uint8_t> bytes) {
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

void OutputFile::Finish(bool executable) {
    Flush();
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = (executable ? 0777 : 0666) & ~mask;
    if (::fchmod(fd_, mode) != 0)
        throw Failure(target_.string(), "cannot write: " + SystemReason());
    // Some file systems report a failed write only on close; a duplicate
    // keeps the lock that marks the file as this run's until the rename.
    const int held = ::dup(fd_);
    if (held < 0) throw Failure(target_.string(), "cannot write: " + SystemReason());
    const int closed = ::close(fd_);
    fd_ = held;
    if (closed != 0) throw Failure(target_.string(), "cannot write: " + SystemReason());
    finished_ = true;
}

void OutputFile::Commit(bool executable) {
    if (!finished_) Finish(executable);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw Failure(target_.string(), "cannot write: " + SystemReason());
    temporary_.clear();
    pending_[0] = 0;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace vesk
