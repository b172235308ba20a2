// The file calls of the seam: old-style handles, CreateFileA/GetFileTime,
// deleting, folders, the temporary path and temporary file names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "sim/faults.h"
#include "sim/file_system.h"
#include "sim/sim.h"
#include "win32/api.h"

using namespace sim::fs_detail;

namespace {

OpenFile* Find(HFILE handle) {
    auto& handles = State().handles;
    auto found = handles.find(handle);
    return found == handles.end() ? nullptr : &found->second;
}

bool IsFile(const fs::path& host) {
    std::error_code error;
    return fs::is_regular_file(host, error);
}

bool IsFolder(const fs::path& host) {
    std::error_code error;
    return fs::is_directory(host, error);
}

// Compatibility mode, the old-style default: others may read and write.
constexpr uint32_t kCompatibilityShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

HFILE OpenHost(const std::string& windowsPath, const fs::path& host, int flags, bool canRead,
               bool canWrite, uint32_t shareMode = kCompatibilityShare) {
    // An open file lets others do only what it shares.
    if (SharingConflicts(host.string(), canRead, canWrite, shareMode)) return HFILE_ERROR;
    int fd = open(host.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return HFILE_ERROR;
    auto& state = State();
    HFILE handle = state.nextHandle;
    state.nextHandle += 4;  // never reused, so a stale handle stays invalid
    state.handles[handle] = OpenFile{fd, host.string(), windowsPath, canRead, canWrite, shareMode};
    return handle;
}

// The share mode an old-style open asks for.
uint32_t OldStyleShare(int mode) {
    switch (mode & 0x70) {
        case OF_SHARE_DENY_WRITE: return FILE_SHARE_READ;
        case 0x10: return 0;                // OF_SHARE_EXCLUSIVE
        case 0x30: return FILE_SHARE_WRITE;  // OF_SHARE_DENY_READ
        case 0x40: return FILE_SHARE_READ | FILE_SHARE_WRITE;  // OF_SHARE_DENY_NONE
        default: return kCompatibilityShare;
    }
}

// Lets a read stop short of, or fail on, a faulted offset.
bool ApplyReadFaults(const OpenFile& file, uint64_t position, UINT* count) {
    for (const auto& fault : State().readFaults) {
        if (fault.hostKey != file.hostKey) continue;
        if (fault.fails && fault.offset >= position && fault.offset < position + *count) return false;
        if (!fault.fails && fault.offset > position && fault.offset < position + *count)
            *count = UINT(fault.offset - position);
    }
    return true;
}

HFILE CreateTruncated(LPCSTR path) {
    auto host = ToHost(path);
    if (!host || Refused(State().refuseCreate, path) || IsFolder(*host) ||
        !IsFolder(host->parent_path()) || IsOpenKey(host->string()))
        return HFILE_ERROR;
    HFILE handle = OpenHost(path, *host, O_RDWR | O_CREAT | O_TRUNC, true, true);
    if (handle != HFILE_ERROR) Touch(host->string());
    return handle;
}

const bool closerRegistered = (sim::OnCloseHandle([](void* handle) {
                                   auto& handles = State().kernelHandles;
                                   auto found = handles.find(handle);
                                   if (found == handles.end()) return false;
                                   close(found->second.fd);
                                   handles.erase(found);
                                   return true;
                               }),
                               true);

// A self-relative security descriptor as text: "protected" when its list
// takes nothing from the parent, then each entry as "allow|deny <SID>
// <mask> <inheritance>"; "not self-relative", "no list" or "damaged"
// for what cannot be read that way.
std::string DescribeSecurity(const uint8_t* descriptor) {
    auto word = [](const uint8_t* p) { return uint32_t(p[0] | p[1] << 8); };
    auto dword = [&](const uint8_t* p) { return word(p) | word(p + 2) << 16; };
    const uint32_t control = word(descriptor + 2);
    if (descriptor[0] != 1 || !(control & 0x8000)) return "not self-relative";
    if (!(control & 0x0004) || dword(descriptor + 16) == 0) return "no list";
    const uint8_t* list = descriptor + dword(descriptor + 16);
    std::string text = control & 0x1000 ? "protected" : "inherits";
    const uint8_t* ace = list + 8;
    for (uint32_t i = 0; i < word(list + 4); ++i) {
        const uint8_t* sid = ace + 8;
        if (ace + word(ace + 2) > list + word(list + 2) || sid[0] != 1) return "damaged";
        uint64_t authority = 0;
        for (int b = 2; b < 8; ++b) authority = authority << 8 | sid[b];
        text += ace[0] == 0 ? "; allow S-1-" : ace[0] == 1 ? "; deny S-1-" : "; other S-1-";
        text += std::to_string(authority);
        for (int k = 0; k < sid[1]; ++k) text += "-" + std::to_string(dword(sid + 8 + 4 * k));
        char mask[16];
        std::snprintf(mask, sizeof mask, " 0x%X", dword(ace + 4));
        text += mask;
        text += (ace[1] & 3) == 3 ? " files+folders" : (ace[1] & 3) ? " partly inherited" : " this folder only";
        ace += word(ace + 2);
    }
    return text;
}

OpenFile* FindKernel(HANDLE handle) {
    auto& handles = State().kernelHandles;
    auto found = handles.find(handle);
    return found == handles.end() ? nullptr : &found->second;
}

// Writes count bytes (fewer on a full disk); the count written.
UINT WriteHost(OpenFile& file, const void* buffer, UINT count, bool fails) {
    auto& state = State();
    Touch(file.hostKey);
    UINT allowed = fails ? count / 2 : count;
    if (state.writeQuota && *state.writeQuota < allowed) allowed = UINT(*state.writeQuota);
    UINT done = 0;
    while (done < allowed) {
        ssize_t put = write(file.fd, static_cast<const char*>(buffer) + done, allowed - done);
        if (put <= 0) break;
        done += UINT(put);
    }
    if (state.writeQuota) *state.writeQuota -= done;
    state.bytesWritten += done;
    return done;
}

}  // namespace

extern "C" {

HFILE WINAPI _lopen(LPCSTR path, int mode) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HFILE>();
    sim::Record(std::string("_lopen ") + path + " " + std::to_string(mode & 3));
    auto host = ToHost(path);
    if (!host || Refused(State().refuseOpen, path) || !IsFile(*host)) return HFILE_ERROR;
    uint32_t share = OldStyleShare(mode);
    switch (mode & 3) {
        case OF_READ: return OpenHost(path, *host, O_RDONLY, true, false, share);
        case OF_WRITE: return OpenHost(path, *host, O_WRONLY, false, true, share);
        case OF_READWRITE: return OpenHost(path, *host, O_RDWR, true, true, share);
        default: return HFILE_ERROR;
    }
}

HFILE WINAPI _lcreat(LPCSTR path, int) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HFILE>();
    sim::Record(std::string("_lcreat ") + path);
    return CreateTruncated(path);
}

