// Test API of the simulated registry: the HKEY_LOCAL_MACHINE tree with typed
// values. Key paths are given below HKLM, with backslashes, in any case
// ("SOFTWARE\Microsoft\Windows\CurrentVersion").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::registry {

struct Value {
    std::string name;  // "" is the key's unnamed value
    uint32_t type = 0;
    std::string data;  // raw bytes, a text's NUL included when it was written
};

// Creates the key (and its parents) when missing.
void CreateKey(const std::string& key);
bool KeyExists(const std::string& key);
// Sets a value, creating the key. SetText stores the text with its NUL.
void SetValue(const std::string& key, const std::string& name, uint32_t type,
              const std::string& data);
void SetText(const std::string& key, const std::string& name, const std::string& text,
             uint32_t type = 1 /* REG_SZ */);
void DeleteValue(const std::string& key, const std::string& name);
std::optional<Value> GetValue(const std::string& key, const std::string& name);
// The text of a string value without its terminator; "" when missing.
std::string GetText(const std::string& key, const std::string& name);
// The values of a key in the order they were first written.
std::vector<Value> Values(const std::string& key);

// Faults per key: opening (RegOpenKeyExA and RegCreateKeyExA of an existing
// key), creating (RegCreateKeyExA of any kind), writing and deleting values
// fail with ERROR_ACCESS_DENIED.
void RefuseOpen(const std::string& key);
void RefuseCreate(const std::string& key);
void RefuseWrite(const std::string& key);
void RefuseDelete(const std::string& key);

// Successful opens and creations of the key since the reset.
int OpenCount(const std::string& key);
// Keys the stub opened and has not closed yet.
int OpenHandleCount();

}  // namespace sim::registry
