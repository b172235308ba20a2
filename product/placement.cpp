// Putting the product file on disk: under the common files folder, else in
// a folder made fresh for the run in the temporary folder; in side-file mode
// the file lies beside the program and is only named.
#include "format/ini_keys.h"
#include "base/side_ini.h"
#include "base/temp_files.h"
#include "base/text.h"
#include "container/extract.h"
#include "container/settings.h"
#include "product/product.h"
#include "ui/ui.h"

#define CURRENT_VERSION_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
#define COMMON_FILES_VALUE "CommonFilesDir"
#define PRODUCT_FOLDER "\\Vesk Installation Wizard\\"
#define DATABASE_EXTENSION "MSI"
#define TRANSFORM_EXTENSION "MST"

void CreatePathDirectories(char* path) {
    for (char* p = path; *p; p = CharNextA(p)) {
        if (*p != '\\') continue;
        *p = 0;
        CreateDirectoryA(path, NULL);
        *p = '\\';
    }
}

// The common files folder from the registry, its data terminated within the
// buffer; empty when missing or empty. A value too long for a path ends the
// run: it is never cut.
static void CommonFilesFolder(char* out) {
    out[0] = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD size = PATH_BUFFER;
    LONG status = RegQueryValueExA(key, COMMON_FILES_VALUE, NULL, NULL, (LPBYTE)out, &size);
    RegCloseKey(key);
    // Registry data need not carry its terminator: one that fills the
    // buffer to the last byte without it, or more, would be cut.
    if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && size >= PATH_BUFFER && out[PATH_BUFFER - 1] != 0))
        EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    if (status != ERROR_SUCCESS || size == 0) {
        out[0] = 0;
        return;
    }
    if (size < PATH_BUFFER) out[size] = 0;
}

// "<common files>\Vesk Installation Wizard\<name>" with the last three
// characters made the database or transform extension. Empty when the
// folder is unknown or the stored name is shorter than the extension; a
// path that would not fit ends the run.
static void CommonFilesCandidate(char* path) {
    char folder[PATH_BUFFER];
    path[0] = 0;
    CommonFilesFolder(folder);
    if (folder[0] == 0) return;
    if (EndsWithBackslash(folder)) *LastCharacters(folder, 1) = 0;
    if (!CopyText(path, PATH_BUFFER, folder) || !AppendText(path, PATH_BUFFER, PRODUCT_FOLDER))
        EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    char* name = path + BoundedLength(path, PATH_BUFFER);
    if (!AppendText(path, PATH_BUFFER, g_settings.productFileName)) EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    // The stored name may end in TMP: the engine wants the right extension.
    // A name of fewer than three characters (none at all included) would
    // have it eat into the folder and put the file beside it.
    char* extension = LastCharacters(path, 3);
    if (extension < name) {
        path[0] = 0;
        return;
    }
    CopyText(extension, 4, g_settings.transformBase[0] ? TRANSFORM_EXTENSION : DATABASE_EXTENSION);
}

// In a folder made fresh for the run, never under a name in the shared
// temporary folder that another run or program could take or foresee: the
// stored name, extension unchanged, or without one a fresh temporary name.
static void PrivateFolderCandidate(char* path) {
    char folder[PATH_BUFFER];
    if (!MakePrivateFolder(folder, RunsAsAdministrator())) EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    if (g_settings.productFileName[0] == 0) {
        MakeTempFileNameIn(folder, path);
        return;
    }
    if (!CopyText(path, PATH_BUFFER, folder) || !AppendText(path, PATH_BUFFER, "\\") ||
        !AppendText(path, PATH_BUFFER, g_settings.productFileName))
        EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
}

// A new file with its folders. A file left there by an earlier run goes
// first; one that cannot go (another setup holds it) is not written.
static HANDLE CreateProductFile(char* path) {
    CreatePathDirectories(path);
    DeleteFileA(path);
    return CreateNewFile(path);
}

// Side-file mode: the INI's ProductFile, always relative to the program.
static void NameSideProductFile(char* path) {
    char name[PATH_BUFFER];
    ReadSideText(INI_KEY_PRODUCT_FILE, NULL, name, PATH_BUFFER);
    // A path that does not fit would name another file: refused, not cut.
    if (!CopyText(path, PATH_BUFFER, g_run.ownDirectory) || !AppendText(path, PATH_BUFFER, name))
        EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
}

HANDLE PlaceProductFile(char* path) {
    if (!g_run.embedded) {
        NameSideProductFile(path);
        return INVALID_HANDLE_VALUE;
    }
    CommonFilesCandidate(path);
    // Common files may be unknown or closed to this user.
    HANDLE writer = path[0] ? CreateProductFile(path) : INVALID_HANDLE_VALUE;
    if (writer == INVALID_HANDLE_VALUE) {
        PrivateFolderCandidate(path);
        writer = CreateProductFile(path);
    }
    if (writer == INVALID_HANDLE_VALUE) EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    HANDLE hold;
    ExtractResult result = ExtractHeldFile(writer, path, (LONG)g_settings.productSize, DIGEST_PRODUCT, &hold);
    if (result == EXTRACTED) return hold;
    DeleteFileA(path);
    char text[TEXT_FIELD];
    EndRun(EXIT_CODE_FAILED, ExtractionFailureText(text, result));
}
