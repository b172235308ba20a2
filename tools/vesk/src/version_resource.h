// The setup's version resource (VS_VERSIONINFO, resource 16 number 1): the
// fixed file and product version from the product's version, and the
// strings Explorer shows in a file's Details: ProductName, FileDescription,
// CompanyName, OriginalFilename, FileVersion, ProductVersion and
// LegalCopyright, in US English with Unicode text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "version_text.h"

namespace vesk {

inline constexpr uint16_t kVersionResource = 1;

// The string names; each has a settings key of its own (settings_keys.h).
inline constexpr std::array<const char*, 7> kVersionStringNames = {
    "CompanyName", "FileDescription", "FileVersion", "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion"};

struct VersionInfo {
    VersionWords fixed;  // file and product version alike
    // Name and UTF-8 value, in kVersionStringNames order; a string not
    // listed is left out.
    std::vector<std::pair<std::string, std::string>> strings;
};

std::vector<uint8_t> BuildVersionResource(const VersionInfo& info);
// None when the bytes are not a sound VS_VERSIONINFO.
std::optional<VersionInfo> ParseVersionResource(std::span<const uint8_t> resource);

}  // namespace vesk
