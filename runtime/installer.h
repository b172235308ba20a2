// Every point where the setup touches the Windows Installer service: its
// libraries and entry points, the engine and its properties, and the runtime
// installers' default command. No other file spells these; the registry keys
// of restart and resume are base/resume_entry.h's.
#pragma once

#include "base/system_files.h"

// MSI.DLL, loaded at run time. Its file version in the system directory is
// the installed runtime's version.
#define MSI_LIBRARY "MSI.DLL"
#define MSI_GET_PRODUCT_INFO "MsiGetProductInfoA"
#define MSI_CONFIGURE_PRODUCT "MsiConfigureProductA"
#define MSI_PROPERTY_VERSION_STRING "VersionString"
#define MSI_INSTALLLEVEL_DEFAULT 0
#define MSI_INSTALLSTATE_ABSENT 2
typedef UINT(WINAPI* MsiGetProductInfoProc)(LPCSTR product, LPCSTR property, LPSTR value,
                                            LPDWORD valueLength);
typedef UINT(WINAPI* MsiConfigureProductProc)(LPCSTR product, int installLevel, int installState);

// VERSION.DLL, loaded at run time to read MSI.DLL's file version.
#define VERSION_LIBRARY "VERSION.DLL"
#define VERSION_GET_FILE_VERSION_INFO "GetFileVersionInfoA"
#define VERSION_QUERY_VALUE "VerQueryValueA"
typedef BOOL(WINAPI* GetFileVersionInfoProc)(LPCSTR path, DWORD handle, DWORD size, LPVOID data);
typedef BOOL(WINAPI* VerQueryValueProc)(LPCVOID block, LPCSTR subBlock, LPVOID* value,
                                        UINT* valueLength);

// The installer engine, started from the system directory by its full path:
// a bare name would let a program planted beside the setup run instead.
#define ENGINE_FILE_NAME "msiexec.exe"
#define ENGINE_DEFAULT_SWITCHES "/I"
// Put before the rest, since the engine takes the package right after /I.
#define ENGINE_SILENT_SWITCH "/qn "
// A command text that begins with this marker is the engine's whole command.
#define ENGINE_VERBATIM_MARKER "/*"
#define ENGINE_PROPERTY_TRANSFORMS "TRANSFORMS"
// The setup executable's full path, so that a package finds files beside it.
#define ENGINE_PROPERTY_SETUP_EXE_PATH "VESK_SETUP_EXE_PATH"

// What a runtime installer is run with unless the side INI file says
// otherwise.
#define RUNTIME_DEFAULT_COMMAND "/q /r:n"
