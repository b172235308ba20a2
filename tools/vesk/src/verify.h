// vesk verify: PE structure, recorded file size, header CheckSum, every
// payload's CRC-32 and the signature, when there is one.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "signing.h"

namespace vesk {

// The problems found, one line each without the file name; empty when the
// setup is sound. Failure when it cannot even be read as a setup. signature,
// when given, receives whether the setup is signed and the signature holds;
// caFile: the certificates its chain must lead to.
std::vector<std::string> VerifySetup(const std::filesystem::path& setup, SignatureReport* signature = nullptr,
                                     const std::optional<std::filesystem::path>& caFile = std::nullopt);

std::string HexWord(uint32_t value);

}  // namespace vesk
