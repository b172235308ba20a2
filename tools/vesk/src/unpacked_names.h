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

// The one rule unpack and verify judge a setup's stored product file name
// by (pack judges the name it stores by the same parts): text of the code
// page, a name the setup can write a file under, and clear of the files
// unpack writes. The problem, naming the name; none when it is sound.
std::optional<std::string> StoredProductNameProblem(const std::string& stored, unsigned codePage);

}  // namespace vesk
