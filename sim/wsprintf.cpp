// wsprintfA: the platform's formatter, with its conversions (%s %c %d %i %u
// %x %X, 'l' and 'h' sizes, widths, precision, '-', '0' and '#' flags), no
// floating point, and at most 1024 bytes of output with the terminator.
#include <cstdarg>
#include <cstdint>
#include <string>

#include "sim/faults.h"
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

struct Conversion {
    bool left = false, zero = false, alternate = false;
    int width = 0;
    int precision = -1;
};

void Pad(std::string& out, const std::string& sign, const std::string& body, const Conversion& conversion,
         bool numeric) {
    size_t length = sign.size() + body.size();
    size_t fill = conversion.width > int(length) ? size_t(conversion.width) - length : 0;
    if (conversion.left) {
        out += sign + body + std::string(fill, ' ');
    } else if (conversion.zero && numeric) {
        out += sign + std::string(fill, '0') + body;
    } else {
        out += std::string(fill, ' ') + sign + body;
    }
}

}  // namespace

extern "C" int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    const sim::faults::Call call(__func__);
    va_list args;
    va_start(args, format);
    std::string out;
    for (const char* p = format; *p && out.size() < kOutputLimit; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        Conversion conversion;
        for (;; ++p) {
            if (*p == '-') conversion.left = true;
            else if (*p == '0') conversion.zero = true;
            else if (*p == '#') conversion.alternate = true;
            else break;
        }
        while (*p >= '0' && *p <= '9') conversion.width = conversion.width * 10 + (*p++ - '0');
        if (*p == '.') {
            conversion.precision = 0;
            for (++p; *p >= '0' && *p <= '9'; ++p) conversion.precision = conversion.precision * 10 + (*p - '0');
        }
        // 'l' and 'h' change nothing here: int and long are both 32 bits
        // on the platform, and the stub passes 32-bit values.
        while (*p == 'l' || *p == 'h') ++p;
        switch (*p) {
            case 's': {
                const char* text = va_arg(args, const char*);
                std::string body = text ? text : "(null)";
                if (conversion.precision >= 0 && size_t(conversion.precision) < body.size())
                    body.resize(size_t(conversion.precision));
                Pad(out, "", body, conversion, false);
                break;
            }
            case 'c': Pad(out, "", std::string(1, char(va_arg(args, int))), conversion, false); break;
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
                if (conversion.precision >= 0 && int(body.size()) < conversion.precision)
                    body.insert(0, size_t(conversion.precision) - body.size(), '0');
                std::string sign = negative ? "-" : "";
                if (conversion.alternate && base == 16 && raw) sign += *p == 'X' ? "0X" : "0x";
                Pad(out, sign, body, conversion, true);
                break;
            }
            case 0: --p; break;  // a lone '%' at the end prints nothing
            default: out += *p; break;  // "%%" and unknown types print the character
        }
    }
    va_end(args);
    // Cut output keeps 1023 characters and its terminator, and is reported
    // as the whole limit, as Wine's implementation reports it.
    const bool cut = out.size() > kOutputLimit - 1;
    if (cut) out.resize(kOutputLimit - 1);
    out.copy(buffer, out.size());
    buffer[out.size()] = 0;
    return cut ? int(kOutputLimit) : int(out.size());
}
