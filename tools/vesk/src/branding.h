// How a setup looks and what it says about itself besides its container:
// the builder's splash picture and icon, a version resource and an
// application manifest, put into the stub's resources before the container
// is written.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "manifest.h"
#include "pe_image.h"

namespace vesk {

struct Branding {
    std::optional<std::filesystem::path> splash;  // a BMP file
    std::optional<std::filesystem::path> icon;    // an .ico file
    std::string executionLevel;                   // a manifest's; empty for none
    // The version resource's sources: the product's identity, the MSI's
    // Manufacturer, and strings given by name (an empty one is left out).
    std::string productName;
    std::string productVersion;
    std::string productVersionOrigin;  // who gave it, for messages
    std::optional<std::string> manufacturer;
    std::map<std::string, std::string> versionStrings;
};

// Puts the branding into stub and parses it again into image; outputName
// is the setup's file name, its OriginalFilename. It also makes room for
// the digest record, so a stub without resources is refused. Throws Failure
// naming the file at fault.
void BrandStub(std::vector<uint8_t>& stub, PeImage& image, const Branding& branding, const std::string& outputName,
               const std::string& input);
// Writes the digest record (DIGEST_RECORD_SIZE bytes, format/container_layout.h)
// into the place BrandStub made; the image's layout stays as it was.
void PutDigestRecord(std::vector<uint8_t>& stub, PeImage& image, const std::vector<uint8_t>& record,
                     const std::string& input);

}  // namespace vesk
