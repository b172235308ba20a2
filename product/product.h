// Placing the product file and launching the installer engine.
#pragma once

#include "base/run_state.h"

// The switch text: the longest command line Windows passes a program (32,767
// characters and the NUL), which is also the most that an expansion of
// environment references gives. A user's switches always fit.
#define ENGINE_SWITCH_BUFFER 32768u
// The engine command: the switches, then the fixed parts, each at most a path:
// the quoted database path and the TRANSFORMS and VESK_SETUP_EXE_PATH properties.
#define ENGINE_COMMAND_BUFFER (ENGINE_SWITCH_BUFFER + 4u * PATH_BUFFER)

// The removal step, after the runtime step and before placement: while the
// service reports another version of the product installed, asks to
// uninstall it and removes it on Yes. Ends the process (exit code 1) on No. Unattended it removes an older version without
// asking and ends with 1638 on any other.
void RemovePreviousVersion(void);
// Fills path (PATH_BUFFER bytes). Ends the process (exit code 1) when the
// file cannot be made, its extraction fails, or the user cancelled. In
// embedded mode returns the hold that keeps the file as extracted until the
// engine has ended (INVALID_HANDLE_VALUE in side-file mode).
HANDLE PlaceProductFile(char* path);
// Composes the engine parameters into command (ENGINE_COMMAND_BUFFER bytes),
// with switches (ENGINE_SWITCH_BUFFER bytes) for the switch text. FALSE when
// an expansion or the builder's text does not fit.
BOOL ComposeEngineCommand(LPCSTR commandTail, LPCSTR productPath, char* switches, char* command);
void CreatePathDirectories(char* path);
// Closes the start-up windows, composes the engine command and runs the
// engine when there is one. Returns the run's exit code: the engine's own
// code when it ran to its end, else 0. Ends the process (exit code 1) when
// the command cannot be composed whole and the session is not ending.
UINT LaunchEngine(LPCSTR productPath);
