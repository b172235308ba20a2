// Previous-version removal: while the service reports another version of
// the product installed, the user is asked whether to uninstall it; Yes
// removes it through the service, No ends the run with exit code 1.
#include "format/ini_keys.h"
#include "base/side_ini.h"
#include "base/text.h"
#include "format/text_rules.h"
#include "container/settings.h"
#include "product/product.h"
#include "runtime/installer.h"
#include "ui/ui.h"

#define INSTALLED_VERSION_BUFFER 256u
#define QUESTION_BUFFER 512u
#define QUESTION_ARGUMENTS 5

// The length of format with its first count conversions replaced by the
// arguments, each "%%" by one '%'.
static UINT FormattedLength(LPCSTR format, LPCSTR const* arguments) {
    UINT length = 0;
    UINT used = 0;
    for (LPCSTR p = format; *p; ++p) {
        if (*p != '%') {
            ++length;
        } else if (*++p == 's') {
            length += BoundedLength(arguments[used++], QUESTION_BUFFER);
        } else {
            ++length;
        }
    }
    return length;
}

// Cuts a text to at most maxBytes bytes without splitting a double-byte
// character.
static void CutText(char* text, UINT maxBytes) {
    char* p = text;
    for (char* next = CharNextA(p); *p && (UINT)(next - text) <= maxBytes; next = CharNextA(p)) p = next;
    *p = 0;
}

// The question in a QUESTION_BUFFER-byte buffer. A configured text is used
// when its conversions are sound and its expansion fits; else the built-in
// text, with the name cut so that it always fits.
static void FormatQuestion(char* question, LPCSTR configured, char* name, LPCSTR installed) {
    LPCSTR format = configured;
    LPCSTR arguments[QUESTION_ARGUMENTS] = {name, installed, name, g_settings.productVersion, name};
    if (CountTextConversions(format, QUESTION_ARGUMENTS) < 0 || FormattedLength(format, arguments) >= QUESTION_BUFFER) {
        format = BUILTIN_EXIST_ERROR;
        // Three names share what the fixed words and both versions leave.
        LPCSTR noName = "";
        LPCSTR withoutNames[QUESTION_ARGUMENTS] = {noName, installed, noName, g_settings.productVersion, noName};
        UINT room = QUESTION_BUFFER - 1 - FormattedLength(format, withoutNames);
        CutText(name, room / 3);
    }
    wsprintfA(question, format, name, installed, name, g_settings.productVersion, name);
}

// A version text as the engine compares versions: major.minor.build in one
// number (8, 8 and 16 bits, the engine's own limits); a fourth part, the
// revision, may be there but never counts. FALSE for a text the engine
// could not compare: anything but one to four decimal parts joined by dots,
// or a part above its limit.
static BOOL ReadEngineVersion(LPCSTR text, DWORD* version) {
    static const BYTE kShifts[3] = {24, 16, 0};
    *version = 0;
    for (UINT index = 0;; ++index) {
        DWORD part = 0;
        LPCSTR start = text;
        while (*text >= '0' && *text <= '9')
            if ((part = part * 10 + (DWORD)(*text++ - '0')) > 0xFFFF) return FALSE;
        if (text == start || index > 3 || (index < 2 && part > 0xFF)) return FALSE;
        if (index < 3) *version |= part << kShifts[index];
        if (!*text) return TRUE;
        if (*text++ != '.') return FALSE;
    }
}

// Whether the installed version is older than the one carried, both texts
// the engine can compare.
static BOOL IsOlderVersion(LPCSTR installed) {
    DWORD old;
    DWORD carried;
    return ReadEngineVersion(installed, &old) && ReadEngineVersion(g_settings.productVersion, &carried) &&
           old < carried;
}

// Asks whether to uninstall the installed version; ends the run on No.
static void AskToRemove(LPCSTR installed) {
    WaitSplashHold();
    char text[TEXT_FIELD];
    LoadMessageText(text, MSG_EXIST_ERROR, g_run.iniPath, INI_KEY_EXIST_ERROR, BUILTIN_EXIST_ERROR);
    char name[TEXT_FIELD];
    if (g_run.embedded)
        CopyText(name, TEXT_FIELD, ProductName());
    else
        ReadSideText(INI_KEY_PRODUCT_NAME, NULL, name, TEXT_FIELD);
    char question[QUESTION_BUFFER];
    FormatQuestion(question, text, name, installed);
    SetSplashVisible(FALSE);
    // Only a Yes removes: a box that could not be shown (0) is no consent.
    if (ShowProductMessage(question, MB_YESNO | MB_DEFBUTTON2) != IDYES) EndRun(EXIT_CODE_FAILED, NULL);
}

void RemovePreviousVersion(void) {
    if (!g_settings.productCode[0] || !g_settings.productVersion[0] || !g_settings.removePrevious) return;
    HMODULE library = LoadSystemLibrary(MSI_LIBRARY);
    if (!library) return;
    MsiGetProductInfoProc getInfo = ENTRY_POINT(MsiGetProductInfoProc, library, MSI_GET_PRODUCT_INFO);
    MsiConfigureProductProc configure = ENTRY_POINT(MsiConfigureProductProc, library, MSI_CONFIGURE_PRODUCT);
    char installed[INSTALLED_VERSION_BUFFER];
    BOOL tried = FALSE;
    while (getInfo) {
        DWORD length = INSTALLED_VERSION_BUFFER;
        installed[0] = 0;
        UINT status = getInfo(g_settings.productCode, MSI_PROPERTY_VERSION_STRING, installed, &length);
        installed[INSTALLED_VERSION_BUFFER - 1] = 0;
        // Another version, older or newer, is one to remove; the same one is not.
        if (status != ERROR_SUCCESS || !installed[0] || lstrcmpA(installed, g_settings.productVersion) == 0) break;
        // Unattended only an older version is removed, as a Yes would, and only
        // once; a newer one, one that cannot be compared or one that stays ends
        // the run with the engine's own code for it: never a silent downgrade.
        if (g_run.attendance < UNATTENDED_PASSIVE)
            AskToRemove(installed);
        else if (tried || !IsOlderVersion(installed))
            EndRun(EXIT_CODE_OTHER_VERSION, NULL);
        tried = TRUE;
        SetSplashVisible(TRUE);
        // Without the entry point nothing is removed, and the question comes back.
        if (configure) {
            configure(g_settings.productCode, MSI_INSTALLLEVEL_DEFAULT, MSI_INSTALLSTATE_ABSENT);
            Sleep(500);
        }
    }
    FreeLibrary(library);
}
