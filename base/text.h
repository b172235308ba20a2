// Bounded text and memory helpers. The stub has no C runtime, and every copy
// into a fixed buffer goes through these so that none is ever overrun.
#pragma once

#include "win32/api.h"

// Copies src into dst (capacity cap bytes, cap > 0), always terminated.
// Returns FALSE when src had to be cut.
BOOL CopyText(char* dst, UINT cap, LPCSTR src);
// Appends src to the text in dst, always terminated. FALSE when cut.
BOOL AppendText(char* dst, UINT cap, LPCSTR src);
// Length of a text of at most cap bytes (cap when no NUL is found).
UINT BoundedLength(LPCSTR text, UINT cap);
void FillBytes(void* dst, BYTE value, UINT count);
void CopyBytes(void* dst, const void* src, UINT count);
BOOL EqualBytes(const void* a, const void* b, UINT count);
// Global memory of size bytes (flags as GlobalAlloc takes them), locked:
// its address with its handle in *memory, or NULL with nothing held.
void* AllocateLocked(UINT flags, DWORD size, HGLOBAL* memory);
// Unlocks and frees what AllocateLocked gave, if anything; *memory is NULL after.
void ReleaseLocked(HGLOBAL* memory);
// Little-endian loads from a byte buffer, inline for the CRC's inner loop.
inline WORD LoadWord(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }
inline DWORD LoadDword(const BYTE* p) {
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

// Where the last count (1 to 3) characters of a text begin, walking
// double-byte characters whole; the text itself when it is shorter.
char* LastCharacters(char* text, UINT count);
BOOL EndsWithBackslash(char* text);
// A name of one file, walked character by character: no backslash, slash or
// colon (a trail byte of a double-byte character is none), and no "..".
BOOL IsPlainName(LPCSTR name);
