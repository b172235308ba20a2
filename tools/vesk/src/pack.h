// vesk pack: a copy of the stub with the container written into `.VESK`.
#pragma once

#include <filesystem>
#include <optional>

#include "pack_settings.h"

namespace vesk {

struct PackOptions {
    PackRequest request;
    std::filesystem::path output;
    std::optional<std::filesystem::path> stub;  // default: vesk-stub.exe beside the tool
};

void Pack(const PackOptions& options);

// vesk-stub.exe in the tool's own directory.
std::filesystem::path DefaultStubPath();

}  // namespace vesk
