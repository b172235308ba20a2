// Test API of the simulated Windows Installer and the libraries the stub
// loads at run time: MSI.DLL (installed products, their removal) and
// VERSION.DLL (the file version of any file).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sim::installer {

// Libraries live in the system directory and load by that full path only:
// a bare name or any other folder finds nothing (on Windows it could find a
// planted copy). By default both load and export every entry point the stub
// uses.
void FailLibraryLoad(const std::string& library);  // "MSI.DLL", "VERSION.DLL"
void RemoveEntryPoint(const std::string& library, const std::string& entryPoint);
// Libraries loaded and not yet released.
int LoadedLibraryCount();

// Installed products, by product code (case-insensitive), with the
// "VersionString" property the service reports.
void InstallProduct(const std::string& productCode, const std::string& versionString);
bool IsInstalled(const std::string& productCode);
std::optional<std::string> InstalledVersion(const std::string& productCode);
// MsiConfigureProductA removing a product fails (ERROR_INSTALL_FAILURE), or
// reports success while the product stays installed with its version.
void FailRemoval();
void KeepProductAfterRemoval();

// File version data: the fixed file version of a Windows path
// (case-insensitive), as (major << 16) | minor and (build << 16) | revision.
// A file without a version set has no version resource.
void SetFileVersion(const std::string& path, uint32_t versionMS, uint32_t versionLS);
// The version data of a path is damaged: the fixed record VerQueryValueA
// hands out is shorter than VS_FIXEDFILEINFO, or lacks its signature.
enum class VersionDamage { ShortRecord, WrongSignature };
void DamageFileVersion(const std::string& path, VersionDamage damage);

}  // namespace sim::installer
