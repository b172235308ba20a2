// What a pack is asked for: the settings file in the side-file format and
// the command-line options that override its keys, resolved into the
// container's fields and the files to store.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "branding.h"
#include "container_format.h"
#include "pe_image.h"

namespace vesk {

struct SettingOverride {
    std::string key;
    std::string value;
    std::string origin;  // the option that gave it, for messages
};

struct PackRequest {
    std::optional<std::filesystem::path> settingsFile;
    std::vector<SettingOverride> overrides;  // later ones win
};

// The stub's architecture asked for, and where, for messages.
struct ArchRequest {
    StubArch arch;
    std::string origin;  // "--arch", or "Arch in settings.ini"
};

struct PackPlan {
    ContainerFields fields;  // sizes and expected file size still 0
    std::filesystem::path product;
    std::optional<std::filesystem::path> runtime9X;
    std::optional<std::filesystem::path> runtimeNT;
    bool sizeCheck = true;
    std::optional<ArchRequest> arch;  // none: x86, unless a given stub says otherwise
    Branding branding;
};

// Throws Failure naming the input at fault. Prints warnings for keys that
// mean nothing in a packed setup.
PackPlan ResolvePackSettings(const PackRequest& request);

}  // namespace vesk
