#include "escaped_text.h"

#include <cstdio>

#include "text_encoding.h"

namespace vesk {

namespace {

// A character that moves or hides text when shown: C1 controls and the
// directional and line-breaking marks.
bool IsHidingMark(char32_t code) {
    return (code >= 0x80 && code < 0xA0) || code == 0x200E || code == 0x200F || (code >= 0x2028 && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

void PutEscape(std::string& text, const char* format, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, format, value);
    text += escape;
}

}  // namespace

std::string Escaped(std::string_view bytes, char quote, EscapeForm form) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const char c = bytes[at];
        const auto u = static_cast<unsigned char>(c);
        const size_t length = Utf8SequenceAt(bytes, at);
        if (length > 1) {
            const std::u16string wide = Utf16(bytes.substr(at, length));
            const char32_t code = wide.size() == 1 ? wide[0] : 0x10000;
            if (!IsHidingMark(code)) {
                text += bytes.substr(at, length);
            } else if (form == EscapeForm::Json) {
                PutEscape(text, "\\u%04x", static_cast<unsigned>(code));
            } else {
                for (size_t k = 0; k < length; ++k) PutEscape(text, "\\x%02x", static_cast<unsigned char>(bytes[at + k]));
            }
            at += length;
            continue;
        }
        ++at;
        if (c == '\\' || (quote != 0 && c == quote)) {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\t') {
            text += "\\t";
        } else if (u < 32 || u == 127) {
            PutEscape(text, form == EscapeForm::Json ? "\\u%04x" : "\\x%02x", u);
        } else if (u > 127) {
            if (form == EscapeForm::Json) text += "\\ufffd";
            else PutEscape(text, "\\x%02x", u);
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