UINT WINAPI _lread(HFILE handle, LPVOID buffer, UINT count) {
    const sim::faults::Call call(__func__);
    OpenFile* file = Find(handle);
    if (!file || !file->canRead) return UINT(HFILE_ERROR);
    // A failing read stops halfway, as one that meets a short-read fault.
    if (call.Fails()) count /= 2;
    off_t position = lseek(file->fd, 0, SEEK_CUR);
    if (!ApplyReadFaults(*file, uint64_t(position), &count)) return UINT(HFILE_ERROR);
    UINT done = 0;
    while (done < count) {
        ssize_t got = read(file->fd, static_cast<char*>(buffer) + done, count - done);
        if (got < 0) return UINT(HFILE_ERROR);
        if (got == 0) break;
        done += UINT(got);
    }
    return done;
}

UINT WINAPI _lwrite(HFILE handle, LPCSTR buffer, UINT count) {
    const sim::faults::Call call(__func__);
    OpenFile* file = Find(handle);
    if (!file || !file->canWrite) return UINT(HFILE_ERROR);
    // A write of no bytes sets the end of the file at the current position.
    if (count == 0) {
        Touch(file->hostKey);
        off_t position = lseek(file->fd, 0, SEEK_CUR);
        return ftruncate(file->fd, position) == 0 ? 0 : UINT(HFILE_ERROR);
    }
    // A failing write stops halfway, as on a disk that fills up meanwhile.
    return WriteHost(*file, buffer, count, call.Fails());
}

