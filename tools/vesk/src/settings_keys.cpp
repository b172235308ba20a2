#include "settings_keys.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "format/ini_keys.h"
#include "format/container_layout.h"
#include "ini_file.h"
#include "payloads.h"

namespace vesk {

namespace {

using enum KeyPlace;
using enum Unpacked;

constexpr uint8_t Slot(PayloadId id) {
    return static_cast<uint8_t>(id);
}
constexpr uint8_t Slot(MessageId id) {
    return static_cast<uint8_t>(id - MESSAGE_ID_FIRST);
}

constexpr std::string_view kVersionKeyPrefix = "Version";

#define KEY_TEXT_OF(number) #number
#define KEY_NUMBER_TEXT(number) KEY_TEXT_OF(number)

constexpr size_t kBlockText = STORED_TEXT_MAX(TEXT_BLOCK_FIELD);
constexpr size_t kText = STORED_TEXT_MAX(TEXT_FIELD);

// Name, place, limit, kind and slot, option, fallback.
const std::array kKeys = std::to_array<SettingsKey>({
    {INI_KEY_PRODUCT_FILE, PayloadFile, STORED_TEXT_MAX(PRODUCT_FILE_NAME_FIELD), Payload, Slot(PayloadId::Product),
     "--product"},
    {INI_KEY_PRODUCT_CODE, ProductIdentity, STORED_TEXT_MAX(PRODUCT_CODE_FIELD), String, 1, "--product-code"},
    {INI_KEY_PRODUCT_VERSION, ProductIdentity, STORED_TEXT_MAX(PRODUCT_VERSION_FIELD), String, 2, "--product-version"},
    {INI_KEY_TRANSFORM, Container, STORED_TEXT_MAX(TRANSFORM_BASE_FIELD), String, 3, "--transform-base"},
    {INI_KEY_PRODUCT_NAME, ProductIdentity, kBlockText, TextBlock, 1, "--product-name"},
    // Read as a version, but refused by length first like any text.
    {INI_KEY_RUNTIME_VERSION, Container, kBlockText, RuntimeVersion, 0, "--runtime-version"},
    {INI_KEY_RUNTIME_9X, PayloadFile, 0, Payload, Slot(PayloadId::Runtime9X), "--runtime-9x"},
    {INI_KEY_RUNTIME_NT, PayloadFile, 0, Payload, Slot(PayloadId::RuntimeNT), "--runtime-nt"},
    {INI_KEY_CHAR_FONT, Container, kBlockText, TextBlock, 0, nullptr, DEFAULT_CHAR_FONT},
    // No fallback: the code page's character set, whose glyphs the splash's font must have.
    {INI_KEY_CHAR_SET, Container, 0, Descriptor, DESCRIPTOR_FONT_CHARSET},
    {INI_KEY_CHAR_SIZE, Container, 0, Descriptor, DESCRIPTOR_FONT_POINT_SIZE, nullptr, KEY_NUMBER_TEXT(DEFAULT_CHAR_SIZE)},
    {INI_KEY_INIT_PREFIX, Container, kBlockText, InitLine, 0, nullptr, DEFAULT_INIT_PREFIX},
    {INI_KEY_INIT_SUFFIX, Container, kBlockText, InitLine, 1, nullptr, DEFAULT_INIT_SUFFIX},
    {INI_KEY_CMDLINE, Container, kText, Text, Slot(MSG_CMDLINE)},
    {INI_KEY_ADMIN_ERROR, Container, kText, Text, Slot(MSG_ADMIN_ERROR)},
    {INI_KEY_EXIST_ERROR, Container, kText, Text, Slot(MSG_EXIST_ERROR)},
    {INI_KEY_SPACE_ERROR, Container, kText, Text, Slot(MSG_SPACE_ERROR)},
    {INI_KEY_CRC_ERROR, Container, kText, Text, Slot(MSG_CRC_ERROR)},
    {INI_KEY_REBOOT, Container, kText, Text, Slot(MSG_REBOOT)},
    {kSizeCheckKey, Tool, 0, SizeCheck},
    {kArchKey, Tool, 0, Arch, 0, "--arch"},
    {kCodePageKey, Tool, 0, CodePage, 0, "--codepage"},
    {kSplashKey, ResourceFile, 0, Branding, 0, "--splash"},
    {kIconKey, ResourceFile, 0, Branding, 0, "--icon"},
    {kExecutionLevelKey, Resources, 0, Branding, 0, "--execution-level"},
    {kVersionCompanyNameKey, Resources, kMaxVersionString, VersionString},
    {"VersionFileDescription", Resources, kMaxVersionString, VersionString},
    {"VersionFileVersion", Resources, kMaxVersionString, VersionString},
    {"VersionLegalCopyright", Resources, kMaxVersionString, VersionString},
    {"VersionOriginalFilename", Resources, kMaxVersionString, VersionString},
    {"VersionProductName", Resources, kMaxVersionString, VersionString},
    {"VersionProductVersion", Resources, kMaxVersionString, VersionString},
    {INI_KEY_REMOVE_PREVIOUS, SideFileOnly, 0, Never},
    {INI_KEY_RUNTIME_CMDLINE, SideFileOnly, 0, Never},
});

}  // namespace

std::span<const SettingsKey> SettingsKeys() {
    return kKeys;
}

const SettingsKey* FindSettingsKey(std::string_view name) {
    const std::string wanted = LowerCase(std::string(name));
    auto it = std::find_if(kKeys.begin(), kKeys.end(),
                           [&](const SettingsKey& key) { return LowerCase(key.name) == wanted; });
    return it == kKeys.end() ? nullptr : &*it;
}

const SettingsKey& SettingsKeyNamed(std::string_view name) {
    if (const SettingsKey* key = FindSettingsKey(name)) return *key;
    throw std::logic_error("no settings key " + std::string(name));
}

const SettingsKey* FindKeyOption(std::string_view option) {
    auto it = std::find_if(kKeys.begin(), kKeys.end(),
                           [&](const SettingsKey& key) { return key.option && key.option == option; });
    return it == kKeys.end() ? nullptr : &*it;
}

const char* TextKey(size_t index) {
    auto it = std::find_if(kKeys.begin(), kKeys.end(),
                           [&](const SettingsKey& key) { return key.unpack == Text && key.slot == index; });
    return it->name;
}

std::string VersionStringName(const SettingsKey& key) {
    return std::string(key.name).substr(kVersionKeyPrefix.size());
}

}  // namespace vesk
