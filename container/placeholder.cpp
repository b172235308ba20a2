// The payload section. A bare stub carries a placeholder here and runs in
// side-file mode; `vesk pack` grows the section to hold a container. The
// placeholder's content is never read, so one file-alignment unit will do:
// anything up to VESK_PLACEHOLDER_SIZE bytes means side-file mode.
#include "format/container_layout.h"
#include "win32/api.h"

#define PLACEHOLDER_BYTES 512u

static_assert(PLACEHOLDER_BYTES <= VESK_PLACEHOLDER_SIZE, "a bare stub must run in side-file mode");

extern "C" __attribute__((section(".VESK"), used)) const BYTE g_payloadPlaceholder[PLACEHOLDER_BYTES] = {1};
