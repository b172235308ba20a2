// Test API of the simulated file system: files live under a temporary root
// on the host, with Windows paths (drive letters, backslashes,
// case-insensitive names) mapped into it. Paths given here are Windows paths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::files {

// Writes a whole file, creating its folders. Bytes may be binary.
void Put(const std::string& path, const std::string& bytes);
std::string Get(const std::string& path);  // "" when missing
bool Exists(const std::string& path);      // a file (not a folder)
bool IsDirectory(const std::string& path);
void MakeDirectory(const std::string& path);  // with its parents
void Remove(const std::string& path);
uint64_t Size(const std::string& path);
// Names (as created) of the files and folders in a folder, sorted.
std::vector<std::string> List(const std::string& directory);
// Every file on every drive, as Windows paths (names as created), sorted.
std::vector<std::string> AllFiles();
// The host path that a Windows path maps to (for tools and benchmarks).
std::string HostPath(const std::string& path);

// Last-write time as a FILETIME value (100 ns units). Every write sets it
// from the virtual clock; a test may set it outright.
void SetLastWriteTime(const std::string& path, uint64_t filetime);
uint64_t LastWriteTime(const std::string& path);

// The folder GetTempPathA reports (with its trailing backslash); it is
// created. Default "C:\Temp\".
void SetTempPath(const std::string& path);

// The access list a folder was made with, as CreateDirectoryA's descriptor
// reads: "protected" (nothing taken from the parent) or "inherits", then
// "; allow <SID> <mask> <inheritance>" for each entry. nullopt when the
// folder was made without one (it takes its parent's).
std::optional<std::string> FolderAccess(const std::string& path);

// Faults.
// Disk full: after this many more bytes, writes fall short.
void SetWriteQuota(uint64_t bytes);
// A read of path whose range covers offset fails with HFILE_ERROR.
void FailReadAt(const std::string& path, uint64_t offset);
// A read of path that crosses offset stops at it (returns fewer bytes).
void ShortReadAt(const std::string& path, uint64_t offset);
// Paths that begin with prefix (case-insensitive) cannot be opened, or
// cannot be created (files and folders), respectively.
void RefuseOpen(const std::string& prefix);
void RefuseCreate(const std::string& prefix);

// Another process of the same user: opens path for writing (sharing
// everything) and writes bytes at offset; or renames a file. False when a
// handle open on the file refuses it (sharing), or there is no such file.
bool WriteAsAnotherProcess(const std::string& path, uint64_t offset, const std::string& bytes);
bool RenameAsAnotherProcess(const std::string& from, const std::string& to);

// Handles the stub still holds open (old-style and CreateFileA).
int OpenHandleCount();
bool IsOpen(const std::string& path);
// Bytes written through handles since the reset.
uint64_t BytesWritten();

}  // namespace sim::files
