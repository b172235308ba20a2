// The builder's splash picture. The setup draws resource 111 as a packed
// bitmap whose colour table it reads from byte 40 and whose rows from byte
// 104, so only one kind of BMP file fits: a 40-byte header, 4 bits per
// pixel, uncompressed, 16 colours, bottom-up, at most 1024 x 768. Anything
// else is refused with what it is and how to make one that fits.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vesk {

inline constexpr uint16_t kSplashResource = 111;

// Resource 111 from the bytes of a BMP file; name is for messages. A colour
// table shorter than 16 entries (ImageMagick writes only the colours used)
// is filled up with black. Throws Failure(name, ...).
std::vector<uint8_t> SplashFromBmp(std::span<const uint8_t> file, const std::string& name);
std::vector<uint8_t> ReadSplashPicture(const std::filesystem::path& file);

// The BMP file holding resource 111, which SplashFromBmp turns back into it.
std::vector<uint8_t> BmpFromSplash(std::span<const uint8_t> resource);

struct PictureSize {
    int32_t width = 0;
    int32_t height = 0;
};
// The size a packed bitmap says it has; none when it is too short to say.
std::optional<PictureSize> SplashSize(std::span<const uint8_t> resource);

}  // namespace vesk
