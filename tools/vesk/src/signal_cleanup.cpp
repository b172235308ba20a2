#include "signal_cleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "failure.h"

namespace vesk {

namespace {

constexpr size_t kPendingSlots = 8;
char g_pendingPaths[kPendingSlots][kPendingPathLimit];
char g_pendingDirectory[kPendingPathLimit];
volatile sig_atomic_t g_pendingChild = 0;

// SIGPIPE too: with stderr on a closed pipe, the next message ends the run.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Removes the directory's entries and then the directory, by system calls
// alone: the directory listing of the C library allocates.
void RemoveFlatDirectory(const char* path) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    alignas(8) char buffer[4096];
    for (;;) {
        const long got = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (got <= 0) break;
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) unlinkat(fd, name, 0);
            at += entry->d_reclen;
        }
    }
    close(fd);
    rmdir(path);
}

void CleanUpAndDie(int signal) {
    if (const pid_t child = g_pendingChild; child > 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    for (char* path : g_pendingPaths)
        if (path[0] != 0) unlink(path);
    if (g_pendingDirectory[0] != 0) RemoveFlatDirectory(g_pendingDirectory);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

char* ClaimPendingPath(const std::string& target) {
    for (char* path : g_pendingPaths)
        if (path[0] == 0) return path;
    throw Failure(target, "too many files in progress");
}

void SetPendingDirectory(const std::string& path) {
    if (path.size() >= kPendingPathLimit) throw Failure(path, "path too long");
    CleanupSignalsHeld held;
    std::memcpy(g_pendingDirectory, path.c_str(), path.size() + 1);
}

void SetPendingChild(pid_t child) {
    g_pendingChild = child;
}

void InstallCleanupHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal : kCleanupSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            std::signal(signal, CleanUpAndDie);
    }
    // A write past the file size limit then fails with EFBIG and is reported
    // and cleaned up like a full disk, instead of killing the process with
    // its temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
}

CleanupSignalsHeld::CleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kCleanupSignals) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &previous_);
}

CleanupSignalsHeld::~CleanupSignalsHeld() {
    sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace vesk
