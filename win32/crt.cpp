// The few routines the compiler may call on its own (block copies and
// clears) for the Windows build, which links no C runtime.
#include "win32/api.h"
#include <stddef.h>

extern "C" {

STUB_EXPORT void* memset(void* dst, int value, size_t count) {
    unsigned char* p = (unsigned char*)dst;
    while (count--) *p++ = (unsigned char)value;
    return dst;
}

STUB_EXPORT void* memcpy(void* dst, const void* src, size_t count) {
    unsigned char* d = (unsigned char*)dst;
    const unsigned char* s = (const unsigned char*)src;
    while (count--) *d++ = *s++;
    return dst;
}

}  // extern "C"
