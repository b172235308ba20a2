#include "text_rules.h"

#include <algorithm>

#include "base/ini_keys.h"
#include "escaped_text.h"

namespace vesk {

namespace {

constexpr int kQuestionArguments = 5;

bool IsUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

std::string ComposeInitLine(const std::string& prefix, const std::string& suffix) {
    std::string line = prefix;
    if (!line.empty() && line.back() != ' ') line += ' ';
    line += FIXED_INIT_WORDS;
    if (!suffix.empty() && suffix.front() == '^')
        line += " " + suffix.substr(1);
    else
        line += suffix;
    return line;
}

std::optional<InitLineParts> SplitInitLine(const std::string& initLine) {
    const std::string fixed = FIXED_INIT_WORDS;
    for (size_t at = initLine.find(fixed); at != std::string::npos; at = initLine.find(fixed, at + 1)) {
        InitLineParts parts{initLine.substr(0, at), initLine.substr(at + fixed.size())};
        if (ComposeInitLine(parts.prefix, parts.suffix) == initLine) return parts;
    }
    return std::nullopt;
}

std::optional<char> FirstControlCharacter(const std::string& value) {
    auto found = std::find_if(value.begin(), value.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return (u < 32 && c != '\t') || u == 127;
    });
    if (found == value.end()) return std::nullopt;
    return *found;
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\/:*?\"<>|") == std::string::npos &&
           std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
}

bool IsBracedGuid(const std::string& text) {
    static const std::string shape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'X' ? !IsUpperHex(text[i]) : text[i] != shape[i]) return false;
    }
    return true;
}

std::optional<std::string> CheckQuestionConversions(const std::string& text) {
    int conversions = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 == text.size()) return "ends in a lone '%'";
        char next = text[++i];
        if (next == '%') continue;
        if (next != 's') return "has the conversion %" + Escaped(std::string_view(&next, 1)) + "; only %s and %% are allowed";
        if (++conversions > kQuestionArguments) return "has more than five %s conversions";
    }
    return std::nullopt;
}

}  // namespace vesk
