// The operating system's identity, folders, environment and code page.
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/os.h"
#include "sim/sim.h"
#include "win32/api.h"

namespace {

struct Os {
    sim::os::Platform platform = sim::os::Platform::NT;
    unsigned major = 5, minor = 1, build = 2600;
    std::optional<std::string> systemDirectory;
    std::map<std::string, std::string> environment;  // by upper-case name
    std::vector<std::pair<unsigned char, unsigned char>> leadBytes;
};

Os& State() {
    static Os os;
    return os;
}

sim::Registration reg([] { State() = Os{}; });

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool IsLeadByte(unsigned char byte) {
    for (auto [first, last] : State().leadBytes)
        if (byte >= first && byte <= last) return true;
    return false;
}

}  // namespace

namespace sim::os {

void SetPlatform(Platform platform) {
    Os& os = State();
    os.platform = platform;
    if (platform == Platform::NT) {
        os.major = 5, os.minor = 1, os.build = 2600;
    } else {
        os.major = 4, os.minor = 10, os.build = 2222;
    }
}

void SetVersion(unsigned major, unsigned minor, unsigned build) {
    State().major = major, State().minor = minor, State().build = build;
}

void SetSystemDirectory(const std::string& path) { State().systemDirectory = path; }

std::string SystemDirectory() {
    const Os& os = State();
    if (os.systemDirectory) return *os.systemDirectory;
    return os.platform == Platform::NT ? "C:\\WINDOWS\\SYSTEM32" : "C:\\WINDOWS\\SYSTEM";
}

void SetEnvironment(const std::string& name, const std::string& value) {
    State().environment[Upper(name)] = value;
}

std::string Environment(const std::string& name) {
    auto found = State().environment.find(Upper(name));
    return found == State().environment.end() ? "" : found->second;
}

void AddLeadByteRange(unsigned char first, unsigned char last) {
    State().leadBytes.emplace_back(first, last);
}

}  // namespace sim::os

extern "C" {

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    const sim::faults::Call call(__func__);
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return FALSE;
    const Os& os = State();
    bool nt = os.platform == sim::os::Platform::NT;
    info->dwMajorVersion = os.major;
    info->dwMinorVersion = os.minor;
    // The 95/98 family keeps the version in the high word of the build number.
    info->dwBuildNumber = nt ? os.build : (os.major << 24) | (os.minor << 16) | (os.build & 0xFFFF);
    info->dwPlatformId = nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<UINT>();
    std::string path = sim::os::SystemDirectory();
    if (size <= path.size()) return UINT(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return UINT(path.size());
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record(std::string("SetEnvironmentVariableA ") + name + " " + value);
    State().environment[Upper(name)] = value;
    return TRUE;
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR out, DWORD size) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<DWORD>();
    std::string expanded;
    for (size_t i = 0; source[i];) {
        const char* close = source[i] == '%' ? std::strchr(source + i + 1, '%') : nullptr;
        if (close) {
            std::string name(source + i + 1, close);
            auto found = State().environment.find(Upper(name));
            if (found != State().environment.end()) {
                expanded += found->second;
                i = size_t(close - source) + 1;
                continue;
            }
            // An undefined variable stays as written, both '%' included.
            expanded += std::string(source + i, close + 1);
            i = size_t(close - source) + 1;
            continue;
        }
        expanded += source[i++];
    }
    DWORD needed = DWORD(expanded.size() + 1);
    if (needed <= size && out) std::memcpy(out, expanded.c_str(), needed);
    return needed;
}

LPSTR WINAPI CharNextA(LPCSTR text) {
    const sim::faults::Call call(__func__);
    if (!*text) return const_cast<LPSTR>(text);
    if (IsLeadByte(static_cast<unsigned char>(*text)) && text[1]) return const_cast<LPSTR>(text + 2);
    return const_cast<LPSTR>(text + 1);
}

}  // extern "C"
