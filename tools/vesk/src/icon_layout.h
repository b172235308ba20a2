// An icon's directory, in an .ico file and in an icon group resource: the
// directory head, then one entry per image; a file's entries give the
// image's offset, a group's the number of its icon resource. Little-endian,
// each field read and written by its offsetof.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

#pragma pack(push, 2)
struct IconDirectory {
    uint16_t reserved;  // 0
    uint16_t type;      // 1: icons, 2: cursors
    uint16_t count;
};

// The fields a file's entry and a group's entry share.
struct IconImageFields {
    uint8_t width;  // 0: 256
    uint8_t height;
    uint8_t colourCount;
    uint8_t reserved;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t bytesInResource;
};

struct IconFileEntry {
    IconImageFields image;
    uint32_t imageOffset;  // from the file's start
};

struct IconGroupEntry {
    IconImageFields image;
    uint16_t id;  // the icon resource
};
#pragma pack(pop)
static_assert(sizeof(IconDirectory) == 6 && sizeof(IconImageFields) == 12 && sizeof(IconFileEntry) == 16 &&
              sizeof(IconGroupEntry) == 14);

}  // namespace vesk
