// The stub's own splash picture and icon files (resources/splash.bmp and
// resources/vesk.ico), built into the tool so inspect can tell them from a
// builder's. The definitions are generated from those files by the build.
#pragma once

#include <cstdint>
#include <vector>

namespace vesk {

extern const std::vector<uint8_t> kDefaultSplashFile;
extern const std::vector<uint8_t> kDefaultIconFile;

}  // namespace vesk
