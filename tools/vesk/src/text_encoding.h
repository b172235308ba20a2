// Text as vesk takes it (UTF-8: settings, options, the MSI's strings) and as
// the setup shows it (8-bit text in one Windows ANSI code page, drawn and
// passed on with the ANSI functions), and the UTF-16 of the version resource.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// The code page a setup's texts are stored in when none is given: Western
// European, the ANSI code page of most of the world's Windows machines.
inline constexpr unsigned kDefaultCodePage = 1252;

// The offset of the first byte that does not begin a whole, shortest UTF-8
// sequence of a Unicode scalar value; none when all of text is UTF-8.
std::optional<size_t> InvalidUtf8At(std::string_view text);

// The length of the UTF-8 sequence at text[at], or 0 where none begins.
size_t Utf8SequenceAt(std::string_view text, size_t at);

// Conversions of UTF-8 text; a byte that begins no sequence becomes U+FFFD.
std::u16string Utf16(std::string_view utf8);
std::string Utf8(std::u16string_view utf16);

// The Windows ANSI code pages: 874, 932, 936, 949, 950, 1250 to 1258.
bool IsAnsiCodePage(unsigned codePage);
std::string AnsiCodePageList();

// The font character set (LOGFONT lfCharSet) whose glyphs that code page's
// text needs: ANSI_CHARSET (0) for 1252, RUSSIAN_CHARSET (204) for 1251.
uint8_t FontCharSetOf(unsigned codePage);

struct CodePageText {
    std::string bytes;
    std::string unrepresentable;  // the first character the code page lacks, as UTF-8; empty when none
};

// Whether the byte begins a double-byte character in the code page, as
// CharNextA steps over it.
bool IsLeadByte(unsigned codePage, uint8_t byte);

// UTF-8 text in the code page, which must be an ANSI one. Text is stored as
// given, composed or decomposed; for 1258, a base letter and a mark the
// code page has no mark for (circumflex, breve, horn) become its letter,
// and tone marks stay marks.
CodePageText ToCodePage(std::string_view utf8, unsigned codePage);

// Text in the code page as UTF-8, each byte of a single-byte code page
// alone (no letter and mark composed), so that ToCodePage gives the same
// bytes back; none when bytes are not text of that code page.
std::optional<std::string> FromCodePage(std::string_view bytes, unsigned codePage);

// "'é' (U+00E9)": a character named in a message.
std::string DescribeCharacter(std::string_view utf8Character);

}  // namespace vesk
