// The application manifest (resource 24, number 1) that `--execution-level`
// embeds: the execution level Windows starts the setup with, and the
// Windows versions from Vista to 11 the setup is known to run on.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vesk {

inline constexpr uint16_t kManifestResource = 1;

// asInvoker, highestAvailable or requireAdministrator.
bool IsExecutionLevel(const std::string& level);
std::vector<uint8_t> BuildManifest(const std::string& level);
// The level a manifest asks for; none when it names none.
std::optional<std::string> ManifestExecutionLevel(std::span<const uint8_t> manifest);

}  // namespace vesk
