#include "resource_tree.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "byte_order.h"
#include "failure.h"
#include "format/pe_layout.h"

namespace vesk {

namespace {

constexpr uint32_t kTableHeaderSize = sizeof(PeResourceTable);
constexpr uint32_t kEntrySize = sizeof(PeResourceEntry);
constexpr uint32_t kDataEntrySize = sizeof(PeResourceDataEntry);
constexpr uint32_t kHighBit = 0x80000000;
constexpr uint32_t kDataAlignment = 8;

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

class DirectoryReader {
public:
    DirectoryReader(std::span<const uint8_t> section, uint32_t rva, const std::string& input)
        : section_(section), rva_(rva), input_(input) {}

    void ReadTable(uint32_t offset, int level, std::vector<ResourceId>& path, ResourceTree& tree) {
        // A table reached twice would make the tree a graph: items without end.
        if (!tables_.insert(offset).second) Fail("a directory table is reached twice");
        Need(offset, kTableHeaderSize, "directory table");
        const uint32_t count = uint32_t{Load16(At(offset + offsetof(PeResourceTable, numberOfNamedEntries)))} +
                               Load16(At(offset + offsetof(PeResourceTable, numberOfIdEntries)));
        Need(offset + kTableHeaderSize, count * kEntrySize, "directory entries");
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* entry = At(offset + kTableHeaderSize + i * kEntrySize);
            path.push_back(ReadId(Load32(entry + offsetof(PeResourceEntry, nameOrId))));
            const uint32_t target = Load32(entry + offsetof(PeResourceEntry, offset));
            const bool subtable = (target & kHighBit) != 0;
            if (subtable != (level < 2)) Fail("the directory is not three levels deep (type, name, language)");
            if (subtable)
                ReadTable(target & ~kHighBit, level + 1, path, tree);
            else
                tree.items.push_back(ReadData(target, path));
            path.pop_back();
        }
    }

private:
    ResourceId ReadId(uint32_t field) {
        if ((field & kHighBit) == 0) {
            if (field > 0xFFFF) Fail("an entry's number " + std::to_string(field) + " is wider than 16 bits");
            return ResourceId::Number(static_cast<uint16_t>(field));
        }
        const uint32_t offset = field & ~kHighBit;
        Need(offset, 2, "entry name");
        const uint32_t length = Load16(At(offset));
        Need(offset + 2, length * 2, "entry name");
        ResourceId id;
        id.named = true;
        for (uint32_t i = 0; i < length; ++i) id.name.push_back(static_cast<char16_t>(Load16(At(offset + 2 + 2 * i))));
        return id;
    }

    ResourceItem ReadData(uint32_t offset, const std::vector<ResourceId>& path) {
        Need(offset, kDataEntrySize, "data entry");
        const uint32_t rva = Load32(At(offset + offsetof(PeResourceDataEntry, dataRva)));
        const uint32_t size = Load32(At(offset + offsetof(PeResourceDataEntry, size)));
        if (rva < rva_ || uint64_t{rva - rva_} + size > section_.size())
            Fail("resource data (RVA " + std::to_string(rva) + ", " + std::to_string(size) +
                 " bytes) lie outside the section");
        // Shared or overlapping data would be copied once per item: bounded
        // by the section's own size, a hostile tree cannot blow up.
        dataBytes_ += size;
        if (dataBytes_ > section_.size()) Fail("resource data overlap each other");
        ResourceItem item{path[0], path[1], path[2], Load32(At(offset + offsetof(PeResourceDataEntry, codePage))), {}};
        item.data.assign(section_.begin() + (rva - rva_), section_.begin() + (rva - rva_) + size);
        return item;
    }

    void Need(uint64_t offset, uint64_t size, const char* what) {
        if (offset + size > section_.size()) Fail(std::string(what) + " at offset " + std::to_string(offset) + " runs past the section");
    }
    const uint8_t* At(uint32_t offset) const { return section_.data() + offset; }
    [[noreturn]] void Fail(const std::string& problem) const { throw Failure(input_, "resource section: " + problem); }

    std::span<const uint8_t> section_;
    uint32_t rva_;
    const std::string& input_;
    std::set<uint32_t> tables_;
    uint64_t dataBytes_ = 0;
};

// The items grouped as the directory nests them, each level in entry order.
using Languages = std::map<ResourceId, const ResourceItem*>;
using Names = std::map<ResourceId, Languages>;
using Types = std::map<ResourceId, Names>;

}  // namespace

std::strong_ordering ResourceId::operator<=>(const ResourceId& other) const {
    if (named != other.named) return named ? std::strong_ordering::less : std::strong_ordering::greater;
    if (named) return name <=> other.name;
    return number <=> other.number;
}

