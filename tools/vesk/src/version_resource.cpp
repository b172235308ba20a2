#include "version_resource.h"

#include "byte_order.h"
#include "text_encoding.h"

namespace vesk {

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedSize = 52;
constexpr uint16_t kTextType = 1;
constexpr uint16_t kBinaryType = 0;
constexpr uint16_t kCodePageUnicode = 1200;
const std::u16string kStringTableKey = u"040904B0";  // US English, Unicode

void PadTo4(std::vector<uint8_t>& bytes) { bytes.resize((bytes.size() + 3) & ~size_t{3}); }

void PutText(std::vector<uint8_t>& bytes, const std::u16string& text) {
    for (char16_t c : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
    bytes.insert(bytes.end(), {0, 0});
}

// One node: its length, value length and type, its key, then (each on a
// 4-byte boundary) its value and its children. The length leaves out the
// padding after the node.
std::vector<uint8_t> Node(const std::u16string& key, uint16_t type, const std::vector<uint8_t>& value,
                          uint16_t valueLength, const std::vector<std::vector<uint8_t>>& children) {
    std::vector<uint8_t> node(6);
    PutText(node, key);
    PadTo4(node);
    node.insert(node.end(), value.begin(), value.end());
    for (const auto& child : children) {
        PadTo4(node);
        node.insert(node.end(), child.begin(), child.end());
    }
    Store16(&node[0], static_cast<uint16_t>(node.size()));
    Store16(&node[2], valueLength);
    Store16(&node[4], type);
    return node;
}

// A node read back: where its value and children lie.
struct NodeView {
    std::u16string key;
    std::span<const uint8_t> value;
    std::span<const uint8_t> children;
};

std::optional<NodeView> ReadNode(std::span<const uint8_t> bytes, bool textValue) {
    if (bytes.size() < 6) return std::nullopt;
    const size_t length = Load16(&bytes[0]);
    size_t valueBytes = Load16(&bytes[2]) * (textValue ? 2u : 1u);
    if (length < 6 || length > bytes.size()) return std::nullopt;
    NodeView view;
    size_t at = 6;
    for (; at + 1 < length && Load16(&bytes[at]) != 0; at += 2) view.key.push_back(static_cast<char16_t>(Load16(&bytes[at])));
    at = (at + 2 + 3) & ~size_t{3};
    if (at > length || valueBytes > length - at) return std::nullopt;
    view.value = bytes.subspan(at, valueBytes);
    at = (at + valueBytes + 3) & ~size_t{3};
    view.children = at < length ? bytes.subspan(at, length - at) : std::span<const uint8_t>();
    return view;
}

// Calls visit for each child node in turn; false when one is not sound.
template <typename Visit>
bool EachChild(std::span<const uint8_t> children, bool textValues, Visit visit) {
    for (size_t at = 0; at < children.size();) {
        auto child = ReadNode(children.subspan(at), textValues);
        if (!child) return false;
        visit(*child);
        at = (at + Load16(&children[at]) + 3) & ~size_t{3};
    }
    return true;
}

}  // namespace

std::vector<uint8_t> BuildVersionResource(const VersionInfo& info) {
    std::vector<uint8_t> fixed(kFixedSize);
    const uint32_t words[] = {kFixedSignature, 0x00010000, info.fixed.ms, info.fixed.ls, info.fixed.ms, info.fixed.ls,
                              0x3F, 0, 0x00040004 /* VOS_NT_WINDOWS32 */, 1 /* VFT_APP */, 0, 0, 0};
    for (size_t i = 0; i < std::size(words); ++i) Store32(&fixed[4 * i], words[i]);

    std::vector<std::vector<uint8_t>> strings;
    for (const auto& [name, value] : info.strings) {
        std::vector<uint8_t> text;
        const std::u16string wide = Utf16(value);
        PutText(text, wide);
        strings.push_back(Node(Utf16(name), kTextType, text, static_cast<uint16_t>(wide.size() + 1), {}));
    }
    const std::vector<uint8_t> table = Node(kStringTableKey, kTextType, {}, 0, strings);
    std::vector<uint8_t> translation(4);
    Store16(&translation[0], 0x0409);
    Store16(&translation[2], kCodePageUnicode);
    const std::vector<uint8_t> var = Node(u"Translation", kBinaryType, translation, 4, {});
    return Node(u"VS_VERSION_INFO", kBinaryType, fixed, kFixedSize,
                {Node(u"StringFileInfo", kTextType, {}, 0, {table}), Node(u"VarFileInfo", kTextType, {}, 0, {var})});
}

std::optional<VersionInfo> ParseVersionResource(std::span<const uint8_t> resource) {
    auto root = ReadNode(resource, false);
    if (!root || root->key != u"VS_VERSION_INFO" || root->value.size() != kFixedSize ||
        Load32(root->value.data()) != kFixedSignature)
        return std::nullopt;
    VersionInfo info;
    info.fixed = {Load32(&root->value[8]), Load32(&root->value[12])};
    bool broken = false;
    auto readString = [&](const NodeView& string) {
        std::u16string value;
        for (size_t i = 0; i + 1 < string.value.size() && Load16(&string.value[i]) != 0; i += 2)
            value.push_back(static_cast<char16_t>(Load16(&string.value[i])));
        info.strings.emplace_back(Utf8(string.key), Utf8(value));
    };
    auto readTable = [&](const NodeView& table) { broken |= !EachChild(table.children, true, readString); };
    auto readBlock = [&](const NodeView& block) {
        if (block.key == u"StringFileInfo") broken |= !EachChild(block.children, true, readTable);
    };
    if (!EachChild(root->children, false, readBlock) || broken) return std::nullopt;
    return info;
}

}  // namespace vesk