LONG WINAPI _llseek(HFILE handle, LONG offset, int origin) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<LONG>();
    OpenFile* file = Find(handle);
    if (!file) return HFILE_ERROR;
    int whence = origin == FILE_BEGIN ? SEEK_SET : origin == FILE_CURRENT ? SEEK_CUR
               : origin == FILE_END   ? SEEK_END : -1;
    if (whence < 0) return HFILE_ERROR;
    struct stat info {};
    fstat(file->fd, &info);  // the end without moving: a refused seek leaves the position
    off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? lseek(file->fd, 0, SEEK_CUR) : info.st_size;
    off_t target = base + offset;
    // Positions are 32-bit signed offsets; nothing before the start.
    if (target < 0 || target > 0x7FFFFFFF) return HFILE_ERROR;
    return LONG(lseek(file->fd, target, SEEK_SET));
}

HFILE WINAPI _lclose(HFILE handle) {
    const sim::faults::Call call(__func__);
    OpenFile* file = Find(handle);
    if (!file) return HFILE_ERROR;
    close(file->fd);
    State().handles.erase(handle);
    return 0;
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD, HANDLE) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HANDLE>();
    sim::Record(std::string("CreateFileA ") + path + " share " + std::to_string(shareMode));
    auto host = ToHost(path);
    // The machine models opening existing files, and making new ones that
    // must not exist yet.
    bool canRead = access & GENERIC_READ, canWrite = access & GENERIC_WRITE;
    std::error_code error;
    if (!host) return INVALID_HANDLE_VALUE;
    if (disposition == OPEN_EXISTING) {
        if (Refused(State().refuseOpen, path) || !IsFile(*host)) return INVALID_HANDLE_VALUE;
    } else if (disposition == CREATE_NEW) {
        if (Refused(State().refuseCreate, path) || fs::exists(*host, error) || !IsFolder(host->parent_path()))
            return INVALID_HANDLE_VALUE;
    } else {
        return INVALID_HANDLE_VALUE;
    }
    if (SharingConflicts(host->string(), canRead, canWrite, shareMode)) return INVALID_HANDLE_VALUE;
    int flags = (canRead && canWrite ? O_RDWR : canWrite ? O_WRONLY : O_RDONLY) |
                (disposition == CREATE_NEW ? O_CREAT | O_EXCL : 0);
    int fd = open(host->c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    if (disposition == CREATE_NEW) Touch(host->string());
    auto& state = State();
    void* handle = reinterpret_cast<void*>(state.nextKernelHandle);
    state.nextKernelHandle += 4;
    state.kernelHandles[handle] = KernelFile{fd, host->string(), path, canRead, canWrite, shareMode};
    return handle;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED) {
    const sim::faults::Call call(__func__);
    if (read) *read = 0;
    if (call.Fails()) return call.Result<BOOL>();
    OpenFile* file = FindKernel(handle);
    if (!file || !file->canRead || !read) return FALSE;
    off_t position = lseek(file->fd, 0, SEEK_CUR);
    UINT allowed = count;
    if (!ApplyReadFaults(*file, uint64_t(position), &allowed)) return FALSE;
    DWORD done = 0;
    while (done < allowed) {
        ssize_t got = ::read(file->fd, static_cast<char*>(buffer) + done, allowed - done);
        if (got < 0) return FALSE;
        if (got == 0) break;
        done += DWORD(got);
    }
    *read = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) {
    const sim::faults::Call call(__func__);
    if (written) *written = 0;
    OpenFile* file = FindKernel(handle);
    if (!file || !file->canWrite || !written) return FALSE;
    // A failing write stops halfway, as on a disk that fills up meanwhile.
    *written = WriteHost(*file, buffer, count, call.Fails());
    return *written == count;
}

