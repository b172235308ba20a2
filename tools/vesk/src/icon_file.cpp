#include "icon_file.h"

#include <zlib.h>

#include <cstring>
#include <set>

#include "bitmap_layout.h"
#include "byte_order.h"
#include "escaped_text.h"
#include "failure.h"
#include "icon_layout.h"
#include "input_file.h"

namespace vesk {

namespace {

constexpr uint32_t kDirectorySize = sizeof(IconDirectory);
constexpr uint32_t kFileEntrySize = sizeof(IconFileEntry);
constexpr uint32_t kGroupEntrySize = sizeof(IconGroupEntry);
constexpr uint16_t kIconType = 1;
constexpr uint16_t kCursorType = 2;
constexpr uint32_t kMaxImages = 64;
constexpr uint32_t kMaxSide = 256;
constexpr uint64_t kMaxFileSize = 16 << 20;

const char* const kHowTo = "; make a fitting one with: convert in.png -define icon:auto-resize=256,48,32,16 icon.ico";

uint32_t Side(uint8_t stored) { return stored == 0 ? 256 : stored; }

uint32_t LoadBig32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// An entry of a file or a group begins with these fields.
void PutImageFields(uint8_t* entry, const IconImage& image) {
    entry[offsetof(IconImageFields, width)] = image.width;
    entry[offsetof(IconImageFields, height)] = image.height;
    entry[offsetof(IconImageFields, colourCount)] = image.colourCount;
    entry[offsetof(IconImageFields, reserved)] = image.reserved;
    Store16(entry + offsetof(IconImageFields, planes), image.planes);
    Store16(entry + offsetof(IconImageFields, bitCount), image.bitCount);
    Store32(entry + offsetof(IconImageFields, bytesInResource), static_cast<uint32_t>(image.data.size()));
}

IconImage ImageFields(const uint8_t* entry) {
    return {entry[offsetof(IconImageFields, width)],
            entry[offsetof(IconImageFields, height)],
            entry[offsetof(IconImageFields, colourCount)],
            entry[offsetof(IconImageFields, reserved)],
            Load16(entry + offsetof(IconImageFields, planes)),
            Load16(entry + offsetof(IconImageFields, bitCount)),
            {}};
}

// An image's own width and height, or what is wrong with it.
struct OwnImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::string problem;  // empty for a sound image
};

bool IsPng(const std::vector<uint8_t>& data) {
    return data.size() >= 8 && std::memcmp(data.data(), "\x89PNG\r\n\x1a\n", 8) == 0;
}

// A PNG whole: IHDR first, every chunk within the image and matching its
// CRC-32, up to IEND. Windows draws nothing of a PNG cut short.
OwnImage ReadPng(const std::vector<uint8_t>& data) {
    size_t at = 8;
    while (at + 12 <= data.size()) {
        const uint32_t length = LoadBig32(&data[at]);
        if (length > data.size() - at - 12) break;
        const std::string type(reinterpret_cast<const char*>(&data[at + 4]), 4);
        const uint32_t crc = static_cast<uint32_t>(crc32(0, &data[at + 4], static_cast<uInt>(length + 4)));
        if (at == 8 && (type != "IHDR" || length != 13)) return {0, 0, "is a PNG that does not begin with its IHDR header"};
        if (crc != LoadBig32(&data[at + 8 + length]))
            return {0, 0, "is a PNG whose " + Escaped(type) + " chunk fails its CRC-32"};
        if (type == "IEND") return {LoadBig32(&data[16]), LoadBig32(&data[20]), {}};
        at += 12 + length;
    }
    return {0, 0, "is a PNG cut short (no IEND chunk within the image)"};
}

// A bitmap as the splash picture is checked: the 40-byte header, one plane,
// a bit count Windows draws, no compression, a colour table that fits its
// bit count, and the colour and mask rows all within the image.
OwnImage ReadBitmap(const std::vector<uint8_t>& data) {
    constexpr uint32_t kHeaderSize = sizeof(BitmapInfoHeader);
    if (data.size() < kHeaderSize || Load32(&data[offsetof(BitmapInfoHeader, size)]) != kHeaderSize)
        return {0, 0, "is neither a PNG nor a bitmap with a 40-byte header"};
    const auto width = static_cast<int32_t>(Load32(&data[offsetof(BitmapInfoHeader, width)]));
    const auto height = static_cast<int32_t>(Load32(&data[offsetof(BitmapInfoHeader, height)]));  // the mask's rows too
    const uint16_t planes = Load16(&data[offsetof(BitmapInfoHeader, planes)]);
    const uint16_t bitCount = Load16(&data[offsetof(BitmapInfoHeader, bitCount)]);
    const uint32_t compression = Load32(&data[offsetof(BitmapInfoHeader, compression)]);
    const uint32_t coloursUsed = Load32(&data[offsetof(BitmapInfoHeader, coloursUsed)]);
    if (planes != 1) return {0, 0, "is a bitmap with " + std::to_string(planes) + " planes"};
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return {0, 0, "is a bitmap of " + std::to_string(bitCount) + " bits per pixel"};
    if (compression != 0) return {0, 0, "is a compressed bitmap (compression " + std::to_string(compression) + ")"};
    if (width <= 0 || height <= 0 || height % 2 != 0)
        return {0, 0, "is a bitmap of " + std::to_string(width) + " x " + std::to_string(height) + " pixels with its mask"};
    const uint32_t maxColours = bitCount <= 8 ? 1u << bitCount : 0;
    if (coloursUsed > maxColours)
        return {0, 0, "is a bitmap with " + std::to_string(coloursUsed) + " colours in its table"};
    const uint64_t rows = static_cast<uint32_t>(height) / 2;
    const uint64_t colourRow = (uint64_t{static_cast<uint32_t>(width)} * bitCount + 31) / 32 * 4;
    const uint64_t maskRow = (uint64_t{static_cast<uint32_t>(width)} + 31) / 32 * 4;
    const uint64_t table = 4 * uint64_t{coloursUsed != 0 ? coloursUsed : maxColours};
    if (data.size() < kHeaderSize + table + (colourRow + maskRow) * rows)
        return {0, 0, "is a bitmap that ends before its last row"};
    return {static_cast<uint32_t>(width), static_cast<uint32_t>(rows), {}};
}

}  // namespace

