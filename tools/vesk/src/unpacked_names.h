// The names unpack gives the files it writes itself, and the one rule that
// keeps the product's stored name clear of them, applied by pack and unpack
// alike so that every setup pack writes unpacks.
#pragma once

#include <optional>
#include <string>

namespace vesk {

inline constexpr const char* kUnpackedSettingsName = "setup.ini";
inline constexpr const char* kUnpackedSplashName = "splash.bmp";
inline constexpr const char* kUnpackedIconName = "icon.ico";

// What a product of that name would overwrite when unpacked (the settings
// file, a runtime file, the splash picture or the icon), whether or not the
// setup holds it; none when nothing. Compared without regard to case, as on
// Windows and many shared folders.
std::optional<std::string> UnpackNameClash(const std::string& productName);

}  // namespace vesk
