#include "text_rules.h"

#include <algorithm>
#include <string>

#include "base/ini_keys.h"
#include "base/text_rules.h"
#include "escaped_text.h"

namespace vesk {

namespace {

constexpr int kQuestionArguments = 5;

}  // namespace

std::string ComposeInitLine(const std::string& prefix, const std::string& suffix) {
    // The setup's own composition, with room for the whole line.
    std::string line(prefix.size() + suffix.size() + sizeof FIXED_INIT_WORDS + 2, '\0');
    ::ComposeInitLine(line.data(), static_cast<unsigned>(line.size()), prefix.c_str(), suffix.c_str());
    line.resize(std::char_traits<char>::length(line.c_str()));
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

bool IsBracedGuid(const std::string& text) { return text.size() == 38 && IsCanonicalGuid(text.c_str()); }

std::optional<std::string> CheckQuestionConversions(const std::string& text) {
    // The verdict is the setup's own rule; the rest only names what is wrong.
    if (CountTextConversions(text.c_str(), kQuestionArguments) >= 0) return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 == text.size()) return "ends in a lone '%'";
        char next = text[++i];
        if (next != '%' && next != 's')
            return "has the conversion %" + Escaped(std::string_view(&next, 1)) + "; only %s and %% are allowed";
    }
    return "has more than five %s conversions";
}

}  // namespace vesk
