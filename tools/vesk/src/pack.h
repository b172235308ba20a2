// vesk pack: a copy of the stub with the container written into `.VESK`.
#pragma once

#include <filesystem>
#include <optional>

#include "pack_settings.h"
#include "pe_image.h"
#include "signing.h"

namespace vesk {

struct PackOptions {
    PackRequest request;
    std::filesystem::path output;
    std::optional<std::filesystem::path> stub;  // default: the arch's stub beside the tool
    std::optional<StubArch> arch;                // --arch; the stub must be of it when both are given
    std::optional<SigningRequest> signing;       // sign the setup with osslsigncode
};

void Pack(const PackOptions& options);

// vesk-stub.exe (x86) or vesk-stub-x64.exe (x64) in the tool's own directory.
std::filesystem::path DefaultStubPath(StubArch arch);

}  // namespace vesk
