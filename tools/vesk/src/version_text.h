// The required runtime version a.b.c.d and its two container words,
// (a << 16) | b and (c << 16) | d, as the setup reads RuntimeVersion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vesk {

struct VersionWords {
    uint32_t ms = 0;
    uint32_t ls = 0;
};

// Up to four dot-separated decimal parts, each 0..65535; missing parts are
// 0 and an empty text is version 0. Nothing else is accepted, since the
// setup would read junk as some other version without a word.
std::optional<VersionWords> ParseVersionText(const std::string& text);
// a.b.c.d, or empty for version 0, which reads back the same.
std::string FormatVersionText(VersionWords words);

}  // namespace vesk
