// The simulated Windows Installer service as MSI.DLL shows it, VERSION.DLL's
// file version data, and the loading of libraries: LoadLibraryExA,
// GetModuleHandleA's KERNEL32, GetProcAddress, FreeLibrary, the process's
// library search, and the libraries the platform loads by name itself.
#include "sim/installer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "sim/faults.h"
#include "sim/os.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "win32/api.h"

// Reached by the program through GetProcAddress on KERNEL32 only.
extern "C" BOOL WINAPI SetDefaultDllDirectories(DWORD directories);
extern "C" BOOL WINAPI SetDllDirectoryA(LPCSTR folder);

namespace sim::installer {
namespace {

constexpr UINT kErrorInvalidParameter = 87;
constexpr UINT kErrorInstallFailure = 1603;
constexpr UINT kErrorUnknownProduct = 1605;
constexpr UINT kErrorUnknownProperty = 1608;
constexpr int kInstallStateAbsent = 2;
constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;
// Where VS_FIXEDFILEINFO sits in a version block: after the root header
// (three words) and its padded key L"VS_VERSION_INFO".
constexpr size_t kFixedInfoOffset = 40;

struct Library {
    std::string name;  // upper case, as the stub names it
    std::set<std::string> entryPoints;
    std::vector<std::string> dependencies;  // found by the library search when it loads
    bool loads = true;
    int loadCount = 0;
};

struct Installer {
    std::map<uintptr_t, Library> libraries;
    std::map<std::string, std::string> products;  // upper-case code -> version
    bool removalFails = false;
    bool removalKeepsProduct = false;
    std::map<std::string, std::pair<DWORD, DWORD>> fileVersions;  // lower-case path
    std::map<std::string, VersionDamage> damagedVersions;         // lower-case path
    LibrarySearch search = LibrarySearch::Standard;
    std::vector<std::string> plantedLoads;
};

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

constexpr uintptr_t kMsiModule = 0x10000000;
constexpr uintptr_t kVersionModule = 0x20000000;
constexpr uintptr_t kCommonControlsModule = 0x30000000;
constexpr uintptr_t kThemeModule = 0x40000000;
constexpr uintptr_t kKernelModule = 0x7B000000;
constexpr uintptr_t kUserModule = 0x7C000000;
constexpr uintptr_t kAdvapiModule = 0x7D000000;
constexpr DWORD kSearchFlags = 0x200 | 0x400 | LOAD_LIBRARY_SEARCH_SYSTEM32 | 0x1000;

Installer Fresh() {
    Installer fresh;
    fresh.libraries[kMsiModule] =
        Library{"MSI.DLL", {"MsiGetProductInfoA", "MsiConfigureProductA"}, {"WINTRUST.DLL"}};
    fresh.libraries[kVersionModule] = Library{"VERSION.DLL", {"GetFileVersionInfoA", "VerQueryValueA"}, {}};
    fresh.libraries[kCommonControlsModule] = Library{"COMCTL32.DLL", {"InitCommonControls"}, {}};
    fresh.libraries[kThemeModule] = Library{"UXTHEME.DLL", {}, {}};
    // Mapped into every process before its first instruction.
    fresh.libraries[kKernelModule] =
        Library{"KERNEL32.DLL", {"SetDefaultDllDirectories", "SetDllDirectoryA"}, {}, true, 1};
    // Imported by the program, so in memory from its start; the 95/98 family
    // lacks these entry points.
    fresh.libraries[kUserModule] =
        Library{"USER32.DLL", {"GetProcessWindowStation", "GetUserObjectInformationA"}, {}, true, 1};
    fresh.libraries[kAdvapiModule] = Library{"ADVAPI32.DLL", {"RegisterEventSourceA", "ReportEventA"}, {}, true, 1};
    return fresh;
}

Installer installer = Fresh();

sim::Registration reg([] { installer = Fresh(); });

Library* LibraryNamed(const std::string& name) {
    for (auto& [handle, library] : installer.libraries)
        if (library.name == Upper(name)) return &library;
    return nullptr;
}

// The library a path names: only "<system directory>\NAME" holds one.
Library* LibraryAt(const std::string& path) {
    std::string folder = Upper(sim::os::SystemDirectory());
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    std::string wanted = Upper(path);
    if (wanted.compare(0, folder.size(), folder) != 0) return nullptr;
    return LibraryNamed(wanted.substr(folder.size()));
}

bool Loaded(const std::string& name) {
    Library* library = LibraryNamed(name);
    return library && library->loadCount > 0;
}

// A library found by the process's search rather than by its path: one that
// is not in memory yet is looked for in the program's folder first unless
// the search holds to the system folder (or the altered search of a library
// loaded by path starts in the system folder).
void SearchedByName(const std::string& name, bool fromSystemFolder) {
    auto& planted = installer.plantedLoads;
    if (Loaded(name) || std::find(planted.begin(), planted.end(), name) != planted.end()) return;
    if (!fromSystemFolder && installer.search != LibrarySearch::SystemFolderOnly) planted.push_back(name);
}

// A product code the service accepts: a braced GUID of 38 characters.
bool WellFormedCode(LPCSTR code) { return code && std::strlen(code) == 38 && code[0] == '{' && code[37] == '}'; }

UINT WINAPI MsiGetProductInfoA(LPCSTR product, LPCSTR property, LPSTR value, LPDWORD length) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<UINT>();
    sim::Record(std::string("MsiGetProductInfoA ") + (product ? product : "-") + " " +
                (property ? property : "-") + " length " + (length ? std::to_string(*length) : "-"));
    if (!WellFormedCode(product) || !property || (value && !length)) return kErrorInvalidParameter;
    auto it = installer.products.find(Upper(product));
    if (it == installer.products.end()) return kErrorUnknownProduct;
    if (std::strcmp(property, "VersionString") != 0) return kErrorUnknownProperty;
    const std::string& text = it->second;
    if (!length) return ERROR_SUCCESS;
    // The length counts characters; on the way out it leaves out the NUL.
    if (value && *length <= text.size()) {
        if (*length > 0) {
            std::memcpy(value, text.data(), *length - 1);
            value[*length - 1] = 0;
        }
        *length = DWORD(text.size());
        return ERROR_MORE_DATA;
    }
    if (value) std::memcpy(value, text.c_str(), text.size() + 1);
    *length = DWORD(text.size());
    return ERROR_SUCCESS;
}

UINT WINAPI MsiConfigureProductA(LPCSTR product, int level, int state) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<UINT>();
    sim::Record(std::string("MsiConfigureProductA ") + (product ? product : "-") + " " +
                std::to_string(level) + " " + std::to_string(state));
    if (!WellFormedCode(product)) return kErrorInvalidParameter;
    auto it = installer.products.find(Upper(product));
    if (it == installer.products.end()) return kErrorUnknownProduct;
    if (state != kInstallStateAbsent) return ERROR_SUCCESS;
    if (installer.removalFails) return kErrorInstallFailure;
    if (!installer.removalKeepsProduct) installer.products.erase(it);
    return ERROR_SUCCESS;
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR path, DWORD, DWORD size, LPVOID data) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record(std::string("GetFileVersionInfoA ") + (path ? path : "-"));
    auto it = installer.fileVersions.find(Lower(path ? path : ""));
    if (it == installer.fileVersions.end() || !data) return FALSE;
    BYTE block[kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO)] = {};
    const WORD header[3] = {WORD(sizeof block), WORD(sizeof(VS_FIXEDFILEINFO)), 0};
    std::memcpy(block, header, sizeof header);
    const char key[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof key; ++i) block[6 + 2 * i] = BYTE(key[i]);
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = kFixedInfoSignature;
    fixed.dwStrucVersion = 0x10000;
    fixed.dwFileVersionMS = fixed.dwProductVersionMS = it->second.first;
    fixed.dwFileVersionLS = fixed.dwProductVersionLS = it->second.second;
    auto damage = installer.damagedVersions.find(Lower(path));
    if (damage != installer.damagedVersions.end() && damage->second == VersionDamage::WrongSignature)
        fixed.dwSignature = 0;
    std::memcpy(block + kFixedInfoOffset, &fixed, sizeof fixed);
    // A short record is told by the block's header: its value length.
    if (damage != installer.damagedVersions.end() && damage->second == VersionDamage::ShortRecord)
        block[2] = BYTE(sizeof(VS_FIXEDFILEINFO) - 4);
    // A buffer that is too small receives the start of the block.
    std::memcpy(data, block, std::min<size_t>(size, sizeof block));
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record(std::string("VerQueryValueA ") + (subBlock ? subBlock : "-"));
    if (!block || !subBlock || std::strcmp(subBlock, "\\") != 0 || !buffer || !length) return FALSE;
    WORD total = 0;
    std::memcpy(&total, block, sizeof total);
    if (total < kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO)) return FALSE;
    WORD valueLength = 0;
    std::memcpy(&valueLength, static_cast<const BYTE*>(block) + 2, sizeof valueLength);
    *buffer = const_cast<BYTE*>(static_cast<const BYTE*>(block) + kFixedInfoOffset);
    *length = valueLength;
    return TRUE;
}

