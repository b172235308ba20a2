// vesk_manual TEMPLATE OUTPUT: the man page, built with vesk. The template's
// line "@SETTINGS@" becomes the settings keys' entries, from the key table,
// and "@VESK_TOOL_VERSION@" vesk's version; so a key's entry is written
// once, in its row.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "settings_keys.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: vesk_manual TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream text;
    text << in.rdbuf();
    std::string page = text.str();
    const std::string settings = "@SETTINGS@\n", version = "@VESK_TOOL_VERSION@";
    const size_t at = page.find(settings);
    if (!in || at == std::string::npos || page.find(version) == std::string::npos) {
        std::cerr << "vesk_manual: " << argv[1] << " is no man page template (no " << version << " or @SETTINGS@ line)\n";
        return 1;
    }
    page.replace(at, settings.size(), vesk::SettingsManual());
    page.replace(page.find(version), version.size(), VESK_TOOL_VERSION);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << page;
    if (!out.flush()) {
        std::cerr << "vesk_manual: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
