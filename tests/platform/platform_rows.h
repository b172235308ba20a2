// Rows of platform behaviour that the stub relies on, written once and run
// twice: against the simulator (tests/unit/platform_rows_test.cpp) and, built
// with mingw into tests/platform/platform_probe.cpp, against Wine in the
// end-to-end suite. The simulator cannot drift from a real implementation
// unseen. Each row returns what it observed, as text, for one comparison
// with what the row expects.
#pragma once

#include <string>
#include <vector>

#include "win32/api.h"

namespace platform_rows {

// The environment variable the rows expand; both runners set it first.
constexpr const char* kVariable = "VESK_ROWS";
constexpr const char* kVariableValue = "C:\\Rows Value";

struct Row {
    const char* name;
    std::string (*run)(const std::string& folder);  // folder: an existing scratch folder, no trailing backslash
    const char* expected;
    // Where what Wine gives is not what Windows documents, the row expects
    // Wine's answer (the one the end-to-end tests meet) and says so here.
    const char* windowsNote = nullptr;
};

inline std::string Number(long long value) { return std::to_string(value); }

inline std::string Join(std::initializer_list<long long> values) {
    std::string out;
    for (long long value : values) out += (out.empty() ? "" : ",") + Number(value);
    return out;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    HFILE file = _lcreat(path.c_str(), 0);
    _lwrite(file, bytes.data(), UINT(bytes.size()));
    _lclose(file);
}

inline std::string ReadFile(const std::string& path) {
    HFILE file = _lopen(path.c_str(), OF_READ);
    char buffer[256];
    UINT n = _lread(file, buffer, sizeof buffer);
    _lclose(file);
    return n <= sizeof buffer ? std::string(buffer, n) : "<read failed>";
}

inline std::string ReadIni(const std::string& path, const char* section, const char* key, const char* fallback,
                           DWORD size = 256) {
    char buffer[256] = "untouched";
    DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer, size, path.c_str());
    return std::string(buffer) + "|" + Number(n);
}

