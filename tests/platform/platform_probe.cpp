// The platform rows (platform_rows.h) under Wine: built with mingw, run by
// the end-to-end suite, which reads the closing line "N rows, M differ".
#include <cstdio>
#include <string>

#include "tests/platform/platform_rows.h"

int main() {
    SetEnvironmentVariableA(platform_rows::kVariable, platform_rows::kVariableValue);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "vesk-rows-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    int differ = 0;
    const auto& rows = platform_rows::Rows();
    for (const platform_rows::Row& row : rows) {
        const std::string got = row.run(folder);
        if (got == row.expected) {
            std::printf("same: %s\n", row.name);
        } else {
            ++differ;
            std::printf("DIFFERS: %s\n  the table: %s\n  Wine:      %s\n", row.name, row.expected, got.c_str());
        }
        if (row.windowsNote) std::printf("  where Windows may differ: %s\n", row.windowsNote);
    }
    std::printf("%d rows, %d differ\n", int(rows.size()), differ);
    return differ ? 1 : 0;
}
