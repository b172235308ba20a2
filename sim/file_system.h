// Inside the simulated file system: shared by the test API (files.cpp), the
// file calls (file_calls.cpp) and the INI reader (profile.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim::fs_detail {

namespace fs = std::filesystem;

struct ReadFault {
    std::string hostKey;
    uint64_t offset;
    bool fails;  // else the read comes back short at the offset
};

// An open file, old-style (HFILE) or CreateFileA's: what it may do, and
// what it lets others do while it is open (FILE_SHARE_READ, _WRITE,
// _DELETE). An old-style handle without a share flag is in compatibility
// mode, which NT treats as sharing reads and writes.
struct OpenFile {
    int fd = -1;
    std::string hostKey;  // resolved host path
    std::string windowsPath;
    bool canRead = false;
    bool canWrite = false;
    uint32_t shareMode = 0;
};
using KernelFile = OpenFile;

struct FileSystem {
    std::string tempPath = "C:\\Temp\\";
    std::optional<uint64_t> writeQuota;
    uint64_t bytesWritten = 0;
    std::vector<ReadFault> readFaults;
    std::vector<std::string> refuseOpen;    // normalised prefixes
    std::vector<std::string> refuseCreate;  // normalised prefixes
    std::map<std::string, uint64_t> lastWrite;  // by host key
    std::map<std::string, std::string> folderAccess;  // by normalised path: the list a folder was made with
    std::map<int, OpenFile> handles;            // old-style HFILEs
    std::map<void*, KernelFile> kernelHandles;  // CreateFileA handles
    int nextHandle = 16;
    uintptr_t nextKernelHandle = 0x5000;
    unsigned nextTempUnique = 1;
};

FileSystem& State();

// "C:\Dir\File" in one spelling: upper-case drive, backslashes, "." and ".."
// applied, lower case; nullopt for paths the machine does not model (UNC).
std::optional<std::string> Normalise(const std::string& windowsPath);
// The host path a Windows path maps to, names matched case-insensitively
// against what exists; nullopt when unmodelled.
std::optional<fs::path> ToHost(const std::string& windowsPath);
bool Refused(const std::vector<std::string>& prefixes, const std::string& windowsPath);
// Stamps a file's last-write time with the virtual clock.
void Touch(const std::string& hostKey);
bool IsOpenKey(const std::string& hostKey);
// An open handle on the file withholds this share right (FILE_SHARE_READ
// for reading, FILE_SHARE_WRITE for writing, FILE_SHARE_DELETE for a
// rename or delete).
bool SharingRefuses(const std::string& hostKey, uint32_t shareRight);
// A new handle that reads and/or writes and shares shareMode cannot be had
// beside the handles open on the file: Windows's sharing rules both ways.
bool SharingConflicts(const std::string& hostKey, bool canRead, bool canWrite, uint32_t shareMode);

}  // namespace sim::fs_detail
