// Bytes read from a file, shown as text: a stored name or text may hold
// anything, and printed as it is a line break would split a one-line
// message and an escape sequence would drive the terminal.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// How a byte with no escape of its own is written: \xNN in messages and
// text reports, \u00NN in JSON.
enum class EscapeForm { Text, Json };

// The bytes with a backslash, the quote character (when given), control
// characters and bytes outside ASCII written as escapes: \\, \", \n, \r,
// \t, \xNN.
std::string Escaped(std::string_view bytes, char quote = 0, EscapeForm form = EscapeForm::Text);

// The same between quotes: 'name'.
std::string Quoted(std::string_view bytes, char quote = '\'', EscapeForm form = EscapeForm::Text);

}  // namespace vesk
