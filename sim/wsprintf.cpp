// wsprintfA: the platform's formatter, with its conversions (%s %c %d %i %u
// %x %X, 'l' and 'h' sizes, widths, precision, '-', '0' and '#' flags), no
// floating point, and at most 1024 bytes of output with the terminator.
#include <cstdarg>
#include <cstdint>
#include <string>

#include "win32/api.h"

namespace {

constexpr size_t kOutputLimit = 1024;

std::string Digits(uint32_t value, unsigned base, bool upper) {
    const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), symbols[value % base]);
        value /= base;
    } while (value);
    return digits;
}

struct Spec {
    bool left = false, zero = false, alternate = false;
    int width = 0;
    int precision = -1;
};

void Pad(std::string& out, const std::string& sign, const std::string& body, const Spec& spec,
         bool numeric) {
    size_t length = sign.size() + body.size();
    size_t fill = spec.width > int(length) ? size_t(spec.width) - length : 0;
    if (spec.left) {
        out += sign + body + std::string(fill, ' ');
    } else if (spec.zero && numeric) {
        out += sign + std::string(fill, '0') + body;
    } else {
        out += std::string(fill, ' ') + sign + body;
    }
}

}  // namespace

extern "C" int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    std::string out;
    for (const char* p = format; *p && out.size() < kOutputLimit; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        Spec spec;
        for (;; ++p) {
            if (*p == '-') spec.left = true;
            else if (*p == '0') spec.zero = true;
            else if (*p == '#') spec.alternate = true;
            else break;
        }
        while (*p >= '0' && *p <= '9') spec.width = spec.width * 10 + (*p++ - '0');
        if (*p == '.') {
            spec.precision = 0;
            for (++p; *p >= '0' && *p <= '9'; ++p) spec.precision = spec.precision * 10 + (*p - '0');
        }
        // 'l' and 'h' change nothing here: int and long are both 32 bits
        // on the platform, and the stub passes 32-bit values.
        while (*p == 'l' || *p == 'h') ++p;
        switch (*p) {
            case 's': {
                const char* text = va_arg(args, const char*);
                std::string body = text ? text : "(null)";
                if (spec.precision >= 0 && size_t(spec.precision) < body.size())
                    body.resize(size_t(spec.precision));
                Pad(out, "", body, spec, false);
                break;
            }
            case 'c': Pad(out, "", std::string(1, char(va_arg(args, int))), spec, false); break;
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X': {
                uint32_t raw = va_arg(args, uint32_t);
                bool isSigned = *p == 'd' || *p == 'i';
                bool negative = isSigned && int32_t(raw) < 0;
                uint32_t magnitude = negative ? 0u - raw : raw;
                unsigned base = (*p == 'x' || *p == 'X') ? 16 : 10;
                std::string body = Digits(magnitude, base, *p == 'X');
                if (spec.precision >= 0 && int(body.size()) < spec.precision)
                    body.insert(0, size_t(spec.precision) - body.size(), '0');
                std::string sign = negative ? "-" : "";
                if (spec.alternate && base == 16 && raw) sign += *p == 'X' ? "0X" : "0x";
                Pad(out, sign, body, spec, true);
                break;
            }
            case 0: --p; break;  // a lone '%' at the end prints nothing
            default: out += *p; break;  // "%%" and unknown types print the character
        }
    }
    va_end(args);
    if (out.size() > kOutputLimit - 1) out.resize(kOutputLimit - 1);
    out.copy(buffer, out.size());
    buffer[out.size()] = 0;
    return int(out.size());
}
