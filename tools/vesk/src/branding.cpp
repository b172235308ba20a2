#include "branding.h"

#include "escaped_text.h"
#include "failure.h"
#include "icon_file.h"
#include "resource_section.h"
#include "splash_picture.h"
#include "version_resource.h"

namespace vesk {

namespace {

VersionInfo ComposeVersionInfo(const Branding& branding, const std::string& outputName) {
    std::map<std::string, std::string> strings = {{"FileDescription", branding.productName + " Setup"},
                                                  {"FileVersion", branding.productVersion},
                                                  {"OriginalFilename", outputName},
                                                  {"ProductName", branding.productName},
                                                  {"ProductVersion", branding.productVersion}};
    if (branding.manufacturer) strings["CompanyName"] = *branding.manufacturer;
    for (const auto& [name, value] : branding.versionStrings) strings[name] = value;
    VersionInfo info;
    for (const char* name : kVersionStringNames)
        if (auto it = strings.find(name); it != strings.end() && !it->second.empty()) info.strings.emplace_back(name, it->second);
    if (auto words = ParseVersionText(branding.productVersion))
        info.fixed = *words;
    else
        Warn(branding.productVersionOrigin, "ProductVersion " + Quoted(branding.productVersion) +
                        " is not a.b.c.d with parts from 0 to 65535; the version resource says 0.0.0.0");
    return info;
}

}  // namespace

void BrandStub(std::vector<uint8_t>& stub, PeImage& image, const Branding& branding, const std::string& outputName,
               const std::string& input) {
    // The files first: a bad picture is named before anything about the stub.
    std::optional<std::vector<uint8_t>> splash;
    if (branding.splash) splash = ReadSplashPicture(*branding.splash);
    std::optional<std::vector<IconImage>> icon;
    if (branding.icon) icon = ReadIconFile(*branding.icon);

    const int index = FindResourceSection(image, input);
    if (index < 0) {
        // A stub of another make may have no resources at all: it packs as
        // it is unless the builder asked for something to put there.
        if (splash || icon || !branding.executionLevel.empty() || !branding.versionStrings.empty())
            throw Failure(input, "has no resource section for the splash, icon, manifest and version");
        Warn(input, "has no resource section; the setup gets no version resource");
        return;
    }
    const PeSection& section = image.sections[static_cast<size_t>(index)];
    if (uint64_t{section.pointerToRawData} + section.sizeOfRawData > stub.size())
        throw Failure(input, "the resource section runs past the end of the file");
    ResourceTree tree = ReadResources(std::span(stub).subspan(section.pointerToRawData, section.sizeOfRawData),
                                      image, index, input);
    if (splash) {
        ResourceItem item{ResourceId::Number(kResourceBitmap), ResourceId::Number(kSplashResource),
                          ResourceId::Number(kLanguageEnglishUs), 0, std::move(*splash)};
        if (const ResourceItem* old = tree.Find(kResourceBitmap, kSplashResource)) {
            item.language = old->language;
            item.codePage = old->codePage;
        }
        tree.Remove(kResourceBitmap, kSplashResource);
        tree.Put(std::move(item));
    }
    if (icon) PutIconGroup(tree, kIconGroupResource, *icon);
    tree.Remove(kResourceVersion, kVersionResource);
    tree.Put({ResourceId::Number(kResourceVersion), ResourceId::Number(kVersionResource),
              ResourceId::Number(kLanguageEnglishUs), 0, BuildVersionResource(ComposeVersionInfo(branding, outputName))});
    if (!branding.executionLevel.empty()) {
        tree.Remove(kResourceManifest, kManifestResource);
        tree.Put({ResourceId::Number(kResourceManifest), ResourceId::Number(kManifestResource),
                  ResourceId::Number(kLanguageEnglishUs), 0, BuildManifest(branding.executionLevel)});
    }
    stub = ReplaceResourceSection(stub, image, tree, input);
    image = ParsePeImage(stub, input);
}

}  // namespace vesk
