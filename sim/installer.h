// Test API of the simulated Windows Installer and the libraries the stub
// loads at run time: MSI.DLL (installed products, their removal) and
// VERSION.DLL (the file version of any file).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win32/api.h"

namespace sim::installer {

// Libraries live in the system directory and load by that full path only:
// a bare name or any other folder finds nothing (on Windows it could find a
// planted copy). By default all load and export every entry point the stub
// uses: MSI.DLL (which needs WINTRUST.DLL), VERSION.DLL, COMCTL32.DLL,
// UXTHEME.DLL, and, in memory from the start, KERNEL32.DLL, whose
// SetDefaultDllDirectories and SetDllDirectoryA an older system lacks, and
// USER32.DLL and ADVAPI32.DLL, whose window station and event log calls the
// 95/98 family lacks.
void FailLibraryLoad(const std::string& library);
void RemoveEntryPoint(const std::string& library, const std::string& entryPoint);
// How often a library is loaded and not yet released.
int LoadCount(const std::string& library);
// A loaded library's module, by name with or without ".DLL"; NULL if none.
HMODULE LoadedModule(const std::string& name);

// Where the process looks for a library named without a path: the program's
// folder first (Standard, or WithoutCurrentFolder after SetDllDirectoryA(""))
// or, after SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), the
// system folder alone.
enum class LibrarySearch { Standard, WithoutCurrentFolder, SystemFolderOnly };
LibrarySearch CurrentLibrarySearch();
// The platform loads a library by name on its own (the theme library at the
// first window): one not yet in memory is searched for.
void PlatformLoadsByName(const std::string& library);
// Each library that was searched for in the program's folder, where a
// planted copy would have run: loaded by name while the search did not hold
// to the system folder, or a dependency of a library loaded by path without
// the altered search.
std::vector<std::string> PlantedLoads();

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
