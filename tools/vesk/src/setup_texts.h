// Rules for the texts the setup shows or passes on: the splash init line,
// the product code and the installed-version question.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// The init line the setup composes from VeskInitPrefix and VeskInitSuffix:
// the prefix and a blank unless it ends with one, the fixed words, then the
// suffix with a leading '^' turned into a blank.
std::string ComposeInitLine(const std::string& prefix, const std::string& suffix);

struct InitLineParts {
    std::string prefix;
    std::string suffix;
};
// Prefix and suffix that compose back to initLine; none when no pair does.
std::optional<InitLineParts> SplitInitLine(const std::string& initLine);

// The first control character in a settings value, tab excepted: a value
// is one line of text for the setup to show or pass on, and a NUL would end
// it early (the rest read as the next stored string).
std::optional<char> FirstControlCharacter(const std::string& value);

// What keeps a name, stored in the code page, from being one the setup can
// write a file under, judged on the bytes as the setup walks them with
// CharNextA: a folder separator, ':' or a character Windows refuses in a
// file name (below 32, <>"|?*), a trailing dot or blank, a device name
// (CON, PRN, AUX, NUL, COM0-9, LPT0-9, with any extension). None when the
// name is sound.
std::optional<std::string> FileNameProblem(std::string_view stored, unsigned codePage);

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} in upper-case hexadecimal, the
// only form Windows Installer accepts for a product code.
bool IsBracedGuid(const std::string& text);

// The question text receives five string arguments through wsprintfA; any
// conversion but %s (and the literal %%), or more than five, would read
// arguments that do not exist. Returns what is wrong, or nothing.
std::optional<std::string> CheckQuestionConversions(const std::string& text);

}  // namespace vesk
