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

// Every signal whose default ends the process and that comes from outside
// (a fault in the tool itself is left to end it): SIGPIPE too, since with
// stderr on a closed pipe the next message ends the run. The real-time
// signals follow, from SIGRTMIN to SIGRTMAX.
constexpr int kCleanupSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE,
                                   SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT};

template <typename Each>
void ForEachCleanupSignal(Each each) {
    for (int signal : kCleanupSignals) each(signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) each(signal);
}
char g_createdLevels[kPendingPathLimit];  // the deepest directory a run made
volatile sig_atomic_t g_createdLevelCount = 0;

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
    // The levels made, deepest first, each only while empty.
    for (sig_atomic_t level = g_createdLevelCount; level > 0; --level) {
        rmdir(g_createdLevels);
        if (char* slash = std::strrchr(g_createdLevels, '/')) *slash = 0;
    }
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

void SetCreatedLevels(const std::string& deepest, int count) {
    if (deepest.size() >= kPendingPathLimit) throw Failure(deepest, "path too long");
    CleanupSignalsHeld held;
    std::memcpy(g_createdLevels, deepest.c_str(), deepest.size() + 1);
    g_createdLevelCount = count;
}

void SetPendingChild(pid_t child) {
    g_pendingChild = child;
}

void InstallCleanupHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    ForEachCleanupSignal([](int signal) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            std::signal(signal, CleanUpAndDie);
    });
    // A write past the file size limit then fails with EFBIG and is reported
    // and cleaned up like a full disk, instead of killing the process with
    // its temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
}

CleanupSignalsHeld::CleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    ForEachCleanupSignal([&](int signal) { sigaddset(&held, signal); });
    sigprocmask(SIG_BLOCK, &held, &previous_);
}

CleanupSignalsHeld::~CleanupSignalsHeld() {
    sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace vesk
