// The simulated file system: Windows paths mapped under a temporary host
// root, and the test API that sets files up and reads them back.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sim/file_system.h"
#include "sim/files.h"
#include "sim/sim.h"
#include "win32/api.h"

namespace sim::fs_detail {
namespace {

// FILETIME of 2020-01-01 00:00 UTC: the machine's clock starts there.
constexpr uint64_t kFileTimeEpoch = 132223104000000000ull;
constexpr uint64_t kFileTimeTicksPerMs = 10000;

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// One temporary root per test process, removed when the process ends.
struct HostRoot {
    fs::path path;
    HostRoot() {
        std::string pattern = (fs::temp_directory_path() / "vesk-sim-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create the simulator's root");
        path = pattern;
    }
    ~HostRoot() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& Root() {
    static HostRoot root;
    return root.path;
}

struct Parsed {
    char drive;
    std::vector<std::string> parts;
};

std::optional<Parsed> Parse(const std::string& windowsPath) {
    std::string path = windowsPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.rfind("\\\\", 0) == 0) return std::nullopt;
    Parsed parsed{'C', {}};
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        parsed.drive = char(std::toupper(static_cast<unsigned char>(path[0])));
        path.erase(0, 2);
    }
    std::stringstream stream(path);
    std::string part;
    while (std::getline(stream, part, '\\')) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parsed.parts.empty()) parsed.parts.pop_back();
            continue;
        }
        parsed.parts.push_back(part);
    }
    return parsed;
}

void ResetFileSystem() {
    for (const auto& [handle, file] : State().handles) close(file.fd);
    for (const auto& [handle, file] : State().kernelHandles) close(file.fd);
    State() = FileSystem{};
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(Root(), ignored)) fs::remove_all(entry.path(), ignored);
    files::MakeDirectory(State().tempPath);
    files::MakeDirectory("C:\\WINDOWS\\TEMP");  // the system's, beside the default system folders
}

}  // namespace

FileSystem& State() {
    static FileSystem state;
    return state;
}

std::optional<std::string> Normalise(const std::string& windowsPath) {
    auto parsed = Parse(windowsPath);
    if (!parsed) return std::nullopt;
    std::string out(1, parsed->drive);
    out += ':';
    for (const auto& part : parsed->parts) out += "\\" + part;
    return Lower(out);
}

std::optional<fs::path> ToHost(const std::string& windowsPath) {
    auto parsed = Parse(windowsPath);
    if (!parsed) return std::nullopt;
    fs::path host = Root() / std::string(1, parsed->drive);
    for (const auto& part : parsed->parts) {
        std::string name = part;
        std::error_code error;
        if (fs::is_directory(host, error)) {
            for (const auto& entry : fs::directory_iterator(host, error)) {
                std::string existing = entry.path().filename().string();
                if (Lower(existing) == Lower(part)) {
                    name = existing;
                    break;
                }
            }
        }
        host /= name;
    }
    return host;
}

bool Refused(const std::vector<std::string>& prefixes, const std::string& windowsPath) {
    auto path = Normalise(windowsPath);
    if (!path) return true;
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const std::string& prefix) { return (*path + '\\').rfind(prefix, 0) == 0; });
}

void Touch(const std::string& hostKey) {
    State().lastWrite[hostKey] = kFileTimeEpoch + sim::Now() * kFileTimeTicksPerMs;
}

bool IsOpenKey(const std::string& hostKey) {
    const auto& state = State();
    for (const auto& [handle, file] : state.handles)
        if (file.hostKey == hostKey) return true;
    for (const auto& [handle, file] : state.kernelHandles)
        if (file.hostKey == hostKey) return true;
    return false;
}

bool SharingRefuses(const std::string& hostKey, uint32_t shareRight) {
    for (const auto& [handle, file] : State().handles)
        if (file.hostKey == hostKey && !(file.shareMode & shareRight)) return true;
    for (const auto& [handle, file] : State().kernelHandles)
        if (file.hostKey == hostKey && !(file.shareMode & shareRight)) return true;
    return false;
}

bool SharingConflicts(const std::string& hostKey, bool canRead, bool canWrite, uint32_t shareMode) {
    if ((canRead && SharingRefuses(hostKey, FILE_SHARE_READ)) || (canWrite && SharingRefuses(hostKey, FILE_SHARE_WRITE)))
        return true;
    auto conflicts = [&](const OpenFile& file) {
        return file.hostKey == hostKey && ((file.canRead && !(shareMode & FILE_SHARE_READ)) ||
                                           (file.canWrite && !(shareMode & FILE_SHARE_WRITE)));
    };
    for (const auto& [handle, file] : State().handles)
        if (conflicts(file)) return true;
    for (const auto& [handle, file] : State().kernelHandles)
        if (conflicts(file)) return true;
    return false;
}

