// Placing the product file and launching the installer engine.
#pragma once

#include "driver/run_state.h"

// The switch text and the engine command: room for what a user may pass on
// a command line.
#define ENGINE_COMMAND_BUFFER 8192u

// Run sequence step 13: while the service reports another version of the
// product installed, asks to uninstall it and removes it on Yes. Ends the
// process (exit code 1) on No.
void RemovePreviousVersion(void);
// Fills path (PATH_BUFFER bytes). Ends the process (exit code 1) when the
// file cannot be opened, its extraction fails, or the user cancelled.
void PlaceProductFile(char* path);
// Composes the engine parameters into command (capacity cap). FALSE when
// they do not fit.
BOOL ComposeEngineCommand(LPCSTR commandTail, LPCSTR productPath, char* command, UINT cap);
// A fresh empty temporary file (PATH_BUFFER bytes); empty when none could be
// named within the buffer.
void MakeTempFileName(char* out);
void CreatePathDirectories(char* path);
// Closes the start-up windows, composes the engine command and runs the
// engine when there is one. Returns the run's exit code: the engine's own
// code when it ran to its end, else 0. Ends the process (exit code 1) when
// the command cannot be composed whole and the session is not ending.
UINT LaunchEngine(LPCSTR productPath);