template <typename Function>
FARPROC AsProc(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

FARPROC EntryPoint(const std::string& name) {
    if (name == "MsiGetProductInfoA") return AsProc(&MsiGetProductInfoA);
    if (name == "MsiConfigureProductA") return AsProc(&MsiConfigureProductA);
    if (name == "GetFileVersionInfoA") return AsProc(&GetFileVersionInfoA);
    if (name == "VerQueryValueA") return AsProc(&VerQueryValueA);
    if (name == "InitCommonControls") return AsProc(&InitCommonControls);
    if (name == "SetDefaultDllDirectories") return AsProc(&SetDefaultDllDirectories);
    if (name == "SetDllDirectoryA") return AsProc(&SetDllDirectoryA);
    if (name == "GetProcessWindowStation") return AsProc(&GetProcessWindowStation);
    if (name == "GetUserObjectInformationA") return AsProc(&GetUserObjectInformationA);
    if (name == "RegisterEventSourceA") return AsProc(&RegisterEventSourceA);
    if (name == "ReportEventA") return AsProc(&ReportEventA);
    return nullptr;
}

}  // namespace

void FailLibraryLoad(const std::string& library) {
    if (Library* found = LibraryNamed(library)) found->loads = false;
}

void RemoveEntryPoint(const std::string& library, const std::string& entryPoint) {
    if (Library* found = LibraryNamed(library)) found->entryPoints.erase(entryPoint);
}

