#include "version_text.h"

#include <charconv>
#include <vector>

namespace vesk {

std::optional<VersionWords> ParseVersionText(const std::string& text) {
    if (text.empty()) return VersionWords{};
    std::vector<uint32_t> parts;
    size_t start = 0;
    while (true) {
        size_t dot = text.find('.', start);
        size_t end = dot == std::string::npos ? text.size() : dot;
        if (end == start) return std::nullopt;
        uint32_t value = 0;
        auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + end, value);
        if (ec != std::errc() || ptr != text.data() + end || value > 0xFFFF) return std::nullopt;
        parts.push_back(value);
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() > 4) return std::nullopt;
    parts.resize(4, 0);
    return VersionWords{(parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]};
}

std::string FormatVersionText(VersionWords words) {
    if (words.ms == 0 && words.ls == 0) return "";
    return std::to_string(words.ms >> 16) + "." + std::to_string(words.ms & 0xFFFF) + "." +
           std::to_string(words.ls >> 16) + "." + std::to_string(words.ls & 0xFFFF);
}

}  // namespace vesk
