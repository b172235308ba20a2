#include "unpacked_names.h"

#include <utility>

#include "ini_file.h"
#include "payloads.h"

namespace vesk {

std::optional<std::string> UnpackNameClash(const std::string& productName) {
    const std::pair<const char*, const char*> own[] = {
        {kUnpackedSettingsName, "the settings file"},
        {NamesOf(PayloadId::Runtime9X).unpackedFile, "a runtime file"},
        {NamesOf(PayloadId::RuntimeNT).unpackedFile, "a runtime file"},
        {kUnpackedSplashName, "the splash picture"},
        {kUnpackedIconName, "the icon"},
    };
    for (const auto& [name, what] : own)
        if (LowerCase(name) == LowerCase(productName)) return std::string(what) + " " + name;
    return std::nullopt;
}

}  // namespace vesk
