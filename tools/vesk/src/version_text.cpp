#include "version_text.h"

#include <charconv>

#include "format/text_rules.h"

namespace vesk {

std::optional<VersionWords> ParseVersionText(const std::string& text) {
    // Only what the setup reads as written: up to four parts, each plain
    // digits of at most 65535. The words are then the setup's own reading.
    size_t parts = 0;
    for (size_t start = 0; !text.empty() && start <= text.size(); ++parts) {
        size_t dot = text.find('.', start);
        size_t end = dot == std::string::npos ? text.size() : dot;
        uint32_t value = 0;
        auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + end, value);
        if (end == start || ec != std::errc() || ptr != text.data() + end || value > 0xFFFF) return std::nullopt;
        start = end + 1;
    }
    if (parts > 4) return std::nullopt;
    const VersionPair read = ReadVersionText(text.c_str());
    return VersionWords{read.ms, read.ls};
}

std::string FormatVersionText(VersionWords words) {
    if (words.ms == 0 && words.ls == 0) return "";
    return std::to_string(words.ms >> 16) + "." + std::to_string(words.ms & 0xFFFF) + "." +
           std::to_string(words.ls >> 16) + "." + std::to_string(words.ls & 0xFFFF);
}

}  // namespace vesk
