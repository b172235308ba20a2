#include "escaped_text.h"

#include <cstdio>

namespace vesk {

std::string Escaped(std::string_view bytes, char quote, EscapeForm form) {
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\\' || (quote != 0 && c == quote)) {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\t') {
            text += "\\t";
        } else if (u < 32 || u >= 127) {
            char escape[8];
            std::snprintf(escape, sizeof escape, form == EscapeForm::Json ? "\\u%04x" : "\\x%02x", u);
            text += escape;
        } else {
            text += c;
        }
    }
    return text;
}

std::string Quoted(std::string_view bytes, char quote, EscapeForm form) {
    return quote + Escaped(bytes, quote, form) + quote;
}

}  // namespace vesk