int LoadCount(const std::string& library) {
    Library* found = LibraryNamed(library);
    return found ? found->loadCount : 0;
}

LibrarySearch CurrentLibrarySearch() { return installer.search; }

std::vector<std::string> PlantedLoads() { return installer.plantedLoads; }

void PlatformLoadsByName(const std::string& library) { SearchedByName(Upper(library), false); }

HMODULE LoadedModule(const std::string& name) {
    std::string wanted = Upper(name);
    if (wanted.find('.') == std::string::npos) wanted += ".DLL";
    for (auto& [handle, library] : installer.libraries)
        if (library.name == wanted && library.loadCount > 0) return reinterpret_cast<HMODULE>(handle);
    return nullptr;
}

void InstallProduct(const std::string& productCode, const std::string& versionString) {
    installer.products[Upper(productCode)] = versionString;
}

bool IsInstalled(const std::string& productCode) {
    return installer.products.count(Upper(productCode)) != 0;
}

std::optional<std::string> InstalledVersion(const std::string& productCode) {
    auto it = installer.products.find(Upper(productCode));
    if (it == installer.products.end()) return std::nullopt;
    return it->second;
}

void FailRemoval() { installer.removalFails = true; }
void KeepProductAfterRemoval() { installer.removalKeepsProduct = true; }

void SetFileVersion(const std::string& path, uint32_t versionMS, uint32_t versionLS) {
    installer.fileVersions[Lower(path)] = {versionMS, versionLS};
}

void DamageFileVersion(const std::string& path, VersionDamage damage) {
    installer.damagedVersions[Lower(path)] = damage;
}

}  // namespace sim::installer

using namespace sim::installer;

extern "C" {

HMODULE WINAPI LoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HMODULE>();
    sim::Record(std::string("LoadLibraryExA ") + (name ? name : "-") + " " + std::to_string(flags));
    Library* wanted = name && !file && (flags & ~DWORD(LOAD_WITH_ALTERED_SEARCH_PATH)) == 0 ? LibraryAt(name)
                                                                                           : nullptr;
    if (!wanted || !wanted->loads) return nullptr;
    if (wanted->loadCount == 0)
        for (const std::string& dependency : wanted->dependencies)
            SearchedByName(dependency, (flags & LOAD_WITH_ALTERED_SEARCH_PATH) != 0);
    for (auto& [handle, library] : installer.libraries) {
        if (&library != wanted) continue;
        ++library.loadCount;
        return reinterpret_cast<HMODULE>(handle);
    }
    return nullptr;
}

BOOL WINAPI SetDefaultDllDirectories(DWORD directories) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record("SetDefaultDllDirectories " + std::to_string(directories));
    if (directories == 0 || (directories & ~kSearchFlags) != 0) return FALSE;
    if (directories == LOAD_LIBRARY_SEARCH_SYSTEM32) installer.search = LibrarySearch::SystemFolderOnly;
    return TRUE;
}

BOOL WINAPI SetDllDirectoryA(LPCSTR folder) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record(std::string("SetDllDirectoryA ") + (folder ? folder : "-"));
    if (folder && !*folder && installer.search == LibrarySearch::Standard)
        installer.search = LibrarySearch::WithoutCurrentFolder;
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<FARPROC>();
    sim::Record(std::string("GetProcAddress ") + (name ? name : "-"));
    auto it = installer.libraries.find(reinterpret_cast<uintptr_t>(module));
    if (it == installer.libraries.end() || it->second.loadCount == 0 || !name) return nullptr;
    if (!it->second.entryPoints.count(name)) return nullptr;
    return EntryPoint(name);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    const sim::faults::Call call(__func__);
    auto it = installer.libraries.find(reinterpret_cast<uintptr_t>(module));
    if (it == installer.libraries.end() || it->second.loadCount == 0) {
        sim::Record("FreeLibrary unknown");
        return FALSE;
    }
    sim::Record("FreeLibrary " + it->second.name);
    --it->second.loadCount;
    return TRUE;
}

}  // extern "C"
