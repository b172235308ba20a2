// The payload section. A bare stub carries a 4096-byte placeholder here and
// runs in side-file mode; `vesk pack` grows the section to hold a container.
#include "win32/api.h"

extern "C" __attribute__((section(".VESK"), used)) const BYTE g_payloadPlaceholder[4096] = {1};
