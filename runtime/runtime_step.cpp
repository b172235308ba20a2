// The runtime step of the run: no runtime is installed, so an embedded
// container steps over both stored runtime installers to the product file.
#include "container/container.h"
#include "runtime/runtime.h"

void RuntimeStep(void) {
    if (!g_run.embedded) return;
    // Summed unsigned: the container's sizes are 32-bit words.
    SkipPayloads((LONG)((DWORD)g_settings.runtime9XSize + (DWORD)g_settings.runtimeNTSize));
}
