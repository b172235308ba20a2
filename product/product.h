// Placing the product file and launching the installer engine.
#pragma once

#include "driver/run_state.h"

// Fills path (PATH_BUFFER bytes). Ends the process (exit code 1) when the
// file cannot be opened, its extraction fails, or the user cancelled.
void PlaceProductFile(char* path);
// Composes the engine parameters into command (capacity cap). FALSE when
// they do not fit.
BOOL ComposeEngineCommand(LPCSTR commandTail, LPCSTR productPath, char* command, UINT cap);
void MakeTempFileName(char* out);
void CreatePathDirectories(char* path);
// Closes the start-up windows, composes the engine command and runs the
// engine when there is one. Returns the run's exit code: the engine's own
// code when it ran to its end, else 0. Ends the process (exit code 1) when
// the command cannot be composed whole.
UINT LaunchEngine(LPCSTR productPath);