inline const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"_lread gives what is left, then 0 at the end; a missing file does not open",
         [](const std::string& folder) {
             WriteFile(folder + "\\read.bin", "12345");
             HFILE file = _lopen((folder + "\\read.bin").c_str(), OF_READ);
             char buffer[8];
             long long first = _lread(file, buffer, 3), second = _lread(file, buffer, 8), third = _lread(file, buffer, 8);
             _lclose(file);
             return Join({first, second, third, _lopen((folder + "\\missing.bin").c_str(), OF_READ)});
         },
         "3,2,0,-1"},
        {"_llseek gives the new position; one before the start fails and leaves the position",
         [](const std::string& folder) {
             WriteFile(folder + "\\seek.bin", std::string(100, 'x'));
             HFILE file = _lopen((folder + "\\seek.bin").c_str(), OF_READ);
             long long a = _llseek(file, 10, FILE_BEGIN), b = _llseek(file, 5, FILE_CURRENT),
                       c = _llseek(file, 0, FILE_END), d = _llseek(file, 40, FILE_BEGIN),
                       e = _llseek(file, -200, FILE_END), f = _llseek(file, 0, FILE_CURRENT);
             _lclose(file);
             return Join({a, b, c, d, e, f});
         },
         "10,15,100,40,-1,40"},
        {"_lcreat cuts an existing file, and makes none in a missing folder; a handle opened to write cannot read",
         [](const std::string& folder) {
             const std::string path = folder + "\\cut.bin";
             WriteFile(path, "old contents");
             WriteFile(path, "new");
             HFILE file = _lopen(path.c_str(), OF_WRITE);
             char buffer[4];
             long long read = LONG(_lread(file, buffer, 1));
             _lclose(file);
             return ReadFile(path) + "|" + Join({read, _lcreat((folder + "\\No\\cut.bin").c_str(), 0)});
         },
         "new|-1,-1"},
        {"a file open through an old-style handle cannot be deleted",
         [](const std::string& folder) {
             const std::string path = folder + "\\open.bin";
             WriteFile(path, "x");
             HFILE file = _lopen(path.c_str(), OF_READ);
             long long whileOpen = DeleteFileA(path.c_str()) != FALSE;
             _lclose(file);
             return Join({whileOpen, DeleteFileA(path.c_str()) != FALSE});
         },
         "0,1"},
        {"CreateDirectoryA makes a folder once, never one whose parent is missing; RemoveDirectoryA only an empty one",
         [](const std::string& folder) {
             const std::string made = folder + "\\Made";
             long long first = CreateDirectoryA(made.c_str(), nullptr) != FALSE;
             long long again = CreateDirectoryA((folder + "\\made").c_str(), nullptr) != FALSE;
             long long orphan = CreateDirectoryA((folder + "\\No\\Parent").c_str(), nullptr) != FALSE;
             WriteFile(made + "\\inside.bin", "x");
             long long full = RemoveDirectoryA(made.c_str()) != FALSE;
             DeleteFileA((made + "\\inside.bin").c_str());
             return Join({first, again, orphan, full, RemoveDirectoryA(made.c_str()) != FALSE});
         },
         "1,0,0,0,1"},
        {"GetTempFileNameA with a number: three prefix characters, the number in hex, .tmp, nothing made",
         [](const std::string& folder) {
             char name[MAX_PATH];
             long long unique = GetTempFileNameA(folder.c_str(), "abcd", 0x1F, name);
             std::string tail = std::string(name).substr(folder.size());
             for (char& c : tail) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);  // the stub ignores case here
             HFILE file = _lopen(name, OF_READ);
             if (file != HFILE_ERROR) _lclose(file);
             return Number(unique) + "|" + tail + "|" + Number(file != HFILE_ERROR);
         },
         "31|\\ABC1F.TMP|0"},
        {"GetTempFileNameA without a number makes the empty file it names",
         [](const std::string& folder) {
             char name[MAX_PATH];
             long long unique = GetTempFileNameA(folder.c_str(), "ZRP", 0, name);
             std::string bytes = ReadFile(name);
             DeleteFileA(name);
             return Number(unique != 0) + "|" + Number(LONG(bytes.size()));
         },
         "1|0"},
        {"GetTempPathA and GetSystemDirectoryA with a small buffer give the size they need, with the NUL",
         [](const std::string&) {
             char path[MAX_PATH];
             DWORD temp = GetTempPathA(MAX_PATH, path);
             UINT system = GetSystemDirectoryA(path, MAX_PATH);
             char small[2];
             return Join({GetTempPathA(sizeof small, small) == temp + 1,
                          GetSystemDirectoryA(small, sizeof small) == system + 1});
         },
         "1,1"},
        {"INI values: section and key in any case, trimmed, one pair of quotes gone, cut to the buffer",
         [](const std::string& folder) {
             const std::string ini = folder + "\\rows.ini";
             WriteFile(ini, "[veskinstaller]\r\n  Product Name  =  \"Quoted \"  \r\nPlain= a b \r\n"
                            "Twice=\"\"x\"\"\r\nMixed=\"x'\r\n");
             return ReadIni(ini, "VeskInstaller", "product name", "") + " " +
                    ReadIni(ini, "VeskInstaller", "PLAIN", "") + " " + ReadIni(ini, "VeskInstaller", "Twice", "") +
                    " " + ReadIni(ini, "VeskInstaller", "Mixed", "") + " " +
                    ReadIni(ini, "VeskInstaller", "Plain", "", 3);
         },
         "Quoted |7 a b|3 \"x\"|3 \"x'|3 a |2"},
        {"INI values: a missing key, section or file gives the fallback",
         [](const std::string& folder) {
             const std::string ini = folder + "\\other.ini";
             WriteFile(ini, "[Other]\r\nKey=1\r\n");
             return ReadIni(ini, "VeskInstaller", "Key", "d") + " " + ReadIni(ini, "Other", "None", "fallback") +
                    " " + ReadIni(folder + "\\missing.ini", "VeskInstaller", "Key", "Initializing ");
         },
         "d|1 fallback|8 Initializing|12"},
        {"INI numbers: a leading signed decimal, the fallback for none or an empty value",
         [](const std::string& folder) {
             const std::string ini = folder + "\\numbers.ini";
             WriteFile(ini, "[VeskInstaller]\r\nA=12abc\r\nB=-7\r\nC=abc\r\nD=\r\nE=+4\r\nF=0x10\r\n");
             std::string out;
             for (const char* key : {"A", "B", "C", "D", "E", "F", "Missing"})
                 out += (out.empty() ? "" : ",") +
                        Number(INT(GetPrivateProfileIntA("VeskInstaller", key, 99, ini.c_str())));
             return out;
         },
         "12,-7,0,99,4,16,99"},
        {"wsprintfA: the conversions the stub uses; output cut to 1023 characters is reported as 1024",
         [](const std::string&) {
             char out[2048];
             int n = wsprintfA(out, "%s|%c|%d|%i|%u|%x|%X", "ab", 'z', -5, 7, 4000000000u, 255, 255);
             std::string text = std::string(out) + "|" + Number(n);
             wsprintfA(out, "[%5d][%-5d][%05d][%-5s][%lu][%ld]", 42, 42, -42, "ab", 7u, -7);
             text += " " + std::string(out);
             wsprintfA(out, "%.3s|%08lX|100%%", "abcdef", 0xBEEFu);
             text += " " + std::string(out);
             n = wsprintfA(out, "%s", std::string(2000, 'a').c_str());
             return text + " " + Number(n) + "," + Number(LONG(std::string(out).size()));
         },
         "ab|z|-5|7|4000000000|ff|FF|26 [   42][42   ][-0042][ab   ][7][-7] abc|0000BEEF|100% 1024,1023",
         "Windows documents the count of characters stored, which would be 1023 for cut output; Wine "
         "reports the limit, 1024. The stub never reads the count of a cut text."},
        // lstrlenA(NULL) is left out: the stub never asks it, and Wine answers
        // it by catching the fault, which qemu's i386 emulator cannot pass on.
        {"lstrcmpA tells case apart, lstrcmpiA does not",
         [](const std::string&) {
             return Join({lstrcmpA(".VESK", ".VESK"), lstrcmpA(".vesk", ".VESK") != 0,
                          lstrcmpiA(".vesk", ".VESK"), lstrlenA("abc")});
         },
         "0,1,0,3"},
        {"MulDiv rounds half away from zero and gives -1 for a zero divisor",
         [](const std::string&) { return Join({MulDiv(5, 3, 5), MulDiv(3, 1, 2), MulDiv(-3, 1, 2), MulDiv(1, 1, 0)}); },
         "3,2,-2,-1"},
        {"CharNextA in a single-byte code page: one step, and the terminator stays put",
         [](const std::string&) {
             const char text[] = "ab";
             return Join({CharNextA(text) - text, CharNextA(text + 2) - text});
         },
         "1,2"},
        {"ExpandEnvironmentStringsA keeps an undefined name and counts the NUL",
         [](const std::string&) {
             char out[64];
             DWORD n = ExpandEnvironmentStringsA("%vesk_rows%\\%VESK_NOT_DEFINED%", out, sizeof out);
             return std::string(out) + "|" + Number(n);
         },
         "C:\\Rows Value\\%VESK_NOT_DEFINED%|33"},
        {"GetVersionExA needs the record's size set",
         [](const std::string&) {
             OSVERSIONINFOA info;
             for (size_t i = 0; i < sizeof info; ++i) reinterpret_cast<BYTE*>(&info)[i] = 0;
             long long zero = GetVersionExA(&info) != FALSE;
             info.dwOSVersionInfoSize = sizeof info;
             return Join({zero, GetVersionExA(&info) != FALSE});
         },
         "0,1"},
    };
    return rows;
}

}  // namespace platform_rows