BOOL WINAPI GetFileTime(HANDLE handle, LPFILETIME creation, LPFILETIME access, LPFILETIME write) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    auto& state = State();
    auto found = state.kernelHandles.find(handle);
    if (found == state.kernelHandles.end()) return FALSE;
    const std::string& key = found->second.hostKey;
    uint64_t stamp = state.lastWrite.count(key) ? state.lastWrite[key] : 0;
    FILETIME time{DWORD(stamp), DWORD(stamp >> 32)};
    if (creation) *creation = time;
    if (access) *access = time;
    if (write) *write = time;
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record(std::string("DeleteFileA ") + path);
    auto host = ToHost(path);
    // An open file cannot be deleted: the old-style handles share nothing.
    if (!host || !IsFile(*host) || IsOpenKey(host->string())) return FALSE;
    std::error_code error;
    fs::remove(*host, error);
    State().lastWrite.erase(host->string());
    return error ? FALSE : TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record(std::string("CreateDirectoryA ") + path);
    auto host = ToHost(path);
    std::error_code error;
    if (!host || Refused(State().refuseCreate, path) || fs::exists(*host, error) ||
        !IsFolder(host->parent_path()))
        return FALSE;
    if (!fs::create_directory(*host, error)) return FALSE;
    // No machine here enforces access lists (nor does Wine): the list asked
    // for is kept, read as Windows would read it, for the tests to see.
    if (security && security->lpSecurityDescriptor)
        State().folderAccess[*Normalise(path)] =
            DescribeSecurity(static_cast<const uint8_t*>(security->lpSecurityDescriptor));
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<BOOL>();
    sim::Record(std::string("RemoveDirectoryA ") + path);
    auto host = ToHost(path);
    // Only an empty folder goes.
    std::error_code error;
    if (!host || !IsFolder(*host) || !fs::is_empty(*host, error)) return FALSE;
    if (!fs::remove(*host, error)) return FALSE;
    State().folderAccess.erase(*Normalise(path));
    return TRUE;
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<DWORD>();
    const std::string& path = State().tempPath;
    if (size <= path.size()) return DWORD(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return DWORD(path.size());
}

UINT WINAPI GetTempFileNameA(LPCSTR directory, LPCSTR prefix, UINT unique, LPSTR out) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<UINT>();
    std::string base = directory;
    if (base.size() > MAX_PATH - 14) return 0;
    if (base.empty() || base.back() != '\\') base += '\\';
    base += std::string(prefix).substr(0, 3);
    auto nameFor = [&](unsigned number) {
        // As Wine writes them: lower-case hex digits and extension.
        char digits[8];
        std::snprintf(digits, sizeof digits, "%x", number & 0xFFFF);
        return base + digits + ".tmp";
    };
    if (unique != 0) {
        std::string name = nameFor(unique);
        std::memcpy(out, name.c_str(), name.size() + 1);
        return unique & 0xFFFF;
    }
    auto& state = State();
    for (unsigned tries = 0; tries < 0xFFFF; ++tries) {
        unsigned number = state.nextTempUnique;
        state.nextTempUnique = state.nextTempUnique % 0xFFFF + 1;
        std::string name = nameFor(number);
        auto host = ToHost(name);
        if (!host) return 0;
        std::error_code error;
        if (fs::exists(*host, error)) continue;
        HFILE created = CreateTruncated(name.c_str());
        if (created == HFILE_ERROR) return 0;
        _lclose(created);
        std::memcpy(out, name.c_str(), name.size() + 1);
        sim::Record("GetTempFileNameA " + name);
        return number;
    }
    return 0;
}

}  // extern "C"