std::vector<IconImage> IconFromIco(std::span<const uint8_t> file, const std::string& name) {
    auto fail = [&](const std::string& what) -> void {
        throw Failure(name, "icon is " + what + "; it must be an .ico file with images of at most 256 x 256" + kHowTo);
    };
    if (file.size() >= 4 && std::memcmp(file.data(), "\x89PNG", 4) == 0) fail("a PNG picture, not an .ico file");
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') fail("a BMP picture, not an .ico file");
    if (file.size() < kDirectorySize || Load16(&file[offsetof(IconDirectory, reserved)]) != 0) fail("not an .ico file");
    const uint16_t type = Load16(&file[offsetof(IconDirectory, type)]);
    if (type == kCursorType) fail("a cursor, not an icon");
    if (type != kIconType) fail("not an .ico file");
    const uint32_t count = Load16(&file[offsetof(IconDirectory, count)]);
    if (count == 0) fail("an .ico file without images");
    if (count > kMaxImages) fail("an .ico file of " + std::to_string(count) + " images (at most 64)");
    if (file.size() < kDirectorySize + kFileEntrySize * count) fail("an .ico file that ends inside its directory");

    std::vector<IconImage> images;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = &file[kDirectorySize + kFileEntrySize * i];
        IconImage image = ImageFields(entry);
        const uint32_t size = Load32(entry + offsetof(IconFileEntry, image.bytesInResource));
        const uint32_t offset = Load32(entry + offsetof(IconFileEntry, imageOffset));
        const std::string which = "an .ico file whose image " + std::to_string(i + 1);
        if (size == 0 || uint64_t{offset} + size > file.size()) fail(which + " lies outside the file");
        image.data.assign(file.begin() + offset, file.begin() + offset + size);
        const OwnImage own = IsPng(image.data) ? ReadPng(image.data) : ReadBitmap(image.data);
        if (!own.problem.empty()) fail(which + " " + own.problem);
        const std::string pixels = std::to_string(own.width) + " x " + std::to_string(own.height) + " pixels";
        if (own.width > kMaxSide || own.height > kMaxSide) fail(which + " is " + pixels);
        if (own.width != Side(image.width) || own.height != Side(image.height))
            fail(which + " is " + pixels + " but listed as " + std::to_string(Side(image.width)) + " x " +
                 std::to_string(Side(image.height)));
        images.push_back(std::move(image));
    }
    return images;
}

