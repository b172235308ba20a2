// Composing the installer engine's command line and running the engine.
#include "base/command_line.h"
#include "format/ini_keys.h"
#include "base/own_path.h"
#include "base/side_ini.h"
#include "base/text.h"
#include "container/container.h"
#include "product/product.h"
#include "runtime/child.h"
#include "runtime/installer.h"
#include "ui/ui.h"

// The text after a leading "/*" and its blanks; NULL when it has no marker.
static LPCSTR VerbatimRest(LPCSTR text) {
    if (text[0] != ENGINE_VERBATIM_MARKER[0] || text[1] != ENGINE_VERBATIM_MARKER[1]) return NULL;
    text += 2;
    while (*text == ' ') ++text;
    return text;
}

// Environment references expanded; undefined ones stay as written. The
// platform gives at most ENGINE_SWITCH_BUFFER bytes.
static BOOL Expand(LPCSTR text, char* out) {
    DWORD needed = ExpandEnvironmentStringsA(text, out, ENGINE_SWITCH_BUFFER);
    if (needed == 0 || needed > ENGINE_SWITCH_BUFFER) {
        out[0] = 0;
        return FALSE;
    }
    return TRUE;
}

// Appends ` NAME="value"`.
static BOOL AppendProperty(char* command, UINT cap, LPCSTR name, LPCSTR value) {
    return AppendText(command, cap, " ") && AppendText(command, cap, name) &&
           AppendText(command, cap, "=\"") && AppendText(command, cap, value) &&
           AppendText(command, cap, "\"");
}

// The builder's configured command text into out (ENGINE_SWITCH_BUFFER
// bytes): the container's text 4 or the side INI file's CmdLine; no built-in
// text applies. FALSE when the INI value fills the buffer, as a cut one does.
static BOOL ReadConfiguredCommand(char* out) {
    out[0] = 0;
    if (g_run.embedded) {
        ReadStoredText(out, MSG_CMDLINE);
        return TRUE;
    }
    DWORD length = ReadSideText(INI_KEY_CMDLINE, NULL, out, ENGINE_SWITCH_BUFFER);
    return length < ENGINE_SWITCH_BUFFER - 1;
}

// Where no one can see the desktop, the engine's own dialogs would wait there
// for ever: unless the command says how the engine shows itself, it shows
// nothing. The switch goes into the end of the switch text's buffer, which
// lies right before the command and is no longer used: the command with it.
static char* SilenceWhereUnseen(char* command) {
    if (g_run.attendance != UNATTENDED_INVISIBLE || EngineUiLevel(command) != ENGINE_UI_DEFAULT) return command;
    command -= sizeof ENGINE_SILENT_SWITCH - 1;
    CopyBytes(command, ENGINE_SILENT_SWITCH, sizeof ENGINE_SILENT_SWITCH - 1);
    return command;
}

BOOL ComposeEngineCommand(LPCSTR commandTail, LPCSTR productPath, char* switches, char* command) {
    const UINT cap = ENGINE_COMMAND_BUFFER;
    command[0] = 0;
    switches[0] = 0;
    if (commandTail[0] == 0 && !ReadConfiguredCommand(switches)) return FALSE;
    LPCSTR verbatim = VerbatimRest(commandTail);
    if (verbatim) return Expand(verbatim, command);
    // The user's switches are expanded; the builder's text is used as written.
    if (commandTail[0] != 0) {
        if (!Expand(commandTail, switches)) return FALSE;
    } else if (switches[0] == 0) {
        CopyText(switches, ENGINE_SWITCH_BUFFER, ENGINE_DEFAULT_SWITCHES);
    }
    verbatim = VerbatimRest(switches);
    if (verbatim) return Expand(verbatim, command);
    // With a transform, the engine opens the database it applies to: named
    // from the setup's own folder when relative, never from the engine's.
    BOOL transform = g_settings.transformBase[0] != 0;
    LPCSTR database = transform ? g_settings.transformBase : productPath;
    BOOL fits = CopyText(command, cap, switches) && AppendText(command, cap, " \"") &&
                (!transform || IsFullPath(database) || AppendText(command, cap, g_run.ownDirectory)) &&
                AppendText(command, cap, database) && AppendText(command, cap, "\"");
    if (fits && transform) fits = AppendProperty(command, cap, ENGINE_PROPERTY_TRANSFORMS, productPath);
    return fits;
}

UINT LaunchEngine(LPCSTR productPath) {
    WaitSplashHold();
    CloseSplash();
    CloseProgressDialog();
    // Both buffers in one block of global memory, the command after the switches.
    HGLOBAL memory;
    char* switches = (char*)AllocateLocked(GMEM_MOVEABLE, ENGINE_SWITCH_BUFFER + ENGINE_COMMAND_BUFFER, &memory);
    char* command = switches ? switches + ENGINE_SWITCH_BUFFER : NULL;
    BOOL composed = command && ComposeEngineCommand(g_run.commandTail, productPath, switches, command);
    PumpMessages();
    // A session that is ending starts no engine, so a command that did not
    // fit is nothing to report then.
    if (g_run.sessionEnding) return EXIT_CODE_OK;
    if (!composed) EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    if (command[0] == 0) return EXIT_CODE_OK;
    char engine[PATH_BUFFER];
    char folder[PATH_BUFFER];
    command = SilenceWhereUnseen(command);
    // The path the run was started from, read once at start-up. The engine
    // starts in the system folder.
    if (!AppendProperty(command, ENGINE_COMMAND_BUFFER, ENGINE_PROPERTY_SETUP_EXE_PATH, g_run.ownPath) ||
        !SystemFilePath(engine, ENGINE_FILE_NAME) || !SystemFolder(folder))
        EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    // An engine that could not be started, or whose code cannot be read,
    // installed nothing the setup knows of: never the 0 of success.
    DWORD code = RunAndWait(engine, command, folder, TRUE, g_settings.productCode, EXIT_CODE_FAILED);
    ReleaseLocked(&memory);
    // Abandoned because Windows is ending the session: the engine goes on,
    // and the setup resumes after the restart. A wait that failed saw no end.
    if (code == STILL_ACTIVE) return g_run.sessionEnding ? EXIT_CODE_OK : EXIT_CODE_FAILED;
    return code;
}