static sim::Registration reg(ResetFileSystem);

}  // namespace sim::fs_detail

namespace sim::files {

using namespace sim::fs_detail;

namespace {

fs::path Host(const std::string& path) {
    auto host = ToHost(path);
    if (!host) throw std::invalid_argument("the simulator does not model the path " + path);
    return *host;
}

std::string NormalisedPrefix(const std::string& prefix) {
    auto normal = Normalise(prefix);
    if (!normal) throw std::invalid_argument("the simulator does not model the path " + prefix);
    // A prefix that names a folder with its backslash keeps it, so that
    // "C:\Dir\" does not also match "C:\Directory".
    if (!prefix.empty() && (prefix.back() == '\\' || prefix.back() == '/')) *normal += '\\';
    return *normal;
}

}  // namespace

void Put(const std::string& path, const std::string& bytes) {
    fs::path host = Host(path);
    fs::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + host.string());
    Touch(host.string());
}

std::string Get(const std::string& path) {
    std::ifstream in(Host(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool Exists(const std::string& path) {
    auto host = ToHost(path);
    std::error_code error;
    return host && fs::is_regular_file(*host, error);
}

bool IsDirectory(const std::string& path) {
    auto host = ToHost(path);
    std::error_code error;
    return host && fs::is_directory(*host, error);
}

void MakeDirectory(const std::string& path) { fs::create_directories(Host(path)); }

void Remove(const std::string& path) {
    std::error_code ignored;
    fs::remove_all(Host(path), ignored);
}

uint64_t Size(const std::string& path) {
    std::error_code error;
    auto size = fs::file_size(Host(path), error);
    return error ? 0 : size;
}

std::vector<std::string> List(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(Host(directory), error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> AllFiles() {
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(Root(), error)) {
        if (!entry.is_regular_file(error)) continue;
        // The first part below the root is the drive letter.
        std::string path;
        for (const auto& part : entry.path().lexically_relative(Root()))
            path += path.empty() ? part.string() + ":" : "\\" + part.string();
        paths.push_back(path);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string HostPath(const std::string& path) { return Host(path).string(); }

void SetLastWriteTime(const std::string& path, uint64_t filetime) {
    State().lastWrite[Host(path).string()] = filetime;
}

uint64_t LastWriteTime(const std::string& path) {
    auto& times = State().lastWrite;
    auto found = times.find(Host(path).string());
    return found == times.end() ? 0 : found->second;
}

void SetTempPath(const std::string& path) {
    State().tempPath = path;
    MakeDirectory(path);
}

void SetWriteQuota(uint64_t bytes) { State().writeQuota = bytes; }

void FailReadAt(const std::string& path, uint64_t offset) {
    State().readFaults.push_back({Host(path).string(), offset, true});
}

void ShortReadAt(const std::string& path, uint64_t offset) {
    State().readFaults.push_back({Host(path).string(), offset, false});
}

void RefuseOpen(const std::string& prefix) { State().refuseOpen.push_back(NormalisedPrefix(prefix)); }
void RefuseCreate(const std::string& prefix) {
    State().refuseCreate.push_back(NormalisedPrefix(prefix));
}

bool WriteAsAnotherProcess(const std::string& path, uint64_t offset, const std::string& bytes) {
    auto host = ToHost(path);
    const uint32_t shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (!host || !fs::is_regular_file(*host) || SharingConflicts(host->string(), false, true, shareAll)) return false;
    std::fstream file(*host, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(std::streamoff(offset));
    file.write(bytes.data(), std::streamsize(bytes.size()));
    Touch(host->string());
    return bool(file);
}

bool RenameAsAnotherProcess(const std::string& from, const std::string& to) {
    auto source = ToHost(from);
    auto target = ToHost(to);
    std::error_code error;
    if (!source || !target || !fs::is_regular_file(*source) || fs::exists(*target, error) ||
        SharingRefuses(source->string(), FILE_SHARE_DELETE))
        return false;
    fs::rename(*source, *target, error);
    return !error;
}

int OpenHandleCount() { return int(State().handles.size() + State().kernelHandles.size()); }

bool IsOpen(const std::string& path) { return IsOpenKey(Host(path).string()); }

uint64_t BytesWritten() { return State().bytesWritten; }

std::optional<std::string> FolderAccess(const std::string& path) {
    auto found = State().folderAccess.find(Normalise(path).value_or(""));
    if (found == State().folderAccess.end()) return std::nullopt;
    return found->second;
}

}  // namespace sim::files
