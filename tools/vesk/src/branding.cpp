#include "branding.h"

#include "failure.h"
#include "icon_file.h"
#include "resource_section.h"
#include "splash_picture.h"

namespace vesk {

void BrandStub(std::vector<uint8_t>& stub, PeImage& image, const Branding& branding, const std::string& input) {
    if (!branding.splash && !branding.icon) return;
    // The files first: a bad picture is named before anything about the stub.
    std::optional<std::vector<uint8_t>> splash;
    if (branding.splash) splash = ReadSplashPicture(*branding.splash);
    std::optional<std::vector<IconImage>> icon;
    if (branding.icon) icon = ReadIconFile(*branding.icon);

    const int index = FindResourceSection(image, input);
    if (index < 0) throw Failure(input, "has no resource section for the splash and icon");
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
    stub = ReplaceResourceSection(stub, image, tree, input);
    image = ParsePeImage(stub, input);
}

}  // namespace vesk
