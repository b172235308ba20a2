// Rules for texts that the setup reads and that vesk checks before it
// writes them: compiled into both, so that the two cannot drift. Pure
// functions on bytes: no platform call, no C runtime. Where the setup and
// vesk must judge differently, the two rules have different names here, and
// vesk's tests show the difference row by row.
#pragma once

#include <stdint.h>

#include "format/ini_keys.h"

// A decimal number as the setup reads it: blanks and one '-' first, then
// digits as far as they go, in 32-bit arithmetic that wraps.
inline int32_t ReadDecimal(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = *text == '-';
    if (negative) ++text;
    uint32_t value = 0;
    while (*text >= '0' && *text <= '9') value = value * 10 + (uint32_t)(*text++ - '0');
    return (int32_t)(negative ? 0u - value : value);
}

// A version as two words: (major << 16) | minor, (build << 16) | revision.
struct VersionPair {
    uint32_t ms;
    uint32_t ls;
};

// "a.b.c.d" as the setup reads it: each part by ReadDecimal, missing parts
// 0, whatever the text holds. vesk accepts only texts that read the same as
// they are written (four decimal parts of at most 65535).
inline VersionPair ReadVersionText(const char* text) {
    uint32_t parts[4];
    for (int i = 0; i < 4; ++i) {
        parts[i] = (uint32_t)ReadDecimal(text);
        while (*text && *text != '.') ++text;
        if (*text == '.') ++text;
    }
    VersionPair pair = {(parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]};
    return pair;
}

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: the 38 characters of a braced
// GUID, hexadecimal in upper case only or in either case.
inline bool HasBracedGuidShape(const char* text, bool upperCaseOnly) {
    for (int i = 0; i < 38; ++i) {
        char c = text[i];
        if (i == 0 || i == 37) {
            if (c != (i == 0 ? '{' : '}')) return false;
        } else if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (!upperCaseOnly && c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// The setup's rule: a product code it can pack for the service's resume
// list, a braced GUID in either case followed by at most four characters.
inline bool IsPackableGuid(const char* text) {
    int length = 0;
    while (length <= 42 && text[length]) ++length;
    return length >= 38 && length <= 42 && HasBracedGuidShape(text, false);
}

// vesk's rule: the only form Windows Installer itself writes, exactly 38
// characters in upper case.
inline bool IsCanonicalGuid(const char* text) {
    int length = 0;
    while (length <= 38 && text[length]) ++length;
    return length == 38 && HasBracedGuidShape(text, true);
}

// The conversions a question for wsprintfA may hold: up to maxArguments "%s",
// taking the arguments in order, and "%%". Anything else would make
// wsprintfA read arguments that were never passed. The number of "%s", or -1.
inline int CountTextConversions(const char* format, int maxArguments) {
    int count = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == 's') ++count;
        else if (*p != '%') return -1;
    }
    return count <= maxArguments ? count : -1;
}

// The splash's init line from VeskInitPrefix and VeskInitSuffix, into out
// (cap bytes, always terminated, cut when it does not fit): the prefix and a
// blank unless it ends with one, the fixed words, then the suffix with a
// leading '^' turned into a blank (an INI value loses its leading blanks).
inline void ComposeInitLine(char* out, unsigned cap, const char* prefix, const char* suffix) {
    const char* last = prefix;
    for (const char* p = prefix; *p; ++p) last = p;
    const char* blank = *prefix && *last != ' ' ? " " : "";
    const bool caret = suffix[0] == '^';
    const char* pieces[] = {prefix, blank, FIXED_INIT_WORDS, caret ? " " : "", caret ? suffix + 1 : suffix};
    unsigned at = 0;
    for (const char* piece : pieces)
        for (const char* p = piece; *p && at + 1 < cap; ++p) out[at++] = *p;
    if (cap) out[at] = 0;
}
