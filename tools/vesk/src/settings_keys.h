// Every settings key the tool knows, described once: the setup's own keys
// (format/ini_keys.h) and the tool's, how long a value may be, where a pack
// puts it, how unpack writes it back, and the pack option that stands for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vesk {

inline constexpr const char* kSplashKey = "Splash";
inline constexpr const char* kIconKey = "Icon";
inline constexpr const char* kExecutionLevelKey = "ExecutionLevel";
// "0" records no expected file size (the same as --no-size-check), so
// unpack can say so too.
inline constexpr const char* kSizeCheckKey = "SizeCheck";
// x86 or x64: the stub pack takes, so that unpack and pack keep it.
inline constexpr const char* kArchKey = "Arch";
// The Windows ANSI code page the setup's texts are stored in.
inline constexpr const char* kCodePageKey = "CodePage";
// Gives the version resource's CompanyName, else the MSI's Manufacturer does.
inline constexpr const char* kVersionCompanyNameKey = "VersionCompanyName";
// The longest version resource string: seven of them keep the resource far
// below 64 KiB.
inline constexpr size_t kMaxVersionString = 1000;

enum class KeyPlace : uint8_t {
    Container,        // the container's head
    ProductIdentity,  // the container's head, from the MSI's Property table when not given
    PayloadFile,      // a file, relative to the settings file, stored as a payload
    Resources,        // the stub's resources
    ResourceFile,     // a file, relative to the settings file, read into the resources
    Tool,             // how the tool packs
    SideFileOnly,     // nowhere: only a setup that reads its side file means it
};

// The key's kind: where a packed setup holds the value, which unpack writes
// back; the key's slot says which one. A key of a kind that many keys share
// travels by its kind alone, both ways (TextBlock, Descriptor, InitLine and
// Text in key_kinds.cpp; VersionString in one loop of pack's and one case of
// unpack's), so a new key of one of them is one row; the others are read and
// written one by one.
enum class Unpacked : uint8_t {
    Never,           // nothing holds it
    String,          // container string `slot`
    TextBlock,       // part `slot` of the text block
    Descriptor,      // descriptor byte `slot`, as a number
    InitLine,        // the prefix (slot 0) or suffix (1) that composes the init line
    Text,            // the configurable text of MessageId MESSAGE_ID_FIRST + slot
    Payload,         // the file unpack writes payload `slot` (a PayloadId) to
    RuntimeVersion,  // the header's required runtime version
    SizeCheck,       // 1 when the header records the file size, else 0
    Arch,            // the setup's architecture, x86 or x64
    CodePage,        // the header's text code page
    Branding,        // a splash picture, icon or manifest in the resources
    VersionString,   // the version resource's string VersionStringName(key)
};

struct SettingsKey {
    const char* name;
    // Its entry in the man page's settings (troff); none: named in the
    // heading of the entry before it, whose text serves both.
    const char* manual;
    KeyPlace place;
    size_t limit;  // the most bytes a value (a file's name) may have; 0: no limit of its own
    Unpacked unpack;
    uint8_t slot = 0;
    const char* option = nullptr;  // pack's option for it
    // The value pack stores when none is given (TextBlock, InitLine, Text
    // and Descriptor kinds); none: empty, a Descriptor byte the code page's.
    const char* fallback = nullptr;
};

// In the order unpack writes them.
std::span<const SettingsKey> SettingsKeys();
// The man page's settings entries, one for each key with a text of its own,
// in the table's order (`vesk_manual` puts them in share/vesk.1).
std::string SettingsManual();

// The key of that name in any case; none for an unknown one.
const SettingsKey* FindSettingsKey(std::string_view name);
// The key of that name, which must be one.
const SettingsKey& SettingsKeyNamed(std::string_view name);
// The key pack's option stands for; none for other options.
const SettingsKey* FindKeyOption(std::string_view option);
// The key of configurable text `index` (MessageId - MESSAGE_ID_FIRST).
const char* TextKey(size_t index);
// The version resource string a VersionString key gives: VersionCompanyName
// gives CompanyName.
std::string VersionStringName(const SettingsKey& key);

}  // namespace vesk
