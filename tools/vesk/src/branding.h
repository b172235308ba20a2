// How a setup looks and what it says about itself besides its container:
// the builder's splash picture and icon, put into the stub's resources
// before the container is written.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pe_image.h"

namespace vesk {

inline constexpr const char* kSplashKey = "Splash";
inline constexpr const char* kIconKey = "Icon";

// Settings keys the tool reads for branding.
inline constexpr std::array<const char*, 2> kBrandingKeys = {kSplashKey, kIconKey};

struct Branding {
    std::optional<std::filesystem::path> splash;  // a BMP file
    std::optional<std::filesystem::path> icon;    // an .ico file
};

// Puts the branding into stub and parses it again into image; leaves both
// as they are when there is nothing to put. Throws Failure naming the file
// at fault.
void BrandStub(std::vector<uint8_t>& stub, PeImage& image, const Branding& branding, const std::string& input);

}  // namespace vesk
