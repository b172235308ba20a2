// A built setup's resources, read back for inspect and unpack.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "resource_tree.h"
#include "setup_file.h"

namespace vesk {

// None when the setup has no resource directory. Failure for one that is
// not sound.
std::optional<ResourceTree> ReadSetupResources(const SetupFile& setup);

// True when the splash picture (or icon) is the one Vesk's stub brings.
bool IsDefaultSplash(const std::vector<uint8_t>& resource);
bool IsDefaultIcon(const ResourceTree& tree);

// The branding of a setup as settings and the files they name, so that
// packing them again gives the same resources. What cannot be written back
// (unreadable resources, a picture pack would refuse) draws a warning.
struct UnpackedBranding {
    std::vector<std::pair<std::string, std::string>> settings;           // key, value
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;     // name, bytes
};
UnpackedBranding UnpackBranding(const SetupFile& setup);

}  // namespace vesk
