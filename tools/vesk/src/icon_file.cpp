#include "icon_file.h"

#include <cstring>
#include <set>

#include "byte_order.h"
#include "failure.h"
#include "input_file.h"

namespace vesk {

namespace {

constexpr uint32_t kDirectorySize = 6;
constexpr uint32_t kFileEntrySize = 16;
constexpr uint32_t kGroupEntrySize = 14;
constexpr uint32_t kMaxImages = 64;
constexpr uint32_t kMaxSide = 256;
constexpr uint64_t kMaxFileSize = 16 << 20;

const char* const kHowTo = "; make a fitting one with: convert in.png -define icon:auto-resize=256,48,32,16 icon.ico";

uint32_t Side(uint8_t stored) { return stored == 0 ? 256 : stored; }

uint32_t LoadBig32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void PutImageFields(uint8_t* entry, const IconImage& image) {
    entry[0] = image.width;
    entry[1] = image.height;
    entry[2] = image.colourCount;
    entry[3] = image.reserved;
    Store16(entry + 4, image.planes);
    Store16(entry + 6, image.bitCount);
    Store32(entry + 8, static_cast<uint32_t>(image.data.size()));
}

IconImage ImageFields(const uint8_t* entry) {
    return {entry[0], entry[1], entry[2], entry[3], Load16(entry + 4), Load16(entry + 6), {}};
}

// The width and height an image's own header gives: a PNG's IHDR, or a
// bitmap's header, whose height counts the mask too.
std::optional<std::pair<uint32_t, uint32_t>> OwnSize(const std::vector<uint8_t>& data) {
    if (data.size() >= 24 && std::memcmp(data.data(), "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(&data[12], "IHDR", 4) == 0)
        return std::pair(LoadBig32(&data[16]), LoadBig32(&data[20]));
    if (data.size() >= 40 && Load32(data.data()) >= 40) {
        const auto width = static_cast<int32_t>(Load32(&data[4]));
        const auto height = static_cast<int32_t>(Load32(&data[8]));
        if (width > 0 && height > 0 && height % 2 == 0) return std::pair(uint32_t(width), uint32_t(height / 2));
    }
    return std::nullopt;
}

}  // namespace

std::vector<IconImage> IconFromIco(std::span<const uint8_t> file, const std::string& name) {
    auto fail = [&](const std::string& what) -> void {
        throw Failure(name, "icon is " + what + "; it must be an .ico file with images of at most 256 x 256" + kHowTo);
    };
    if (file.size() >= 4 && std::memcmp(file.data(), "\x89PNG", 4) == 0) fail("a PNG picture, not an .ico file");
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') fail("a BMP picture, not an .ico file");
    if (file.size() < kDirectorySize || Load16(&file[0]) != 0) fail("not an .ico file");
    if (Load16(&file[2]) == 2) fail("a cursor, not an icon");
    if (Load16(&file[2]) != 1) fail("not an .ico file");
    const uint32_t count = Load16(&file[4]);
    if (count == 0) fail("an .ico file without images");
    if (count > kMaxImages) fail("an .ico file of " + std::to_string(count) + " images (at most 64)");
    if (file.size() < kDirectorySize + kFileEntrySize * count) fail("an .ico file that ends inside its directory");

    std::vector<IconImage> images;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = &file[kDirectorySize + kFileEntrySize * i];
        IconImage image = ImageFields(entry);
        const uint32_t size = Load32(entry + 8);
        const uint32_t offset = Load32(entry + 12);
        const std::string which = "an .ico file whose image " + std::to_string(i + 1);
        if (size == 0 || uint64_t{offset} + size > file.size()) fail(which + " lies outside the file");
        image.data.assign(file.begin() + offset, file.begin() + offset + size);
        const auto own = OwnSize(image.data);
        if (!own) fail(which + " is neither a bitmap nor a PNG");
        if (own->first > kMaxSide || own->second > kMaxSide)
            fail(which + " is " + std::to_string(own->first) + " x " + std::to_string(own->second) + " pixels");
        if (own->first != Side(image.width) || own->second != Side(image.height))
            fail(which + " is " + std::to_string(own->first) + " x " + std::to_string(own->second) +
                 " pixels but listed as " + std::to_string(Side(image.width)) + " x " + std::to_string(Side(image.height)));
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
    Store16(&file[2], 1);
    Store16(&file[4], static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        uint8_t* entry = &file[kDirectorySize + kFileEntrySize * i];
        PutImageFields(entry, images[i]);
        Store32(entry + 12, static_cast<uint32_t>(file.size()));
        file.insert(file.end(), images[i].data.begin(), images[i].data.end());
    }
    return file;
}

std::optional<std::vector<IconImage>> IconGroupImages(const ResourceTree& tree, uint16_t group) {
    const ResourceItem* item = tree.Find(kResourceIconGroup, group);
    if (!item || item->data.size() < kDirectorySize) return std::nullopt;
    const std::vector<uint8_t>& d = item->data;
    const uint32_t count = Load16(&d[4]);
    if (Load16(&d[2]) != 1 || count == 0 || count > kMaxImages || d.size() < kDirectorySize + kGroupEntrySize * count)
        return std::nullopt;
    std::vector<IconImage> images;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = &d[kDirectorySize + kGroupEntrySize * i];
        const ResourceItem* image = tree.Find(kResourceIcon, Load16(entry + 12));
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
            tree.Remove(kResourceIcon, Load16(&d[at + 12]));
    }
    tree.Remove(kResourceIconGroup, group);
    std::set<uint16_t> used;
    for (const ResourceItem& item : tree.items)
        if (item.type == ResourceId::Number(kResourceIcon) && !item.name.named) used.insert(item.name.number);

    std::vector<uint8_t> groupData(kDirectorySize + kGroupEntrySize * images.size());
    Store16(&groupData[2], 1);
    Store16(&groupData[4], static_cast<uint16_t>(images.size()));
    uint16_t next = 1;
    for (size_t i = 0; i < images.size(); ++i) {
        while (used.contains(next)) ++next;
        uint8_t* entry = &groupData[kDirectorySize + kGroupEntrySize * i];
        PutImageFields(entry, images[i]);
        Store16(entry + 12, next);
        tree.Put({ResourceId::Number(kResourceIcon), ResourceId::Number(next), language, 0, images[i].data});
        used.insert(next);
    }
    tree.Put({ResourceId::Number(kResourceIconGroup), ResourceId::Number(group), language, 0, std::move(groupData)});
}

}  // namespace vesk
