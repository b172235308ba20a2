#include "setup_texts.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "format/ini_keys.h"
#include "format/text_rules.h"
#include "escaped_text.h"
#include "text_encoding.h"

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

std::optional<std::string> FileNameProblem(std::string_view stored, unsigned codePage) {
    if (stored.empty()) return "is empty";
    bool lastIsByte = false;  // the last character is one byte, not a double-byte one
    for (size_t at = 0; at < stored.size(); ++at) {
        const char c = stored[at];
        lastIsByte = !IsLeadByte(codePage, static_cast<uint8_t>(c)) || at + 1 == stored.size();
        if (!lastIsByte) {
            ++at;
            continue;
        }
        if (static_cast<unsigned char>(c) < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return "holds " + Quoted(std::string_view(&c, 1)) + " as the setup reads it in code page " +
                   std::to_string(codePage) + ", which Windows does not take in a file name";
    }
    if (lastIsByte && (stored.back() == '.' || stored.back() == ' ')) return "ends in a dot or a blank";
    // The setup takes any ".." for a step up and refuses the container.
    if (stored.find("..") != std::string_view::npos) return "holds '..', which the setup refuses in a file name";
    // Windows opens the device for its name with any extension, blanks
    // before the dot included.
    std::string stem = FromCodePage(stored.substr(0, stored.find('.')), codePage).value_or("");
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool numbered = (stem.starts_with("COM") || stem.starts_with("LPT")) && stem.size() > 3 &&
                          (stem.size() == 4 ? std::isdigit(static_cast<unsigned char>(stem[3])) != 0
                                            : stem.substr(3) == "\u00b9" || stem.substr(3) == "\u00b2" ||
                                                  stem.substr(3) == "\u00b3");
    if (numbered || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return "names the Windows device " + stem;
    return std::nullopt;
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
