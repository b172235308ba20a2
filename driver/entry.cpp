// The entry routine and the run sequence.
#include "driver/run.h"
#include "driver/run_state.h"

RunState g_run;
SetupSettings g_settings;

extern "C" void WINAPI StubEntry(void) { ExitProcess(RunSetup()); }

UINT RunSetup(void) { return EXIT_CODE_OK; }
