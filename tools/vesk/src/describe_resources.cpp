#include "describe_resources.h"

#include "failure.h"
#include "icon_file.h"
#include "manifest.h"
#include "setup_resources.h"
#include "splash_picture.h"
#include "version_resource.h"

namespace vesk {

std::optional<Report> DescribeResources(const SetupFile& setup) {
    Report resources = Report::Object();
    std::optional<ResourceTree> read;
    try {
        read = ReadSetupResources(setup);
    } catch (const Failure& failure) {
        return resources.AddText("problem", failure.what());
    }
    if (!read) return std::nullopt;
    const ResourceTree& tree = *read;
    Report splash = Report::Object();
    if (const ResourceItem* item = tree.Find(kResourceBitmap, kSplashResource)) {
        splash.Add("size", item->data.size());
        if (auto size = SplashSize(item->data))
            splash.Add("width", static_cast<uint32_t>(size->width)).Add("height", static_cast<uint32_t>(size->height));
        splash.AddText("default", IsDefaultSplash(item->data) ? "yes" : "no");
    } else {
        splash.AddText("default", "none: no splash picture");
    }
    resources.Add("splash", std::move(splash));

    Report icon = Report::Object();
    if (auto images = IconGroupImages(tree, kIconGroupResource)) {
        Report list = Report::Array();
        for (const IconImage& image : *images) {
            Report entry = Report::Object();
            entry.Add("width", image.width == 0 ? 256u : image.width)
                .Add("height", image.height == 0 ? 256u : image.height)
                .Add("bitCount", image.bitCount)
                .Add("size", image.data.size());
            list.Push(std::move(entry));
        }
        icon.Add("images", std::move(list)).AddText("default", IsDefaultIcon(tree) ? "yes" : "no");
    } else {
        icon.AddText("default", "none: no sound icon group 108");
    }
    resources.Add("icon", std::move(icon));

    if (const ResourceItem* item = tree.Find(kResourceManifest, kManifestResource)) {
        Report manifest = Report::Object();
        manifest.Add("size", item->data.size())
            .AddText("executionLevel", ManifestExecutionLevel(item->data).value_or("none given"));
        resources.Add("manifest", std::move(manifest));
    }
    if (const ResourceItem* item = tree.Find(kResourceVersion, kVersionResource)) {
        Report version = Report::Object();
        if (auto info = ParseVersionResource(item->data)) {
            const std::string fixed = FormatVersionText(info->fixed);
            version.AddText("fixedVersion", fixed.empty() ? "0.0.0.0" : fixed);
            for (const auto& [name, value] : info->strings) version.AddText(name, value);
        } else {
            version.AddText("problem", "not a sound VS_VERSIONINFO");
        }
        resources.Add("version", std::move(version));
    }
    return resources;
}

}  // namespace vesk
