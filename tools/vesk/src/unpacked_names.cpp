#include "unpacked_names.h"

#include <utility>

#include "escaped_text.h"
#include "ini_file.h"
#include "payloads.h"
#include "text_encoding.h"
#include "setup_texts.h"

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

std::optional<std::string> StoredProductNameProblem(const std::string& stored, unsigned codePage) {
    const std::optional<std::string> name = FromCodePage(stored, codePage);
    if (!name) return "product file name " + Quoted(stored) + " is not text of code page " + std::to_string(codePage);
    if (auto problem = FileNameProblem(stored, codePage))
        return "product file name " + Quoted(*name) + " is not a plain file name: it " + *problem;
    if (auto clash = UnpackNameClash(*name))
        return "product file name " + Quoted(*name) + " clashes with " + *clash + " that unpack writes";
    return std::nullopt;
}

}  // namespace vesk
