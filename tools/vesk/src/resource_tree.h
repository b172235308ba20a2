// The resources of a PE image as a flat list of (type, name, language)
// items, read from a resource section and laid out into a new one. The
// section is a three-level directory (type, name, language) of tables whose
// entries point at subtables or, at the last level, at data entries that
// give each resource's RVA, size and code page.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vesk {

// A type, name or language: a number, or a UTF-16 name. Named ones sort
// first, as the directory wants them.
struct ResourceId {
    bool named = false;
    uint16_t number = 0;
    std::u16string name;

    static ResourceId Number(uint16_t value) { return {false, value, {}}; }
    std::strong_ordering operator<=>(const ResourceId& other) const;
    bool operator==(const ResourceId& other) const = default;
};

struct ResourceItem {
    ResourceId type;
    ResourceId name;
    ResourceId language;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;
};

inline constexpr uint16_t kResourceIcon = 3;
inline constexpr uint16_t kResourceBitmap = 2;
inline constexpr uint16_t kResourceData = 10;  // RT_RCDATA
inline constexpr uint16_t kResourceIconGroup = 14;
inline constexpr uint16_t kResourceVersion = 16;
inline constexpr uint16_t kResourceManifest = 24;
inline constexpr uint16_t kLanguageEnglishUs = 0x0409;

struct ResourceTree {
    std::vector<ResourceItem> items;  // in directory order after a parse or a layout

    // The first item of this type and name, in any language.
    const ResourceItem* Find(uint16_t type, uint16_t name) const;
    // Removes every language of this type and name.
    void Remove(uint16_t type, uint16_t name);
    // Adds an item, replacing one with the same type, name and language.
    void Put(ResourceItem item);
};

// section: the section's bytes, which begin at sectionRva. Throws
// Failure(input, ...) for a directory that is not a sound three-level tree.
ResourceTree ParseResourceSection(std::span<const uint8_t> section, uint32_t sectionRva, const std::string& input);

// The section's bytes for the tree, to be placed at sectionRva: the tables
// breadth first, the data entries, the names, then the data, each on an
// 8-byte boundary. Equal trees give equal bytes.
std::vector<uint8_t> LayOutResourceSection(const ResourceTree& tree, uint32_t sectionRva);

}  // namespace vesk