const ResourceItem* ResourceTree::Find(uint16_t type, uint16_t name) const {
    for (const ResourceItem& item : items)
        if (item.type == ResourceId::Number(type) && item.name == ResourceId::Number(name)) return &item;
    return nullptr;
}

void ResourceTree::Remove(uint16_t type, uint16_t name) {
    std::erase_if(items, [&](const ResourceItem& item) {
        return item.type == ResourceId::Number(type) && item.name == ResourceId::Number(name);
    });
}

void ResourceTree::Put(ResourceItem item) {
    std::erase_if(items, [&](const ResourceItem& old) {
        return old.type == item.type && old.name == item.name && old.language == item.language;
    });
    items.push_back(std::move(item));
}

ResourceTree ParseResourceSection(std::span<const uint8_t> section, uint32_t sectionRva, const std::string& input) {
    ResourceTree tree;
    std::vector<ResourceId> path;
    DirectoryReader(section, sectionRva, input).ReadTable(0, 0, path, tree);
    return tree;
}

std::vector<uint8_t> LayOutResourceSection(const ResourceTree& tree, uint32_t sectionRva) {
    Types types;
    for (const ResourceItem& item : tree.items) types[item.type][item.name][item.language] = &item;

    // Sizes first: the tables breadth first, then data entries, names, data.
    auto tableSize = [](size_t entries) { return kTableHeaderSize + kEntrySize * static_cast<uint32_t>(entries); };
    uint32_t offset = tableSize(types.size());
    std::map<const Names*, uint32_t> nameTables;
    for (const auto& [type, names] : types) nameTables[&names] = std::exchange(offset, offset + tableSize(names.size()));
    std::map<const Languages*, uint32_t> languageTables;
    size_t leafCount = 0;
    for (const auto& [type, names] : types)
        for (const auto& [name, languages] : names) {
            languageTables[&languages] = std::exchange(offset, offset + tableSize(languages.size()));
            leafCount += languages.size();
        }
    const uint32_t dataEntries = offset;
    offset += kDataEntrySize * static_cast<uint32_t>(leafCount);
    std::map<std::u16string, uint32_t> strings;
    for (const auto& [type, names] : types) {
        if (type.named && !strings.contains(type.name)) strings[type.name] = 0;
        for (const auto& [name, languages] : names) {
            if (name.named && !strings.contains(name.name)) strings[name.name] = 0;
            for (const auto& [language, item] : languages)
                if (language.named && !strings.contains(language.name)) strings[language.name] = 0;
        }
    }
    for (auto& [text, at] : strings) at = std::exchange(offset, offset + 2 + 2 * static_cast<uint32_t>(text.size()));

    std::vector<uint8_t> out(offset);
    for (const auto& [text, at] : strings) {
        Store16(&out[at], static_cast<uint16_t>(text.size()));
        for (size_t i = 0; i < text.size(); ++i) Store16(&out[at + 2 + 2 * i], static_cast<uint16_t>(text[i]));
    }
    auto writeTable = [&](uint32_t at, auto& entries, auto target) {
        uint16_t namedCount = 0;
        uint16_t numberCount = 0;
        uint32_t slot = at + kTableHeaderSize;
        for (const auto& [id, child] : entries) {
            const uint32_t pointer = target(child);  // may grow out
            Store32(&out[slot + offsetof(PeResourceEntry, nameOrId)], id.named ? kHighBit | strings.at(id.name) : id.number);
            Store32(&out[slot + offsetof(PeResourceEntry, offset)], pointer);
            ++(id.named ? namedCount : numberCount);
            slot += kEntrySize;
        }
        Store16(&out[at + offsetof(PeResourceTable, numberOfNamedEntries)], namedCount);
        Store16(&out[at + offsetof(PeResourceTable, numberOfIdEntries)], numberCount);
    };
    writeTable(0, types, [&](const Names& names) { return kHighBit | nameTables.at(&names); });
    uint32_t leaf = dataEntries;
    for (const auto& [type, names] : types) {
        writeTable(nameTables.at(&names), names,
                   [&](const Languages& languages) { return kHighBit | languageTables.at(&languages); });
        for (const auto& [name, languages] : names)
            writeTable(languageTables.at(&languages), languages, [&](const ResourceItem* item) {
                const uint32_t entry = leaf;
                leaf += kDataEntrySize;
                out.resize(AlignUp(static_cast<uint32_t>(out.size()), kDataAlignment));
                Store32(&out[entry + offsetof(PeResourceDataEntry, dataRva)], sectionRva + static_cast<uint32_t>(out.size()));
                Store32(&out[entry + offsetof(PeResourceDataEntry, size)], static_cast<uint32_t>(item->data.size()));
                Store32(&out[entry + offsetof(PeResourceDataEntry, codePage)], item->codePage);
                out.insert(out.end(), item->data.begin(), item->data.end());
                return entry;
            });
    }
    return out;
}

}  // namespace vesk
