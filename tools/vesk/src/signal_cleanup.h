// What a signal that ends the tool (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGUSR1, SIGALRM and every other whose default is to end the process,
// SIGPIPE from a closed error pipe included) must not leave behind:
// temporary files in progress, a scratch directory, the directories a run
// made, and a child process (osslsigncode) at work. The handler kills
// and reaps the child, removes the files and the directory, then lets the
// signal end the tool as it would have. It uses async-signal-safe calls
// only, on what is recorded here beforehand.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <string>

namespace vesk {

// A slot for the path of a temporary file in progress; the caller copies
// the path in (under CleanupSignalsHeld) and clears the slot's first byte
// when the file is renamed or removed. Throws Failure, naming target, when
// every slot is taken.
inline constexpr size_t kPendingPathLimit = 4096;
char* ClaimPendingPath(const std::string& target);

// A scratch directory without subdirectories: removed with its files.
// None at a time but one; an empty path clears it.
void SetPendingDirectory(const std::string& path);

// The directories a run made: the deepest, and how many levels up to it
// (0 clears it). Each is removed while empty, deepest first.
void SetCreatedLevels(const std::string& deepest, int count);

// The child at work, killed and reaped by the handler; 0 clears it.
void SetPendingChild(pid_t child);

// Sets the handlers once (a signal the caller has the tool ignore stays
// ignored), and has a write past the file size limit fail with EFBIG.
void InstallCleanupHandlers();

// Holds the cleanup signals back while something is made and recorded, so
// that none can arrive between the two and leave it behind.
class CleanupSignalsHeld {
public:
    CleanupSignalsHeld();
    ~CleanupSignalsHeld();
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

private:
    sigset_t previous_;
};

}  // namespace vesk
