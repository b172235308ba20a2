// vesk verify: PE structure, recorded file size, header CheckSum and every
// payload's CRC-32.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vesk {

// The problems found, one line each without the file name; empty when the
// setup is sound. Failure when it cannot even be read as a setup.
std::vector<std::string> VerifySetup(const std::filesystem::path& setup);

std::string HexWord(uint32_t value);

}  // namespace vesk
