#include "text_encoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "failure.h"

namespace vesk {

namespace {

struct AnsiCodePage {
    unsigned codePage;
    uint8_t fontCharSet;
};
constexpr std::array<AnsiCodePage, 14> kAnsiCodePages = {{{874, 222},  {932, 128},  {936, 134},  {949, 129},
                                                          {950, 136},  {1250, 238}, {1251, 204}, {1252, 0},
                                                          {1253, 161}, {1254, 162}, {1255, 177}, {1256, 178},
                                                          {1257, 186}, {1258, 163}}};

const AnsiCodePage* FindAnsiCodePage(unsigned codePage) {
    auto it = std::find_if(kAnsiCodePages.begin(), kAnsiCodePages.end(),
                           [&](const AnsiCodePage& page) { return page.codePage == codePage; });
    return it == kAnsiCodePages.end() ? nullptr : &*it;
}
constexpr char32_t kReplacement = 0xFFFD;

// The scalar value of the sequence at text[at] of Utf8SequenceAt's length.
char32_t CodePointAt(std::string_view text, size_t at, size_t length) {
    const auto lead = static_cast<uint8_t>(text[at]);
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<uint8_t>(text[at + k]) & 0x3F);
    return code;
}

struct IconvClose {
    void operator()(iconv_t* cd) const {
        iconv_close(*cd);
        delete cd;
    }
};
using Converter = std::unique_ptr<iconv_t, IconvClose>;

Converter Open(const std::string& to, const std::string& from) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return Converter(new iconv_t(cd));
}

std::string IconvName(unsigned codePage) {
    return "CP" + std::to_string(codePage);
}

// Runs the conversion over all of input, then flushes what the converter
// holds back (CP1255 and CP1258 wait for a combining mark); returns the
// offset of the input it could not convert, or none.
std::optional<size_t> Convert(const Converter& converter, std::string_view input, std::string& output) {
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    for (bool flushing = false;;) {
        char buffer[256];
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = flushing ? iconv(*converter, nullptr, nullptr, &out, &outLeft)
                                       : iconv(*converter, &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<size_t>(out - buffer));
        if (result == static_cast<size_t>(-1) && errno != E2BIG) return static_cast<size_t>(in - input.data());
        if (result != static_cast<size_t>(-1)) {
            if (flushing) return std::nullopt;
            flushing = inLeft == 0;
        }
    }
}

}  // namespace

size_t Utf8SequenceAt(std::string_view text, size_t at) {
    const auto lead = static_cast<uint8_t>(text[at]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || length > text.size() - at) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<uint8_t>(text[at + k]) & 0xC0) != 0x80) return 0;
    const char32_t code = CodePointAt(text, at, length);
    constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool scalar = code >= least[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    return scalar ? length : 0;
}

std::optional<size_t> InvalidUtf8At(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8SequenceAt(text, at);
        if (length == 0) return at;
        at += length;
    }
    return std::nullopt;
}

std::u16string Utf16(std::string_view utf8) {
    std::u16string out;
    for (size_t at = 0; at < utf8.size();) {
        const size_t length = Utf8SequenceAt(utf8, at);
        const char32_t code = length ? CodePointAt(utf8, at, length) : kReplacement;
        at += length ? length : 1;
        if (code >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

std::string Utf8(std::u16string_view utf16) {
    std::string out;
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t code = utf16[i];
        const bool high = code >= 0xD800 && code < 0xDC00;
        if (high && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        else if (code >= 0xD800 && code < 0xE000)
            code = kReplacement;  // a lone surrogate
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

bool IsAnsiCodePage(unsigned codePage) {
    return FindAnsiCodePage(codePage) != nullptr;
}

std::string AnsiCodePageList() {
    std::string list;
    for (const AnsiCodePage& page : kAnsiCodePages) list += (list.empty() ? "" : ", ") + std::to_string(page.codePage);
    return list;
}

uint8_t FontCharSetOf(unsigned codePage) {
    const AnsiCodePage* page = FindAnsiCodePage(codePage);
    return page ? page->fontCharSet : 0;
}

CodePageText ToCodePage(std::string_view utf8, unsigned codePage) {
    CodePageText text;
    Converter converter = Open(IconvName(codePage), "UTF-8");
    if (!converter) throw Failure("code page " + std::to_string(codePage), "this system cannot convert text to it");
    if (auto at = Convert(converter, utf8, text.bytes))
        text.unrepresentable = std::string(utf8.substr(*at, std::max<size_t>(1, Utf8SequenceAt(utf8, *at))));
    return text;
}

std::optional<std::string> FromCodePage(std::string_view bytes, unsigned codePage) {
    Converter converter = Open("UTF-8", IconvName(codePage));
    std::string text;
    if (!converter || Convert(converter, bytes, text)) return std::nullopt;
    return text;
}

std::string DescribeCharacter(std::string_view utf8Character) {
    const size_t length = utf8Character.empty() ? 0 : Utf8SequenceAt(utf8Character, 0);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", length ? static_cast<unsigned>(CodePointAt(utf8Character, 0, length)) : 0xFFFDu);
    return "'" + std::string(utf8Character) + "' (" + code + ")";
}

}  // namespace vesk
