// Reads values from an installer database's Property table.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vesk {

// True when the file begins with the compound-file signature that every
// installer database and transform has. Failure when it cannot be read.
bool HasCompoundFileSignature(const std::filesystem::path& file);

// The named properties that the Property table has (others are left out).
// Failure when the file is not an installer database.
std::map<std::string, std::string> ReadMsiProperties(const std::filesystem::path& msi,
                                                     const std::vector<std::string>& names);

}  // namespace vesk
