// Settings files in the side-file format, read by the rules of the
// platform's profile functions so that a file the setup reads beside itself
// packs to the same settings: section and key names compare without regard
// to case, values lose surrounding blanks and then one pair of matching
// surrounding quotes, the first occurrence of a key counts (a later one
// draws a warning), and lines that begin with ';' are comments.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vesk {

class IniSection {
public:
    // A key given again in the section: where it counts, where it does not.
    struct Repeat {
        std::string key;
        int firstLine = 0;
        int line = 0;
        bool operator==(const Repeat&) const = default;
    };

    // Reads one section of a settings file: text of at most 1 MiB, UTF-8
    // with or without a byte order mark. Throws Failure for a larger file,
    // one in UTF-16, one holding a NUL or a line ended by CR alone, and one
    // without the section. Warns once for each key given twice.
    static IniSection Read(const std::filesystem::path& file, const std::string& section);
    // A missing section is empty.
    static IniSection Parse(const std::string& content, const std::string& section);

    std::optional<std::string> Get(const std::string& key) const;
    // Keys as written in the file, in file order.
    const std::vector<std::string>& Keys() const { return keys_; }
    // The first repeat of each key given more than once.
    const std::vector<Repeat>& Repeats() const { return repeats_; }

private:
    std::map<std::string, std::string> values_;  // by lower-case key
    std::vector<std::string> keys_;
    std::map<std::string, int> lines_;  // by lower-case key: the line that counts, or -1 once repeated
    std::vector<Repeat> repeats_;
    bool present_ = false;  // the section's header was seen
};

// One "Key=value" line whose value reads back exactly as given: quoted when
// the profile rules would otherwise trim or unquote it.
std::string FormatIniLine(const std::string& key, const std::string& value);

std::string LowerCase(std::string text);

}  // namespace vesk
