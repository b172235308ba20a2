// Resources from the compiled resource file (.res: a sequence of
// RESOURCEHEADER records), served through FindResourceA and friends, and the
// icon and cursor calls that look them up.
#include "sim/resources.h"

#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "sim/faults.h"
#include "sim/sim.h"

namespace sim {
namespace {

struct Resource {
    std::string type;  // "#n" for an ordinal, else the upper-case name
    std::string name;
    WORD language = 0;
    std::vector<uint8_t> data;
};

using ResourceMap = std::multimap<std::pair<std::string, std::string>, Resource>;

struct Resources {
    ResourceMap entries;
    int held = 0;
};

Resources& State() {
    static Resources state;
    return state;
}

HINSTANCE const kOwnModule = reinterpret_cast<HINSTANCE>(0x400000);

uint32_t Dword(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) throw std::runtime_error("resource file cut short");
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

uint16_t Word(const std::vector<uint8_t>& b, size_t at) {
    if (at + 2 > b.size()) throw std::runtime_error("resource file cut short");
    return uint16_t(b[at] | b[at + 1] << 8);
}

// A type or name field: 0xFFFF and an ordinal, or a NUL-terminated UTF-16
// name (only ASCII names occur in ours).
std::string NameField(const std::vector<uint8_t>& b, size_t* at) {
    if (Word(b, *at) == 0xFFFF) {
        std::string ordinal = "#" + std::to_string(Word(b, *at + 2));
        *at += 4;
        return ordinal;
    }
    std::string name;
    for (uint16_t c; (c = Word(b, *at)) != 0; *at += 2) name += char(std::toupper(c & 0x7F));
    *at += 2;
    return name;
}

ResourceMap Parse(const std::vector<uint8_t>& b) {
    ResourceMap entries;
    size_t at = 0;
    while (at + 8 <= b.size()) {
        uint32_t dataSize = Dword(b, at);
        uint32_t headerSize = Dword(b, at + 4);
        size_t field = at + 8;
        Resource resource;
        resource.type = NameField(b, &field);
        resource.name = NameField(b, &field);
        field = (field + 3) & ~size_t(3);
        resource.language = Word(b, field + 6);
        size_t data = at + headerSize;
        if (data + dataSize > b.size()) throw std::runtime_error("resource data cut short");
        resource.data.assign(b.begin() + long(data), b.begin() + long(data + dataSize));
        // The file begins with an empty record that marks it as 32-bit.
        if (dataSize != 0 || resource.type != "#0")
            entries.emplace(std::make_pair(resource.type, resource.name), resource);
        at = (data + dataSize + 3) & ~size_t(3);
    }
    return entries;
}

const ResourceMap& Compiled() {
    static const ResourceMap compiled = [] {
        std::ifstream file(ResourceFilePath(), std::ios::binary);
        if (!file) throw std::runtime_error("cannot read " + ResourceFilePath());
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
        return Parse(bytes);
    }();
    return compiled;
}

Registration reg([] { State() = Resources{Compiled(), 0}; });

std::string Ordinal(int id) { return "#" + std::to_string(id); }

// A resource name as the platform reads it: an integer resource, "#123",
// or a name compared without regard to case.
std::string Key(LPCSTR name) {
    uintptr_t value = reinterpret_cast<uintptr_t>(name);
    if (value < 0x10000) return Ordinal(int(value));
    std::string key = name;
    if (!key.empty() && key[0] == '#') return Ordinal(std::atoi(key.c_str() + 1));
    for (auto& c : key) c = char(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

Resource* Find(const std::string& type, const std::string& name) {
    auto it = State().entries.find({type, name});
    return it == State().entries.end() ? nullptr : &it->second;
}

bool OwnModule(HMODULE module) { return !module || module == kOwnModule; }

}  // namespace

std::string ResourceFilePath() { return VESK_RESOURCE_FILE; }

const std::vector<uint8_t>* ResourceBytes(int type, int id) {
    Resource* resource = Find(Ordinal(type), Ordinal(id));
    return resource ? &resource->data : nullptr;
}

WORD ResourceLanguage(int type, int id) {
    Resource* resource = Find(Ordinal(type), Ordinal(id));
    return resource ? resource->language : 0;
}

void RemoveResource(int type, int id) { State().entries.erase({Ordinal(type), Ordinal(id)}); }

void ReplaceResource(int type, int id, const std::vector<uint8_t>& bytes) {
    RemoveResource(type, id);
    State().entries.emplace(std::make_pair(Ordinal(type), Ordinal(id)),
                            Resource{Ordinal(type), Ordinal(id), 1033, bytes});
}

int ResourcesHeld() { return State().held; }

}  // namespace sim

extern "C" {

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HRSRC>();
    if (!sim::OwnModule(module) || !name || !type) return nullptr;
    sim::Resource* resource = sim::Find(sim::Key(type), sim::Key(name));
    sim::Record("FindResourceA " + sim::Key(type) + " " + sim::Key(name) +
                (resource ? "" : " missing"));
    return reinterpret_cast<HRSRC>(resource);
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC found) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<DWORD>();
    return found ? DWORD(reinterpret_cast<sim::Resource*>(found)->data.size()) : 0;
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC found) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HGLOBAL>();
    if (!found) return nullptr;
    ++sim::State().held;
    return reinterpret_cast<HGLOBAL>(found);
}

LPVOID WINAPI LockResource(HGLOBAL loaded) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<LPVOID>();
    return loaded ? reinterpret_cast<sim::Resource*>(loaded)->data.data() : nullptr;
}

// Obsolete on 32-bit Windows: it releases nothing and returns FALSE; the
// count only shows that the program gave the resource back.
BOOL WINAPI FreeResource(HGLOBAL loaded) {
    const sim::faults::Call call(__func__);
    if (loaded) --sim::State().held;
    return FALSE;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HICON>();
    // Without an instance, the system's own icons (IDI_*).
    if (!instance) return reinterpret_cast<HICON>(0x8000 + (reinterpret_cast<uintptr_t>(name) & 0xFFFF));
    if (!sim::OwnModule(instance) || !name) return nullptr;
    sim::Resource* group = sim::Find(sim::Key(RT_GROUP_ICON), sim::Key(name));
    sim::Record("LoadIconA " + sim::Key(name) + (group ? "" : " missing"));
    return reinterpret_cast<HICON>(group);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) return call.Result<HCURSOR>();
    // The program has no cursors of its own; the system's are IDC_* ordinals.
    if (instance || reinterpret_cast<uintptr_t>(name) >= 0x10000) return nullptr;
    sim::Record("LoadCursorA " + sim::Key(name));
    return reinterpret_cast<HCURSOR>(0x8800 + reinterpret_cast<uintptr_t>(name));
}

}  // extern "C"
