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

// Name; its entry in the man page (troff; none: the key is named in the
// heading of the entry before it, whose text serves both); place, limit,
// kind and slot, option, fallback.
const std::array kKeys = std::to_array<SettingsKey>({
    {INI_KEY_PRODUCT_FILE,
     "The MSI (or transform), relative to the settings file. Its name, as stored in\n"
     "the code page, must be one Windows can create a file under: no \\e, /, :, <, >,\n"
     "\", |, ?, * or control character (a character the code page stores as 0x5C, as\n"
     "932 does the yen sign, is a backslash to the setup), no trailing dot or blank,\n"
     "no device name (CON, PRN, AUX, NUL, COM0\\-9, LPT0\\-9, with any extension). Nor\n"
     "may it be one that unpack gives a file of its own (setup.ini, runtime\\-nt.exe,\n"
     "runtime\\-9x.exe, splash.bmp, icon.ico, in any case): pack refuses it, so that\n"
     "every setup unpacks.",
     PayloadFile, STORED_TEXT_MAX(PRODUCT_FILE_NAME_FIELD), Payload, Slot(PayloadId::Product), "--product"},
    {INI_KEY_PRODUCT_CODE, "The product's code, a braced upper-case GUID; read from the MSI when absent.", ProductIdentity,
     STORED_TEXT_MAX(PRODUCT_CODE_FIELD), String, 1, "--product-code"},
    {INI_KEY_PRODUCT_VERSION, "Likewise the product's version.", ProductIdentity,
     STORED_TEXT_MAX(PRODUCT_VERSION_FIELD), String, 2, "--product-version"},
    {INI_KEY_TRANSFORM, "The product file is a transform for the package of this name.", Container,
     STORED_TEXT_MAX(TRANSFORM_BASE_FIELD), String, 3, "--transform-base"},
    {INI_KEY_PRODUCT_NAME, "The name the setup shows; read from the MSI when absent.", ProductIdentity, kBlockText,
     TextBlock, 1, "--product-name"},
    // Read as a version, but refused by length first like any text.
    {INI_KEY_RUNTIME_VERSION, "The Windows Installer runtime the product needs, A.B.C.D.", Container, kBlockText,
     RuntimeVersion, 0, "--runtime-version"},
    {INI_KEY_RUNTIME_9X, "The runtime installers for 95/98 and for NT, run when the runtime is older.", PayloadFile, 0,
     Payload, Slot(PayloadId::Runtime9X), "--runtime-9x"},
    {INI_KEY_RUNTIME_NT, nullptr, PayloadFile, 0, Payload, Slot(PayloadId::RuntimeNT), "--runtime-nt"},
    {INI_KEY_CHAR_FONT,
     "The splash text's font face (default MS Sans Serif), character set (default:\n"
     "the one of CodePage, 0 for 1252, 204 for 1251, 128 for 932, ...) and point size\n"
     "(default 8).",
     Container, kBlockText, TextBlock, 0, nullptr, DEFAULT_CHAR_FONT},
    // No fallback: the code page's character set, whose glyphs the splash's font must have.
    {INI_KEY_CHAR_SET, nullptr, Container, 0, Descriptor, DESCRIPTOR_FONT_CHARSET},
    {INI_KEY_CHAR_SIZE, nullptr, Container, 0, Descriptor, DESCRIPTOR_FONT_POINT_SIZE, nullptr,
     KEY_NUMBER_TEXT(DEFAULT_CHAR_SIZE)},
    {INI_KEY_INIT_PREFIX, "The words around \"Vesk Installation\" in the splash's init line.", Container, kBlockText,
     InitLine, 0, nullptr, DEFAULT_INIT_PREFIX},
    {INI_KEY_INIT_SUFFIX, nullptr, Container, kBlockText, InitLine, 1, nullptr, DEFAULT_INIT_SUFFIX},
    {INI_KEY_CMDLINE, "The engine switches used when the user gives none, e.g. /qb.", Container, kText, Text,
     Slot(MSG_CMDLINE)},
    {INI_KEY_ADMIN_ERROR,
     "The setup's texts: no administrator rights; another version installed (at\n"
     "most five %s); no temporary space; a corrupt setup; the restart question.\n"
     "Empty: the built-in text.",
     Container, kText, Text, Slot(MSG_ADMIN_ERROR)},
    {INI_KEY_EXIST_ERROR, nullptr, Container, kText, Text, Slot(MSG_EXIST_ERROR)},
    {INI_KEY_SPACE_ERROR, nullptr, Container, kText, Text, Slot(MSG_SPACE_ERROR)},
    {INI_KEY_CRC_ERROR, nullptr, Container, kText, Text, Slot(MSG_CRC_ERROR)},
    {INI_KEY_REBOOT, nullptr, Container, kText, Text, Slot(MSG_REBOOT)},
    {kSizeCheckKey, "0 records no expected file size, as \\fB\\-\\-no\\-size\\-check\\fR.", Tool, 0, SizeCheck},
    {kArchKey,
     "x86 or x64, as \\fB\\-\\-arch\\fR. Unpack writes the setup's architecture here, so\n"
     "that packing its settings again takes the same stub.",
     Tool, 0, Arch, 0, "--arch"},
    {kCodePageKey,
     "As \\fB\\-\\-codepage\\fR. Unpack writes the setup's code page here and its texts\n"
     "back as UTF-8.",
     Tool, 0, CodePage, 0, "--codepage"},
    {kSplashKey, "As \\fB\\-\\-splash\\fR, \\fB\\-\\-icon\\fR and \\fB\\-\\-execution\\-level\\fR.", ResourceFile, 0,
     Branding, 0, "--splash"},
    {kIconKey, nullptr, ResourceFile, 0, Branding, 0, "--icon"},
    {kExecutionLevelKey, nullptr, Resources, 0, Branding, 0, "--execution-level"},
    {kVersionCompanyNameKey,
     "A string of the setup's version resource of its own; empty leaves it out.\n"
     "By default the resource is made from ProductName, ProductVersion, the MSI's\n"
     "Manufacturer (a warning says when it cannot be read) and the output's name.",
     Resources, kMaxVersionString, VersionString},
    {"VersionFileDescription", nullptr, Resources, kMaxVersionString, VersionString},
    {"VersionFileVersion", nullptr, Resources, kMaxVersionString, VersionString},
    {"VersionLegalCopyright", nullptr, Resources, kMaxVersionString, VersionString},
    {"VersionOriginalFilename", nullptr, Resources, kMaxVersionString, VersionString},
    {"VersionProductName", nullptr, Resources, kMaxVersionString, VersionString},
    {"VersionProductVersion", nullptr, Resources, kMaxVersionString, VersionString},
    {INI_KEY_REMOVE_PREVIOUS, "Side-file keys that a packed setup does not read; a warning says so.", SideFileOnly, 0,
     Never},
    {INI_KEY_RUNTIME_CMDLINE, nullptr, SideFileOnly, 0, Never},
});

}  // namespace

std::span<const SettingsKey> SettingsKeys() {
    return kKeys;
}

std::string SettingsManual() {
    // A name with a blank is one argument only in quotes.
    auto quoted = [](std::string_view name) {
        return name.find(' ') == std::string_view::npos ? std::string(name) : "\"" + std::string(name) + "\"";
    };
    std::string manual;
    for (size_t first = 0; first < kKeys.size();) {
        size_t end = first + 1;
        while (end < kKeys.size() && !kKeys[end].manual) ++end;
        std::string heading = end - first == 1 ? ".B " : ".BR ";
        for (size_t key = first; key < end; ++key)
            heading += (key == first ? "" : " \", \" ") + quoted(kKeys[key].name);
        manual += ".TP\n" + heading + "\n" + kKeys[first].manual + "\n";
        first = end;
    }
    return manual;
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
