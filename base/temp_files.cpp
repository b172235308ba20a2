// Names in the temporary folder, and the folders a run makes there for itself.
#include "base/temp_files.h"

#include "base/system_files.h"
#include "base/text.h"

#define TEMP_FILE_PREFIX "ZRP"
#define SERVICE_MANAGER_ACCESS (GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE)

// The system's temporary folder, beside the system folder: its list lets a
// user add folders there but never delete one of another's.
#define SYSTEM_TEMP_FOLDER "..\\Temp\\"

// The temporary folder with its trailing backslash; FALSE when there is none
// or it does not fit (the call then reports the size it would need).
static BOOL TempFolder(char* out) {
    DWORD length = GetTempPathA(PATH_BUFFER, out);
    return length != 0 && length < PATH_BUFFER;
}

void MakeTempFileNameIn(LPCSTR folder, char* out) {
    // The platform writes up to MAX_PATH bytes: a name that does not fit the
    // path buffer is not taken (the path stays empty and will not open).
    char name[MAX_PATH];
    out[0] = 0;
    if (GetTempFileNameA(folder, TEMP_FILE_PREFIX, 0, name) == 0) return;
    if (!CopyText(out, PATH_BUFFER, name)) {
        DeleteFileA(name);
        out[0] = 0;
    }
}

BOOL RunsAsAdministrator(void) {
    // Granted only to an administrator's full token: never to a filtered
    // one that has not been elevated, nor on the 95/98 family.
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SERVICE_MANAGER_ACCESS);
    if (!manager) return FALSE;
    CloseServiceHandle(manager);
    return TRUE;
}

// The access list of an elevated run's folder, as a self-relative security
// descriptor: full access for Administrators (S-1-5-32-544) and SYSTEM
// (S-1-5-18), inherited by everything made in it, and protected, so that
// nothing of the temporary folder's list (the user's own rights) comes in.
// The owner's implied rights (changing the list) are cut to reading it
// (OWNER RIGHTS, S-1-3-4): where policy makes the creating user, not the
// Administrators group, the owner, the user's unelevated programs would
// otherwise own the folder too. Constant bytes rather than the security
// calls, which the 95/98 family lacks; there the platform ignores a
// descriptor altogether.
#define ACE_FULL_ACCESS 0xFF, 0x01, 0x1F, 0x00  // FILE_ALL_ACCESS
#define ACE_READ_CONTROL 0x00, 0x00, 0x02, 0x00  // READ_CONTROL
#define ACE_INHERITED_BY_ALL 0x03               // OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE
static const BYTE kAdministratorsOnly[92] __attribute__((aligned(4))) = {
    // Revision 1; SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_SELF_RELATIVE;
    // no owner, group or system list (the creator's defaults); the list at 20.
    1, 0, 0x04, 0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,
    // The list: revision 2, 72 bytes, three entries.
    2, 0, 72, 0, 3, 0, 0, 0,
    // Allowed, 24 bytes: S-1-5-32-544.
    0, ACE_INHERITED_BY_ALL, 24, 0, ACE_FULL_ACCESS, 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0,
    // Allowed, 20 bytes: S-1-5-18.
    0, ACE_INHERITED_BY_ALL, 20, 0, ACE_FULL_ACCESS, 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,
    // Allowed, 20 bytes: S-1-3-4, reading the list only.
    0, ACE_INHERITED_BY_ALL, 20, 0, ACE_READ_CONTROL, 1, 1, 0, 0, 0, 0, 0, 3, 4, 0, 0, 0,
};

BOOL MakePrivateFolder(char* folder, BOOL elevated) {
    // The platform's unique name, freed of the empty file made under it;
    // CreateDirectoryA fails on anything that already exists, so the folder
    // is never one that someone else made. Elevated, never in the user's
    // temporary folder: there the user may delete the empty folder and make
    // one of the same name, theirs, before the run writes into it.
    char parent[PATH_BUFFER];
    folder[0] = 0;
    if (elevated ? SystemFilePath(parent, SYSTEM_TEMP_FOLDER) : TempFolder(parent)) MakeTempFileNameIn(parent, folder);
    if (!folder[0]) return FALSE;
    DeleteFileA(folder);
    SECURITY_ATTRIBUTES security;
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = (LPVOID)kAdministratorsOnly;
    security.bInheritHandle = FALSE;
    LPSECURITY_ATTRIBUTES attributes = NULL;
    if (elevated) {
        // What the run starts keeps its own temporary files there too: a
        // runtime installer unpacks itself into its temporary folder and runs
        // what it unpacked, which in the user's would be the user's to change.
        // A folder that cannot be made ends the run, so it is never a child's.
        SetEnvironmentVariableA("TMP", folder);
        SetEnvironmentVariableA("TEMP", folder);
        attributes = &security;
    }
    return CreateDirectoryA(folder, attributes);
}
