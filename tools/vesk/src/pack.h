// vesk pack: a copy of the stub with the container written into `.VESK`.
#pragma once

#include <filesystem>
#include <optional>

#include "console.h"
#include "pack_settings.h"
#include "pe_image.h"
#include "signing.h"

namespace vesk {

struct PackOptions {
    PackRequest request;
    std::filesystem::path output;
    std::optional<std::filesystem::path> stub;  // default: the arch's stub beside the tool
    std::optional<SigningRequest> signing;       // sign the setup with osslsigncode
    Verbosity verbosity = Verbosity::Normal;     // --quiet, --verbose
};

// Writes the setup, then says what was written in one line (see console.h).
void Pack(const PackOptions& options);

}  // namespace vesk
