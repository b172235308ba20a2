// The BMP file header and the bitmap info header (BITMAPINFOHEADER), as the
// splash picture and an icon's bitmap images hold them: little-endian, each
// field read and written by its offsetof.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

#pragma pack(push, 1)
struct BmpFileHeader {
    char type[2];  // "BM"
    uint32_t fileSize;
    uint16_t reserved1;
    uint16_t reserved2;
    uint32_t pixelsOffset;  // from the file's start
};
#pragma pack(pop)
static_assert(sizeof(BmpFileHeader) == 14);

struct BitmapInfoHeader {
    uint32_t size;  // 40: this header
    int32_t width;
    int32_t height;  // negative: top-down; an icon's counts its mask's rows too
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t coloursUsed;  // 0: as many as the bit count gives
    uint32_t coloursImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

}  // namespace vesk
