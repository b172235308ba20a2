// Test API of the simulated operating system: platform family, system
// directory, environment and the code page's lead bytes.
#pragma once

#include <string>

namespace sim::os {

enum class Platform { NT, Win9x };
// NT (5.1.2600) by default; Win9x reports 4.10.2222.
void SetPlatform(Platform platform);
void SetVersion(unsigned major, unsigned minor, unsigned build);
// Default "C:\WINDOWS\SYSTEM32" (NT) or "C:\WINDOWS\SYSTEM" (9x).
void SetSystemDirectory(const std::string& path);
std::string SystemDirectory();
// The process's variables (ExpandEnvironmentStringsA, SetEnvironmentVariableA);
// names are case-insensitive; Environment gives "" for one not set.
void SetEnvironment(const std::string& name, const std::string& value);
std::string Environment(const std::string& name);
// A double-byte code page: bytes first..last start a two-byte character.
void AddLeadByteRange(unsigned char first, unsigned char last);

}  // namespace sim::os
