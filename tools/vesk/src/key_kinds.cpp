#include "key_kinds.h"

#include <string>

#include "text_encoding.h"

namespace vesk {

bool PackSharedKey(const SettingsKey& key, const KeyReader& read, ContainerFields& f, InitLineParts& initLine) {
    const std::string fallback = key.fallback ? key.fallback : "";
    switch (key.unpack) {
    case Unpacked::TextBlock:
        f.*kTextBlockParts[key.slot] = read.text(key, fallback);
        return true;
    case Unpacked::Descriptor:
        // A byte without a fallback follows the code page.
        f.*kDescriptorSettings[key.slot] =
            read.byte(key, key.fallback ? static_cast<uint8_t>(std::stoul(fallback)) : FontCharSetOf(read.codePage));
        return true;
    case Unpacked::InitLine:
        (key.slot == 0 ? initLine.prefix : initLine.suffix) = read.text(key, fallback);
        return true;
    case Unpacked::Text:
        f.texts[key.slot] = read.text(key, fallback);
        return true;
    default:
        return false;
    }
}

bool UnpackSharedKey(const SettingsKey& key, const StoredSettings& stored, const KeyWriter& write) {
    switch (key.unpack) {
    case Unpacked::TextBlock:
        write.putShown(key.name, stored.block[key.slot]);
        return true;
    case Unpacked::Descriptor:
        write.put(key.name, std::to_string(stored.head.descriptor[key.slot]));
        return true;
    case Unpacked::InitLine:
        if (stored.initLine)
            write.putShown(key.name, key.slot == 0 ? stored.initLine->prefix : stored.initLine->suffix);
        return true;
    case Unpacked::Text:
        write.putStored(key.name, stored.head.texts[key.slot]);
        return true;
    default:
        return false;
    }
}

}  // namespace vesk
