// lstrlenA, lstrcmpA, lstrcmpiA and MulDiv.
#include <cctype>
#include <cstdint>

#include "sim/faults.h"
#include "win32/api.h"

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

int CompareFolded(LPCSTR a, LPCSTR b) {
    a = a ? a : "";
    b = b ? b : "";
    for (;; ++a, ++b) {
        int ca = std::tolower(static_cast<unsigned char>(*a));
        int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb || !ca) return Sign(ca - cb);
    }
}

}  // namespace

extern "C" {

int WINAPI lstrlenA(LPCSTR text) {
    const sim::faults::Call call(__func__);
    if (!text) return 0;
    int n = 0;
    while (text[n]) ++n;
    return n;
}

// The platform compares by word sort: letters ignoring case first, and
// only equal-but-for-case strings are then told apart (lower case first).
int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
    const sim::faults::Call call(__func__);
    int folded = CompareFolded(a, b);
    if (folded) return folded;
    a = a ? a : "";
    b = b ? b : "";
    for (; *a; ++a, ++b)
        if (*a != *b) return std::islower(static_cast<unsigned char>(*a)) ? -1 : 1;
    return 0;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    const sim::faults::Call call(__func__);
    return CompareFolded(a, b);
}

// number * numerator / denominator with a 64-bit product, rounded half
// away from zero; -1 on division by zero or overflow.
int WINAPI MulDiv(int number, int numerator, int denominator) {
    const sim::faults::Call call(__func__);
    if (denominator == 0) return -1;
    int64_t product = int64_t(number) * numerator;
    int64_t half = (denominator < 0 ? -int64_t(denominator) : denominator) / 2;
    bool negative = (product < 0) != (denominator < 0);
    int64_t magnitude = (product < 0 ? -product : product) + half;
    int64_t result = magnitude / (denominator < 0 ? -int64_t(denominator) : denominator);
    if (negative) result = -result;
    if (result > INT32_MAX || result < INT32_MIN) return -1;
    return int(result);
}

}  // extern "C"