std::vector<IconImage> ReadIconFile(const std::filesystem::path& path) {
    const InputFile file(path);
    if (file.Size() > kMaxFileSize)
        throw Failure(file.Name(), "icon is " + std::to_string(file.Size()) + " bytes, too large for images of at most 256 x 256");
    std::vector<uint8_t> bytes(file.Size());
    if (file.ReadAt(0, bytes) != bytes.size()) throw Failure(file.Name(), "changed while being read");
    return IconFromIco(bytes, file.Name());
}

std::vector<uint8_t> IcoFromIcon(const std::vector<IconImage>& images) {
    std::vector<uint8_t> file(kDirectorySize + kFileEntrySize * images.size());
    Store16(&file[offsetof(IconDirectory, type)], kIconType);
    Store16(&file[offsetof(IconDirectory, count)], static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        uint8_t* entry = &file[kDirectorySize + kFileEntrySize * i];
        PutImageFields(entry, images[i]);
        Store32(entry + offsetof(IconFileEntry, imageOffset), static_cast<uint32_t>(file.size()));
        file.insert(file.end(), images[i].data.begin(), images[i].data.end());
    }
    return file;
}

std::optional<std::vector<IconImage>> IconGroupImages(const ResourceTree& tree, uint16_t group) {
    const ResourceItem* item = tree.Find(kResourceIconGroup, group);
    if (!item || item->data.size() < kDirectorySize) return std::nullopt;
    const std::vector<uint8_t>& d = item->data;
    const uint32_t count = Load16(&d[offsetof(IconDirectory, count)]);
    if (Load16(&d[offsetof(IconDirectory, type)]) != kIconType || count == 0 || count > kMaxImages || d.size() < kDirectorySize + kGroupEntrySize * count)
        return std::nullopt;
    std::vector<IconImage> images;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = &d[kDirectorySize + kGroupEntrySize * i];
        const ResourceItem* image = tree.Find(kResourceIcon, Load16(entry + offsetof(IconGroupEntry, id)));
        if (!image) return std::nullopt;
        images.push_back(ImageFields(entry));
        images.back().data = image->data;
    }
    return images;
}

void PutIconGroup(ResourceTree& tree, uint16_t group, const std::vector<IconImage>& images) {
    ResourceId language = ResourceId::Number(kLanguageEnglishUs);
    if (const ResourceItem* old = tree.Find(kResourceIconGroup, group)) {
        language = old->language;
        const std::vector<uint8_t>& d = old->data;
        for (size_t at = kDirectorySize; at + kGroupEntrySize <= d.size(); at += kGroupEntrySize)
            tree.Remove(kResourceIcon, Load16(&d[at + offsetof(IconGroupEntry, id)]));
    }
    tree.Remove(kResourceIconGroup, group);
    std::set<uint16_t> used;
    for (const ResourceItem& item : tree.items)
        if (item.type == ResourceId::Number(kResourceIcon) && !item.name.named) used.insert(item.name.number);

    std::vector<uint8_t> groupData(kDirectorySize + kGroupEntrySize * images.size());
    Store16(&groupData[offsetof(IconDirectory, type)], kIconType);
    Store16(&groupData[offsetof(IconDirectory, count)], static_cast<uint16_t>(images.size()));
    uint16_t next = 1;
    for (size_t i = 0; i < images.size(); ++i) {
        while (used.contains(next)) ++next;
        uint8_t* entry = &groupData[kDirectorySize + kGroupEntrySize * i];
        PutImageFields(entry, images[i]);
        Store16(entry + offsetof(IconGroupEntry, id), next);
        tree.Put({ResourceId::Number(kResourceIcon), ResourceId::Number(next), language, 0, images[i].data});
        used.insert(next);
    }
    tree.Put({ResourceId::Number(kResourceIconGroup), ResourceId::Number(group), language, 0, std::move(groupData)});
}

}  // namespace vesk
