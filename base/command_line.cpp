// The process command line: where its program part ends, and the tail that
// goes to the installer engine.
#include "base/command_line.h"

#include "base/run_state.h"

LPCSTR SkipProgramPart(LPCSTR commandLine) {
    LPCSTR p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ') ++p;
    }
    return p;
}

LPCSTR FindCommandTail(LPCSTR commandLine) {
    LPCSTR p = SkipProgramPart(commandLine);
    while (*p == ' ') ++p;
    if (*p == '/') return p;
    // Arguments that are neither a switch nor hold a property assignment
    // are not passed on: the tail is then the empty end of the line.
    LPCSTR end = p;
    while (*end) ++end;
    for (LPCSTR q = p; q < end; ++q)
        if (*q == '=') return p;
    return end;
}

// The engine's switches that set its user interface, by name, lower case.
// A name that ends with '*' takes any suffix; the first that matches counts.
static const struct {
    char name[9];
    BYTE level;
} kUiSwitches[] = {
    {"q", UNATTENDED_SILENT}, {"qn*", UNATTENDED_SILENT},      {"quiet", UNATTENDED_SILENT},
    {"q*", ENGINE_UI_OWN},    {"passive", UNATTENDED_PASSIVE},
};

// Blanks and control characters end a word.
static BOOL EndsWord(char c) { return (BYTE)c <= ' '; }

UINT EngineUiLevel(LPCSTR text) {
    UINT level = ENGINE_UI_DEFAULT;
    BOOL quoted = FALSE;
    // Blanks, quotes and switch characters are below every trail byte of a
    // double-byte character, so the walk may go byte by byte.
    for (char before = ' '; *text; before = *text++) {
        if (*text == '"') quoted = !quoted;
        if (quoted || !EndsWord(before) || (*text != '/' && *text != '-')) continue;
        for (UINT i = 0; i < sizeof kUiSwitches / sizeof kUiSwitches[0]; ++i) {
            LPCSTR word = text + 1;
            LPCSTR name = kUiSwitches[i].name;
            while (*name && (*word | 0x20) == *name) ++word, ++name;
            if (*name == '*' || (!*name && EndsWord(*word))) {
                if (kUiSwitches[i].level > level) level = kUiSwitches[i].level;
                break;
            }
        }
    }
    return level;
}
