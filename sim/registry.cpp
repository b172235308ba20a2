// The simulated registry: HKEY_LOCAL_MACHINE with typed values, handles with
// their access rights, open counts and faults per key.
#include "sim/registry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#include "sim/faults.h"
#include "sim/sim.h"
#include "win32/api.h"

namespace sim::registry {
namespace {

constexpr LSTATUS kErrorInvalidParameter = 87;

struct Key {
    std::string name;  // as first created
    std::vector<Value> values;
};

// Faults and counts are kept apart from the keys, so that a key that does not
// exist yet can refuse to be created.
struct Faults {
    bool refuseOpen = false;
    bool refuseCreate = false;
    bool refuseWrite = false;
    bool refuseDelete = false;
};

struct Handle {
    std::string key;  // the path as the stub spelled it
    REGSAM access;
};

struct Registry {
    std::map<std::string, Key> keys;  // by lower-case path
    std::map<std::string, Faults> faults;
    std::map<std::string, int> opens;
    std::map<uintptr_t, Handle> handles;
    uintptr_t nextHandle = 0x1000;
};

Registry registry;

sim::Registration reg([] { registry = Registry{}; });

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string Normal(const std::string& path) {
    std::string key = path;
    while (!key.empty() && key.back() == '\\') key.pop_back();
    while (!key.empty() && key.front() == '\\') key.erase(0, 1);
    return Lower(key);
}

Key* Find(const std::string& path) {
    auto it = registry.keys.find(Normal(path));
    return it == registry.keys.end() ? nullptr : &it->second;
}

// The key, created with its parents when missing.
Key& Make(const std::string& path) {
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    for (size_t end = trimmed.find('\\'); end != std::string::npos; end = trimmed.find('\\', end + 1)) {
        Key& parent = registry.keys[Normal(trimmed.substr(0, end))];
        if (parent.name.empty()) parent.name = trimmed.substr(0, end);
    }
    Key& key = registry.keys[Normal(trimmed)];
    if (key.name.empty()) key.name = trimmed;
    return key;
}

Faults& FaultsOf(const std::string& path) { return registry.faults[Normal(path)]; }

Value* FindValue(Key& key, const std::string& name) {
    for (Value& value : key.values)
        if (Lower(value.name) == Lower(name)) return &value;
    return nullptr;
}

bool EraseValue(Key& key, const std::string& name) {
    auto it = std::find_if(key.values.begin(), key.values.end(),
                           [&](const Value& value) { return Lower(value.name) == Lower(name); });
    if (it == key.values.end()) return false;
    key.values.erase(it);
    return true;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// The key path an HKEY and a sub-key name stand for; false for a root or
// handle the machine does not know.
bool Resolve(HKEY parent, LPCSTR subKey, std::string* path) {
    std::string base;
    if (parent == HKEY_LOCAL_MACHINE) {
        base.clear();
    } else {
        auto it = registry.handles.find(reinterpret_cast<uintptr_t>(parent));
        if (it == registry.handles.end()) return false;
        base = it->second.key;
    }
    std::string sub = subKey ? subKey : "";
    while (!sub.empty() && sub.back() == '\\') sub.pop_back();
    *path = base.empty() ? sub : sub.empty() ? base : base + "\\" + sub;
    return true;
}

HKEY NewHandle(const std::string& path, REGSAM access) {
    uintptr_t id = registry.nextHandle;
    registry.nextHandle += 4;
    registry.handles[id] = Handle{path, access};
    ++registry.opens[Normal(path)];
    return reinterpret_cast<HKEY>(id);
}

Handle* FindHandle(HKEY key) {
    auto it = registry.handles.find(reinterpret_cast<uintptr_t>(key));
    return it == registry.handles.end() ? nullptr : &it->second;
}

std::string ValueName(LPCSTR name) { return name ? name : ""; }

}  // namespace

void CreateKey(const std::string& key) { Make(key); }
bool KeyExists(const std::string& key) { return Find(key) != nullptr; }

void SetValue(const std::string& keyPath, const std::string& name, uint32_t type,
              const std::string& data) {
    Key& key = Make(keyPath);
    if (Value* value = FindValue(key, name)) {
        value->type = type;
        value->data = data;
    } else {
        key.values.push_back(Value{name, type, data});
    }
}

void SetText(const std::string& key, const std::string& name, const std::string& text,
             uint32_t type) {
    SetValue(key, name, type, text + std::string(1, '\0'));
}

void DeleteValue(const std::string& keyPath, const std::string& name) {
    if (Key* key = Find(keyPath)) EraseValue(*key, name);
}

std::optional<Value> GetValue(const std::string& keyPath, const std::string& name) {
    Key* key = Find(keyPath);
    if (!key) return std::nullopt;
    Value* value = FindValue(*key, name);
    if (!value) return std::nullopt;
    return *value;
}

std::string GetText(const std::string& key, const std::string& name) {
    auto value = GetValue(key, name);
    if (!value) return "";
    return std::string(value->data.c_str(), strnlen(value->data.data(), value->data.size()));
}

std::vector<Value> Values(const std::string& keyPath) {
    Key* key = Find(keyPath);
    return key ? key->values : std::vector<Value>{};
}

void RefuseOpen(const std::string& key) { FaultsOf(key).refuseOpen = true; }
void RefuseCreate(const std::string& key) { FaultsOf(key).refuseCreate = true; }
void RefuseWrite(const std::string& key) { FaultsOf(key).refuseWrite = true; }
void RefuseDelete(const std::string& key) { FaultsOf(key).refuseDelete = true; }

int OpenCount(const std::string& key) {
    auto it = registry.opens.find(Normal(key));
    return it == registry.opens.end() ? 0 : it->second;
}

int OpenHandleCount() { return int(registry.handles.size()); }

}  // namespace sim::registry

using namespace sim::registry;

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<LSTATUS>();
    std::string path;
    LSTATUS status = ERROR_SUCCESS;
    if (!Resolve(parent, subKey, &path)) {
        status = ERROR_INVALID_HANDLE;
    } else if (!Find(path)) {
        status = ERROR_FILE_NOT_FOUND;
    } else if (FaultsOf(path).refuseOpen) {
        status = ERROR_ACCESS_DENIED;
    }
    sim::Record("RegOpenKeyExA " + path + " " + Hex(access) + " -> " + std::to_string(status));
    if (status == ERROR_SUCCESS) *result = NewHandle(path, access);
    return status;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY parent, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                               const LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<LSTATUS>();
    std::string path;
    LSTATUS status = ERROR_SUCCESS;
    Key* key = nullptr;
    if (!Resolve(parent, subKey, &path)) {
        status = ERROR_INVALID_HANDLE;
    } else {
        key = Find(path);
        const Faults& faults = FaultsOf(path);
        if (faults.refuseCreate || (key && faults.refuseOpen)) status = ERROR_ACCESS_DENIED;
    }
    bool created = status == ERROR_SUCCESS && !key;
    sim::Record("RegCreateKeyExA " + path + " " + Hex(access) + " -> " + std::to_string(status));
    if (status != ERROR_SUCCESS) return status;
    if (created) Make(path);
    if (disposition) *disposition = created ? 1 /* REG_CREATED_NEW_KEY */ : 2 /* REG_OPENED_EXISTING_KEY */;
    *result = NewHandle(path, access);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    const sim::faults::Call call(__func__);
    Handle* handle = FindHandle(key);
    if (!handle) {
        sim::Record("RegCloseKey unknown");
        return ERROR_INVALID_HANDLE;
    }
    sim::Record("RegCloseKey " + handle->key);
    registry.handles.erase(reinterpret_cast<uintptr_t>(key));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY keyHandle, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                                LPDWORD size) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<LSTATUS>();
    Handle* handle = FindHandle(keyHandle);
    sim::Record("RegQueryValueExA " + (handle ? handle->key : std::string("unknown")) + " [" +
                ValueName(name) + "]");
    if (!handle) return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    Value* value = FindValue(Make(handle->key), ValueName(name));
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    DWORD needed = DWORD(value->data.size());
    // Data without a size to receive it is invalid; a size without data is
    // the size-only query.
    if (data && !size) return kErrorInvalidParameter;
    if (!size) return ERROR_SUCCESS;
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY keyHandle, LPCSTR name, DWORD, DWORD type, const BYTE* data,
                              DWORD size) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<LSTATUS>();
    Handle* handle = FindHandle(keyHandle);
    std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), size) : "";
    sim::Record("RegSetValueExA " + (handle ? handle->key : std::string("unknown")) + " [" +
                ValueName(name) + "] " + std::to_string(type) + " " + std::to_string(size));
    if (!handle) return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (FaultsOf(handle->key).refuseWrite) return ERROR_ACCESS_DENIED;
    SetValue(handle->key, ValueName(name), type, bytes);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY keyHandle, LPCSTR name) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<LSTATUS>();
    Handle* handle = FindHandle(keyHandle);
    sim::Record("RegDeleteValueA " + (handle ? handle->key : std::string("unknown")) + " [" +
                ValueName(name) + "]");
    if (!handle) return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (FaultsOf(handle->key).refuseDelete) return ERROR_ACCESS_DENIED;
    return EraseValue(Make(handle->key), ValueName(name)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegEnumValueA(HKEY keyHandle, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD,
                             LPDWORD type, LPBYTE data, LPDWORD size) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<LSTATUS>();
    Handle* handle = FindHandle(keyHandle);
    sim::Record("RegEnumValueA " + (handle ? handle->key : std::string("unknown")) + " " +
                std::to_string(index));
    if (!handle) return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    Key& key = Make(handle->key);
    if (index >= key.values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = key.values[index];
    // The name's buffer counts characters with the terminator.
    if (!name || !nameLength || value.name.size() >= *nameLength) return ERROR_MORE_DATA;
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    *nameLength = DWORD(value.name.size());
    if (type) *type = value.type;
    DWORD needed = DWORD(value.data.size());
    if (size) {
        if (data && *size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (data) std::memcpy(data, value.data.data(), needed);
        *size = needed;
    }
    return ERROR_SUCCESS;
}

}  // extern "C"
