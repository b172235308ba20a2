// Puts a setup executable on the simulated machine and opens it as the
// run's container, with the run's work buffer, as the start of a run does.
#pragma once

#include <string>
#include <vector>

#include "base/run_state.h"
#include "sim/files.h"
#include "sim/sim.h"

namespace container_fixture {

constexpr const char* kSetupPath = "C:\\Setup\\setup.exe";

inline void OpenContainer(const std::string& imageBytes) {
    sim::files::Put(kSetupPath, imageBytes);
    sim::SetModulePath(kSetupPath);
    // Exactly the buffer's size, so that any read past it is caught.
    static std::vector<BYTE> workBuffer;
    workBuffer.assign(WORK_BUFFER_SIZE, 0);
    g_run.workBuffer = workBuffer.data();
    g_run.containerFile = _lopen(kSetupPath, OF_READ);
}

inline LONG Position() { return _llseek(g_run.containerFile, 0, FILE_CURRENT); }

}  // namespace container_fixture
