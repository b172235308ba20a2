// The process-wide records of one run: RunState (the flags, handles and
// buffers that more than one file uses; state with one owner is that file's
// own RUN_STATE) and SetupSettings (what the container or the side INI file
// says).
#pragma once

#include "win32/api.h"
#include "format/container_layout.h"

#define PATH_BUFFER 256u
#define WORK_BUFFER_SIZE 65536u

// Process exit codes.
#define EXIT_CODE_OK 0u
#define EXIT_CODE_FAILED 1u
#define EXIT_CODE_NO_ADMIN 2u
// The engine's own codes, so that a deployment tool reads them as it reads msiexec's.
#define EXIT_CODE_OTHER_VERSION 1638u   // another version of this product is already installed
#define EXIT_CODE_RESTART_REQUIRED 3010u

// Who is there to see the setup and answer it, least unattended first: how
// far the engine switches of a text silence the engine, or a window station
// that no one can see. Below UNATTENDED_PASSIVE a person answers.
#define ENGINE_UI_DEFAULT 0u     // no switch that sets the engine's user interface
#define ENGINE_UI_OWN 1u         // /qb, /qr, /qf: the engine shows windows that may wait
#define UNATTENDED_PASSIVE 2u    // /passive: no box; the setup's own windows, which need no one, stay
#define UNATTENDED_SILENT 3u     // /q, /qn with any suffix, /quiet: no box and no window of the setup's own
#define UNATTENDED_INVISIBLE 4u  // a window station no one can see: silent, and the engine told so

typedef struct SetupSettings {
    char productFileName[PRODUCT_FILE_NAME_FIELD];
    char productCode[PRODUCT_CODE_FIELD];
    char productVersion[PRODUCT_VERSION_FIELD];
    char transformBase[TRANSFORM_BASE_FIELD];
    DWORD requiredRuntimeMS;
    DWORD requiredRuntimeLS;
    LONG runtimeNTSize;
    LONG runtime9XSize;
    DWORD expectedFileSize;
    DWORD productSize;
    BYTE fontCharSet;
    BYTE fontPointSize;
    char textBlock[TEXT_BLOCK_FIELD];  // fontFace, productName, initLine
    BOOL removePrevious;
} SetupSettings;

typedef struct RunState {
    HINSTANCE instance;
    HFILE containerFile;
    HGLOBAL workBufferMemory;
    BYTE* workBuffer;  // WORK_BUFFER_SIZE bytes
    BOOL embedded;
    HGLOBAL crcTableMemory;
    HWND splashWindow;
    BOOL splashHold;
    HWND progressDialog;
    BOOL cancelRequested;
    BOOL sessionEnding;
    LPCSTR resumeProductCode;  // while a child is waited for: the product to resume after a restart
    char ownPath[PATH_BUFFER];       // the executable's full path
    char ownDirectory[PATH_BUFFER];  // ownPath up to and with its last backslash
    char iniPath[PATH_BUFFER];       // side-file mode: ownPath with ".ini" for its extension
    LPCSTR commandTail;              // points into the process command line
    UINT attendance;                 // an ENGINE_UI_ or UNATTENDED_ level
} RunState;

extern RunState g_run;
extern SetupSettings g_settings;

// The string after text in a TEXT_BLOCK_FIELD-byte block whose last byte
// is 0, or "" when the block holds no more.
LPCSTR NextBlockString(LPCSTR block, LPCSTR text);
// The three strings of textBlock.
LPCSTR FontFace(void);
LPCSTR ProductName(void);
LPCSTR InitLine(void);
