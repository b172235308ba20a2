// vesk's settings reading on any text: the INI reader with the profile
// functions' rules, every key looked up, and the line format that must read
// back as written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    vesk::IniSection section = vesk::IniSection::Parse(text, "VeskInstaller");
    for (const std::string& key : section.Keys()) {
        std::string value = section.Get(key).value_or("");
        // A written line parses back to the same value.
        vesk::IniSection again = vesk::IniSection::Parse("[VeskInstaller]\n" + vesk::FormatIniLine(key, value) + "\n",
                                                         "VeskInstaller");
        if (again.Get(key) != value) __builtin_trap();
    }
    return 0;
}
