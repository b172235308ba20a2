// INI profile calls with the platform's rules: case-insensitive sections and
// keys, values trimmed of blanks with one pair of surrounding quotes removed,
// truncation to the buffer, a missing file or key giving the default.
#include <cctype>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/files.h"
#include "win32/api.h"

namespace {

struct Entry {
    std::string key;
    std::string value;
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
};

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// A bare file name is looked for in the Windows folder.
std::string ProfilePath(LPCSTR fileName) {
    std::string path = fileName;
    if (path.find_first_of("\\/:") == std::string::npos) path = "C:\\WINDOWS\\" + path;
    return path;
}

std::vector<Section> Load(LPCSTR fileName) {
    std::vector<Section> sections;
    if (!fileName || !fileName[0] || !sim::files::Exists(ProfilePath(fileName))) return sections;
    std::istringstream lines(sim::files::Get(ProfilePath(fileName)));
    std::string line;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            sections.push_back({Trim(line.substr(1, close == std::string::npos ? close : close - 1)), {}});
            continue;
        }
        if (sections.empty()) continue;  // entries before any section belong to none
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            sections.back().entries.push_back({line, ""});
        else
            sections.back().entries.push_back(
                {Trim(line.substr(0, equals)), Unquote(Trim(line.substr(equals + 1)))});
    }
    return sections;
}

std::optional<std::string> Lookup(LPCSTR section, LPCSTR key, LPCSTR fileName) {
    for (const auto& found : Load(fileName)) {
        if (!SameName(found.name, section)) continue;
        for (const auto& entry : found.entries)
            if (SameName(entry.key, key)) return entry.value;
    }
    return std::nullopt;
}

// A single value: cut to size - 1 characters, which is then the result.
DWORD CopyValue(const std::string& value, LPSTR out, DWORD size) {
    if (size == 0) return 0;
    size_t length = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(out, value.data(), length);
    out[length] = 0;
    return DWORD(length);
}

// A list of names, each terminated, the list ended by a second NUL; when it
// is cut, the result is size - 2.
DWORD CopyList(const std::vector<std::string>& names, LPSTR out, DWORD size) {
    if (size < 2) {
        if (size) out[0] = 0;
        return 0;
    }
    std::string list;
    for (const auto& name : names) list += name + '\0';
    if (list.size() + 1 > size) {
        std::memcpy(out, list.data(), size - 2);
        out[size - 2] = 0;
        out[size - 1] = 0;
        return size - 2;
    }
    std::memcpy(out, list.data(), list.size());
    out[list.size()] = 0;
    if (list.empty()) out[1] = 0;
    return DWORD(list.size());
}

}  // namespace

extern "C" {

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR out,
                                      DWORD size, LPCSTR fileName) {
    const sim::faults::Call call(__func__);
    // A file that cannot be read gives what a missing one gives.
    if (call.Fails()) fileName = nullptr;
    if (!section || !key) {
        std::vector<std::string> names;
        for (const auto& found : Load(fileName)) {
            if (!section) {
                names.push_back(found.name);
            } else if (SameName(found.name, section)) {
                for (const auto& entry : found.entries) names.push_back(entry.key);
            }
        }
        return CopyList(names, out, size);
    }
    if (auto value = Lookup(section, key, fileName)) return CopyValue(*value, out, size);
    // The default loses its trailing blanks.
    std::string fallback = defaultText ? defaultText : "";
    fallback.erase(fallback.find_last_not_of(' ') + 1);
    return CopyValue(fallback, out, size);
}

// A leading signed decimal, after blanks; no digits give 0, and a missing
// or empty value gives the default.
UINT WINAPI GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
    const sim::faults::Call call(__func__);
    if (call.Fails()) fileName = nullptr;  // unreadable, as if missing
    auto value = Lookup(section, key, fileName);
    if (!value || value->empty()) return UINT(defaultValue);
    const char* p = value->c_str();
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint32_t result = 0;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {  // Wine reads a hex value too
        for (p += 2; std::isxdigit(static_cast<unsigned char>(*p)); ++p)
            result = result * 16 + uint32_t(std::isdigit(static_cast<unsigned char>(*p))
                                                ? *p - '0'
                                                : std::tolower(static_cast<unsigned char>(*p)) - 'a' + 10);
    } else {
        for (; *p >= '0' && *p <= '9'; ++p) result = result * 10 + uint32_t(*p - '0');
    }
    return negative ? 0u - result : result;
}

}  // extern "C"
