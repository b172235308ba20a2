#include "splash_picture.h"

#include <cstring>

#include "bitmap_layout.h"
#include "byte_order.h"
#include "failure.h"
#include "input_file.h"

namespace vesk {

namespace {

constexpr uint32_t kFileHeaderSize = sizeof(BmpFileHeader);
constexpr uint32_t kInfoHeaderSize = sizeof(BitmapInfoHeader);
constexpr uint32_t kColours = 16;
constexpr uint32_t kPixelsOffset = kFileHeaderSize + kInfoHeaderSize + 4 * kColours;
constexpr int32_t kMaxWidth = 1024;
constexpr int32_t kMaxHeight = 768;
constexpr uint64_t kMaxFileSize = 4 << 20;  // far more than 1024 x 768 at 4 bits

const char* const kHowTo = "; make a fitting one with: convert in.png -colors 16 BMP3:splash.bmp";
const char* const kHowToResize = "; make a fitting one with: convert in.png -resize 1024x768 -colors 16 BMP3:splash.bmp";

// What a file is when it is not a BMP file, by its first bytes.
std::string Kind(std::span<const uint8_t> bytes) {
    auto startsWith = [&](std::string_view magic) {
        return bytes.size() >= magic.size() && std::memcmp(bytes.data(), magic.data(), magic.size()) == 0;
    };
    if (startsWith("\x89PNG")) return "a PNG picture, not a BMP file";
    if (startsWith("\xFF\xD8\xFF")) return "a JPEG picture, not a BMP file";
    if (startsWith("GIF8")) return "a GIF picture, not a BMP file";
    if (startsWith(std::string_view("\0\0\1\0", 4))) return "an icon, not a BMP file";
    return "not a BMP file";
}

std::string HeaderKind(uint32_t size) {
    switch (size) {
        case 12: return "a BMP with an OS/2 12-byte header";
        case 108: return "a BMP with a 108-byte (version 4) header";
        case 124: return "a BMP with a 124-byte (version 5) header";
        default: return "a BMP with a " + std::to_string(size) + "-byte header";
    }
}

}  // namespace

std::vector<uint8_t> SplashFromBmp(std::span<const uint8_t> file, const std::string& name) {
    auto fail = [&](const std::string& what, const char* howTo = kHowTo) -> void {
        throw Failure(name, "splash picture is " + what + "; it must be a 16-colour BMP (4 bits per pixel, uncompressed, "
                            "40-byte header, bottom-up, at most 1024 x 768)" + howTo);
    };
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') fail(Kind(file));
    if (file.size() < kFileHeaderSize + kInfoHeaderSize) fail("a BMP file too short for its headers");
    const uint8_t* info = file.data() + kFileHeaderSize;
    const uint32_t headerSize = Load32(info + offsetof(BitmapInfoHeader, size));
    if (headerSize != kInfoHeaderSize) fail(HeaderKind(headerSize));
    const auto width = static_cast<int32_t>(Load32(info + offsetof(BitmapInfoHeader, width)));
    const auto height = static_cast<int32_t>(Load32(info + offsetof(BitmapInfoHeader, height)));
    const uint16_t planes = Load16(info + offsetof(BitmapInfoHeader, planes));
    const uint16_t bitCount = Load16(info + offsetof(BitmapInfoHeader, bitCount));
    const uint32_t compression = Load32(info + offsetof(BitmapInfoHeader, compression));
    const uint32_t coloursUsed = Load32(info + offsetof(BitmapInfoHeader, coloursUsed));
    if (bitCount != 4) fail("a BMP of " + std::to_string(bitCount) + " bits per pixel");
    if (compression == 2) fail("an RLE4-compressed BMP");
    if (compression != 0) fail("a compressed BMP (compression " + std::to_string(compression) + ")");
    if (planes != 1) fail("a BMP with " + std::to_string(planes) + " planes");
    if (height < 0) fail("a top-down BMP (negative height)");
    if (width <= 0 || height == 0) fail("a BMP of " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
    if (width > kMaxWidth || height > kMaxHeight)
        fail(std::to_string(width) + " x " + std::to_string(height) + " pixels, larger than 1024 x 768", kHowToResize);
    if (coloursUsed > kColours) fail("a BMP with " + std::to_string(coloursUsed) + " colours in its table");
    const uint32_t tableEntries = coloursUsed == 0 ? kColours : coloursUsed;
    const uint32_t pixelsOffset = Load32(file.data() + offsetof(BmpFileHeader, pixelsOffset));
    if (pixelsOffset != kFileHeaderSize + kInfoHeaderSize + 4 * tableEntries)
        fail("a BMP whose pixel rows do not follow its colour table");
    const uint64_t rowBytes = (uint64_t{static_cast<uint32_t>(width)} * 4 + 31) / 32 * 4;
    const uint64_t pixelsEnd = pixelsOffset + rowBytes * static_cast<uint32_t>(height);
    if (file.size() < pixelsEnd) fail("a BMP file that ends before its last pixel row");

    std::vector<uint8_t> resource(file.begin() + kFileHeaderSize, file.begin() + pixelsOffset);
    resource.resize(kInfoHeaderSize + 4 * kColours);  // the table filled up to 16 colours
    if (coloursUsed != 0) Store32(&resource[offsetof(BitmapInfoHeader, coloursUsed)], kColours);
    resource.insert(resource.end(), file.begin() + pixelsOffset, file.begin() + static_cast<std::ptrdiff_t>(pixelsEnd));
    return resource;
}

std::vector<uint8_t> ReadSplashPicture(const std::filesystem::path& path) {
    const InputFile file(path);
    if (file.Size() > kMaxFileSize)
        throw Failure(file.Name(), "splash picture is " + std::to_string(file.Size()) +
                                       " bytes, too large for a 16-colour BMP of at most 1024 x 768" + kHowToResize);
    std::vector<uint8_t> bytes(file.Size());
    if (file.ReadAt(0, bytes) != bytes.size()) throw Failure(file.Name(), "changed while being read");
    return SplashFromBmp(bytes, file.Name());
}

std::vector<uint8_t> BmpFromSplash(std::span<const uint8_t> resource) {
    std::vector<uint8_t> file(kFileHeaderSize);
    file[0] = 'B';
    file[1] = 'M';
    Store32(&file[offsetof(BmpFileHeader, fileSize)], static_cast<uint32_t>(kFileHeaderSize + resource.size()));
    Store32(&file[offsetof(BmpFileHeader, pixelsOffset)], kPixelsOffset);
    file.insert(file.end(), resource.begin(), resource.end());
    return file;
}

std::optional<PictureSize> SplashSize(std::span<const uint8_t> resource) {
    if (resource.size() < offsetof(BitmapInfoHeader, planes)) return std::nullopt;
    return PictureSize{static_cast<int32_t>(Load32(&resource[offsetof(BitmapInfoHeader, width)])),
                       static_cast<int32_t>(Load32(&resource[offsetof(BitmapInfoHeader, height)]))};
}

}  // namespace vesk
