// The builder's program icon: an .ico file whose images (at most 256 x 256,
// as bitmaps or PNG) become the setup's icon group 108 and its icon images.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "resource_tree.h"

namespace vesk {

inline constexpr uint16_t kIconGroupResource = 108;

// One image as an .ico file and an icon group both describe it.
struct IconImage {
    uint8_t width = 0;   // 0 stands for 256
    uint8_t height = 0;  // likewise
    uint8_t colourCount = 0;
    uint8_t reserved = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    std::vector<uint8_t> data;
};

// Throws Failure(name, ...) for anything but a sound .ico file.
std::vector<IconImage> IconFromIco(std::span<const uint8_t> file, const std::string& name);
std::vector<IconImage> ReadIconFile(const std::filesystem::path& file);
// The .ico file of these images, which IconFromIco reads back the same.
std::vector<uint8_t> IcoFromIcon(const std::vector<IconImage>& images);

// The images of an icon group; none when the group is missing or names an
// image the tree does not hold.
std::optional<std::vector<IconImage>> IconGroupImages(const ResourceTree& tree, uint16_t group);
// Replaces the group and the images it named with these images, numbered
// from the lowest icon numbers free, in the group's language.
void PutIconGroup(ResourceTree& tree, uint16_t group, const std::vector<IconImage>& images);

}  // namespace vesk
