#include "branding.h"

#include "format/container_layout.h"

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

// The stub's resources, read for a rewrite. A stub without a resource
// section cannot carry the digest record, without which no setup runs.
ResourceTree StubResources(const std::vector<uint8_t>& stub, const PeImage& image, const std::string& input) {
    const int index = FindResourceSection(image, input);
    if (index < 0) throw Failure(input, "has no resource section for the digests the setup checks its container against");
    const PeSection& section = image.sections[static_cast<size_t>(index)];
    if (uint64_t{section.pointerToRawData} + section.sizeOfRawData > stub.size())
        throw Failure(input, "the resource section runs past the end of the file");
    return ReadResources(std::span(stub).subspan(section.pointerToRawData, section.sizeOfRawData), image, index, input);
}

void PutDigests(ResourceTree& tree, std::vector<uint8_t> record) {
    tree.Remove(kResourceData, DIGEST_RESOURCE_ID);
    tree.Put({ResourceId::Number(kResourceData), ResourceId::Number(DIGEST_RESOURCE_ID),
              ResourceId::Number(kLanguageEnglishUs), 0, std::move(record)});
}

}  // namespace

void BrandStub(std::vector<uint8_t>& stub, PeImage& image, const Branding& branding, const std::string& outputName,
               const std::string& input) {
    // The files first: a bad picture is named before anything about the stub.
    std::optional<std::vector<uint8_t>> splash;
    if (branding.splash) splash = ReadSplashPicture(*branding.splash);
    std::optional<std::vector<IconImage>> icon;
    if (branding.icon) icon = ReadIconFile(*branding.icon);

    ResourceTree tree = StubResources(stub, image, input);
    // Its place and size now; PutDigestRecord fills it once the container is known.
    PutDigests(tree, std::vector<uint8_t>(DIGEST_RECORD_SIZE));
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

void PutDigestRecord(std::vector<uint8_t>& stub, PeImage& image, const std::vector<uint8_t>& record,
                     const std::string& input) {
    ResourceTree tree = StubResources(stub, image, input);
    PutDigests(tree, record);
    stub = ReplaceResourceSection(stub, image, tree, input);
    image = ParsePeImage(stub, input);
}

}  // namespace vesk
