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
    // The lead bytes of a double-byte code page: leadFirst to leadLast, but
    // for gapFirst to gapLast.
    uint8_t leadFirst = 0;
    uint8_t leadLast = 0;
    uint8_t gapFirst = 0;
    uint8_t gapLast = 0;
};
constexpr std::array<AnsiCodePage, 14> kAnsiCodePages = {{{874, 222},
                                                          {932, 128, 0x81, 0xFC, 0xA0, 0xDF},
                                                          {936, 134, 0x81, 0xFE},
                                                          {949, 129, 0x81, 0xFE},
                                                          {950, 136, 0x81, 0xFE},
                                                          {1250, 238}, {1251, 204}, {1252, 0}, {1253, 161},
                                                          {1254, 162}, {1255, 177}, {1256, 178}, {1257, 186},
                                                          {1258, 163}}};

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

// Letters code page 1258 stores whole, which decomposed text spells as a
// base letter and a mark the code page lacks (circumflex, breve, horn); its
// tone marks it stores as marks of their own.
struct Composition {
    char base;
    const char* mark;
    const char* letter;
};
constexpr Composition kCodePage1258Letters[] = {
    {'A', "\u0302", "\u00c2"}, {'a', "\u0302", "\u00e2"}, {'E', "\u0302", "\u00ca"}, {'e', "\u0302", "\u00ea"},
    {'O', "\u0302", "\u00d4"}, {'o', "\u0302", "\u00f4"}, {'A', "\u0306", "\u0102"}, {'a', "\u0306", "\u0103"},
    {'O', "\u031b", "\u01a0"}, {'o', "\u031b", "\u01a1"}, {'U', "\u031b", "\u01af"}, {'u', "\u031b", "\u01b0"},
};
constexpr std::string_view kDotBelow = "\u0323";

// The text with each such base letter and mark joined into the code page's
// letter. A dot below may stand between them (canonical order puts it
// first); it then follows the letter, as the code page stores it.
std::string JoinCodePage1258Letters(std::string_view text) {
    std::string joined;
    for (size_t at = 0; at < text.size(); ++at) {
        joined += text[at];
        const std::string_view rest = text.substr(at + 1);
        const size_t dot = rest.starts_with(kDotBelow) ? kDotBelow.size() : 0;
        for (const Composition& c : kCodePage1258Letters) {
            const std::string_view mark = c.mark;
            if (text[at] != c.base || rest.substr(dot, mark.size()) != mark) continue;
            joined.back() = c.letter[0];
            joined += std::string_view(c.letter).substr(1);
            joined += rest.substr(0, dot);
            at += dot + mark.size();
            break;
        }
    }
    return joined;
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

bool IsLeadByte(unsigned codePage, uint8_t byte) {
    const AnsiCodePage* page = FindAnsiCodePage(codePage);
    return page && page->leadFirst != 0 && byte >= page->leadFirst && byte <= page->leadLast &&
           !(byte >= page->gapFirst && byte <= page->gapLast);
}

CodePageText ToCodePage(std::string_view utf8, unsigned codePage) {
    CodePageText text;
    Converter converter = Open(IconvName(codePage), "UTF-8");
    if (!converter) throw Failure("code page " + std::to_string(codePage), "this system cannot convert text to it");
    const std::string joined = codePage == 1258 ? JoinCodePage1258Letters(utf8) : std::string(utf8);
    if (auto at = Convert(converter, joined, text.bytes))
        text.unrepresentable = joined.substr(*at, std::max<size_t>(1, Utf8SequenceAt(joined, *at)));
    return text;
}

std::optional<std::string> FromCodePage(std::string_view bytes, unsigned codePage) {
    Converter converter = Open("UTF-8", IconvName(codePage));
    std::string text;
    if (!converter) return std::nullopt;
    const AnsiCodePage* page = FindAnsiCodePage(codePage);
    if (page && page->leadFirst != 0) return Convert(converter, bytes, text) ? std::nullopt : std::optional(text);
    // One byte, one character: converted alone, a mark is not composed with
    // the letter before it (as CP1255 and CP1258 would), so the text
    // converts back to the same bytes.
    for (size_t at = 0; at < bytes.size(); ++at)
        if (Convert(converter, bytes.substr(at, 1), text)) return std::nullopt;
    return text;
}

std::string DescribeCharacter(std::string_view utf8Character) {
    const size_t length = utf8Character.empty() ? 0 : Utf8SequenceAt(utf8Character, 0);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", length ? static_cast<unsigned>(CodePointAt(utf8Character, 0, length)) : 0xFFFDu);
    return "'" + std::string(utf8Character) + "' (" + code + ")";
}

}  // namespace vesk
