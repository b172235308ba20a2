// The process command line: where its program part ends, and the tail that
// goes to the installer engine.
#include "base/command_line.h"

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
