// Bytes read from a file, shown as text: a stored name or text may hold
// anything, and printed as it is a line break would split a one-line
// message and an escape sequence would drive the terminal.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// How a byte or character with no escape of its own is written: \xNN
// (each byte) in messages and text reports; in JSON \uNNNN, and \ufffd for
// a byte that is not UTF-8.
enum class EscapeForm { Text, Json };

// The bytes with a backslash, the quote character (when given), control
// characters (C1 too), the marks that reorder or break a line (U+200E,
// U+200F, U+2028 to U+202E, U+2066 to U+2069) and bytes that are not UTF-8
// written as escapes: \\, \", \n, \r, \t, then the form's. Other UTF-8
// text is kept as it is.
std::string Escaped(std::string_view bytes, char quote = 0, EscapeForm form = EscapeForm::Text);

// The same between quotes: 'name'.
std::string Quoted(std::string_view bytes, char quote = '\'', EscapeForm form = EscapeForm::Text);

}  // namespace vesk
