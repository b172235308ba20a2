#include "setup_resources.h"

#include <algorithm>

#include "default_art.h"
#include "escaped_text.h"
#include "failure.h"
#include "icon_file.h"
#include "manifest.h"
#include "resource_section.h"
#include "settings_keys.h"
#include "splash_picture.h"
#include "unpacked_names.h"
#include "version_resource.h"

namespace vesk {

std::optional<ResourceTree> ReadSetupResources(const SetupFile& setup) {
    const InputFile& file = *setup.file;
    const int index = FindResourceSection(setup.image, file.Name());
    if (index < 0) return std::nullopt;
    const PeSection& section = setup.image.sections[static_cast<size_t>(index)];
    const uint64_t held = file.Size() > section.pointerToRawData ? file.Size() - section.pointerToRawData : 0;
    std::vector<uint8_t> raw(std::min<uint64_t>(section.sizeOfRawData, held));
    raw.resize(file.ReadAt(section.pointerToRawData, raw));
    return ReadResources(raw, setup.image, index, file.Name());
}

bool IsDefaultSplash(const std::vector<uint8_t>& resource) {
    return resource == SplashFromBmp(kDefaultSplashFile, "resources/splash.bmp");
}

bool IsDefaultIcon(const ResourceTree& tree) {
    auto images = IconGroupImages(tree, kIconGroupResource);
    return images && IcoFromIcon(*images) == kDefaultIconFile;
}

UnpackedBranding UnpackBranding(const SetupFile& file) {
    UnpackedBranding out;
    const std::string& setup = file.file->Name();
    std::optional<ResourceTree> resources;
    try {
        resources = ReadSetupResources(file);
    } catch (const Failure& failure) {
        Warn(setup, std::string("splash and icon left out: ") + failure.what());
    }
    if (!resources) return out;
    const ResourceTree& tree = *resources;
    if (const ResourceItem* splash = tree.Find(kResourceBitmap, kSplashResource); splash && !IsDefaultSplash(splash->data)) {
        std::vector<uint8_t> file = BmpFromSplash(splash->data);
        try {
            SplashFromBmp(file, kUnpackedSplashName);
            out.settings.emplace_back(kSplashKey, kUnpackedSplashName);
            out.files.emplace_back(kUnpackedSplashName, std::move(file));
        } catch (const Failure&) {
            Warn(setup, "splash bitmap 111 is not a picture pack takes; left out");
        }
    }
    if (tree.Find(kResourceIconGroup, kIconGroupResource) && !IsDefaultIcon(tree)) {
        if (auto images = IconGroupImages(tree, kIconGroupResource)) {
            out.settings.emplace_back(kIconKey, kUnpackedIconName);
            out.files.emplace_back(kUnpackedIconName, IcoFromIcon(*images));
        } else {
            Warn(setup, "icon group 108 names images the setup does not hold; left out");
        }
    }
    if (const ResourceItem* item = tree.Find(kResourceManifest, kManifestResource)) {
        auto level = ManifestExecutionLevel(item->data);
        if (level && IsExecutionLevel(*level) && BuildManifest(*level) == item->data)
            out.settings.emplace_back(kExecutionLevelKey, *level);
        else
            Warn(setup, "manifest is not one pack writes; left out");
    }
    if (const ResourceItem* item = tree.Find(kResourceVersion, kVersionResource)) {
        auto info = ParseVersionResource(item->data);
        if (!info) {
            Warn(setup, "version resource is not a sound VS_VERSIONINFO; left out");
            return out;
        }
        // Every key is written, a string the setup lacks as empty (left
        // out), since OriginalFilename and CompanyName depend on more than
        // the settings.
        for (const auto& [name, value] : info->strings)
            if (std::find(kVersionStringNames.begin(), kVersionStringNames.end(), name) == kVersionStringNames.end())
                Warn(setup, "version string " + Quoted(name) + " is not one pack writes; left out");
        for (const SettingsKey& key : SettingsKeys()) {
            if (key.unpack != Unpacked::VersionString) continue;
            auto given = std::find_if(info->strings.begin(), info->strings.end(),
                                      [&](const auto& s) { return s.first == VersionStringName(key); });
            out.settings.emplace_back(key.name, given == info->strings.end() ? "" : given->second);
        }
    }
    return out;
}

}  // namespace vesk
