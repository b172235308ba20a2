// Bounded text and memory helpers.
#include "base/text.h"

UINT BoundedLength(LPCSTR text, UINT cap) {
    UINT n = 0;
    while (n < cap && text[n]) ++n;
    return n;
}

BOOL CopyText(char* dst, UINT cap, LPCSTR src) {
    UINT i = 0;
    for (; src[i]; ++i) {
        if (i + 1 >= cap) {
            dst[i] = 0;
            return FALSE;
        }
        dst[i] = src[i];
    }
    dst[i] = 0;
    return TRUE;
}

BOOL AppendText(char* dst, UINT cap, LPCSTR src) {
    UINT used = BoundedLength(dst, cap);
    if (used >= cap) {  // an unterminated buffer is terminated, and nothing fits
        dst[cap - 1] = 0;
        return src[0] == 0;
    }
    return CopyText(dst + used, cap - used, src);
}

void FillBytes(void* dst, BYTE value, UINT count) {
    BYTE* p = (BYTE*)dst;
    while (count--) *p++ = value;
}

void CopyBytes(void* dst, const void* src, UINT count) {
    BYTE* d = (BYTE*)dst;
    const BYTE* s = (const BYTE*)src;
    while (count--) *d++ = *s++;
}

BOOL EqualBytes(const void* a, const void* b, UINT count) {
    const BYTE* x = (const BYTE*)a;
    const BYTE* y = (const BYTE*)b;
    while (count--)
        if (*x++ != *y++) return FALSE;
    return TRUE;
}

void* AllocateLocked(UINT flags, DWORD size, HGLOBAL* memory) {
    *memory = GlobalAlloc(flags, size);
    void* locked = *memory ? GlobalLock(*memory) : NULL;
    if (!locked && *memory) {
        GlobalFree(*memory);
        *memory = NULL;
    }
    return locked;
}

void ReleaseLocked(HGLOBAL* memory) {
    if (!*memory) return;
    GlobalUnlock(*memory);
    GlobalFree(*memory);
    *memory = NULL;
}

// Walked with CharNextA, so that the trail byte of a double-byte character is
// never taken for a character (a backslash) of its own.
char* LastCharacters(char* text, UINT count) {
    char* starts[3] = {text, text, text};
    UINT seen = 0;
    for (char* p = text; *p; p = CharNextA(p)) starts[seen++ % 3] = p;
    if (seen < count) return text;
    return starts[(seen - count) % 3];
}

BOOL EndsWithBackslash(char* text) { return *LastCharacters(text, 1) == '\\'; }

BOOL IsPlainName(LPCSTR name) {
    for (LPCSTR p = name; *p; p = CharNextA(p))
        if (*p == '\\' || *p == '/' || *p == ':' || (p[0] == '.' && p[1] == '.')) return FALSE;
    return TRUE;
}
