// The settings of one run from the side INI file, the text block they share
// with the container's header, and the configurable message texts.
#include "container/settings.h"

#include "format/ini_keys.h"
#include "base/side_ini.h"
#include "format/text_rules.h"
#include "base/text.h"
#include "container/container.h"
#include "container/extract.h"
#include "ui/ui.h"

#define SHORT_VALUE 64u  // INI values kept in 64-byte buffers
#define LONG_VALUE 256u

// The INI path is the own path with ".ini" from its last '.' on; FALSE when
// the own path has no '.'.
static BOOL MakeIniPath(void) {
    CopyText(g_run.iniPath, PATH_BUFFER, g_run.ownPath);
    int dot = -1;
    for (int i = 0; g_run.iniPath[i]; ++i)
        if (g_run.iniPath[i] == '.') dot = i;
    if (dot < 0) {
        g_run.iniPath[0] = 0;
        return FALSE;
    }
    // Cut, the name would read another file's settings.
    if (!CopyText(g_run.iniPath + dot, PATH_BUFFER - (UINT)dot, ".ini")) EndRun(EXIT_CODE_FAILED, CORRUPT_TEXT);
    return TRUE;
}

BOOL LoadSideSettings(void) {
    g_settings.fontCharSet = 0;
    g_settings.fontPointSize = DEFAULT_CHAR_SIZE;
    FillBytes(g_settings.textBlock, 0, TEXT_BLOCK_FIELD);
    g_settings.requiredRuntimeMS = 0;
    g_settings.requiredRuntimeLS = 0;
    g_settings.runtimeNTSize = 0;
    g_settings.runtime9XSize = 0;
    g_settings.removePrevious = FALSE;
    if (!MakeIniPath()) return TRUE;

    char value[SHORT_VALUE];
    ReadSideText(INI_KEY_RUNTIME_VERSION, NULL, value, SHORT_VALUE);
    VersionPair required = ReadVersionText(value);
    g_settings.requiredRuntimeMS = required.ms;
    g_settings.requiredRuntimeLS = required.ls;

    char fontFace[LONG_VALUE];
    ReadSideText(INI_KEY_CHAR_FONT, DEFAULT_CHAR_FONT, fontFace, LONG_VALUE);
    g_settings.fontCharSet = (BYTE)ReadSideNumber(INI_KEY_CHAR_SET, 0);
    g_settings.fontPointSize = (BYTE)ReadSideNumber(INI_KEY_CHAR_SIZE, DEFAULT_CHAR_SIZE);
    char productName[SHORT_VALUE];
    ReadSideText(INI_KEY_PRODUCT_NAME, NULL, productName, SHORT_VALUE);

    char prefix[SHORT_VALUE];
    ReadSideText(INI_KEY_INIT_PREFIX, DEFAULT_INIT_PREFIX, prefix, SHORT_VALUE);
    ReadSideText(INI_KEY_INIT_SUFFIX, DEFAULT_INIT_SUFFIX, value, SHORT_VALUE);
    char initLine[TEXT_BLOCK_FIELD];
    ComposeInitLine(initLine, TEXT_BLOCK_FIELD, prefix, value);
    PackTextBlock(fontFace, productName, initLine);

    ReadSideRuntime(TRUE, value, SHORT_VALUE);
    g_settings.runtimeNTSize = value[0] ? 1 : 0;
    ReadSideRuntime(FALSE, value, SHORT_VALUE);
    g_settings.runtime9XSize = value[0] ? 1 : 0;
    ReadSideText(INI_KEY_PRODUCT_CODE, NULL, g_settings.productCode, PRODUCT_CODE_FIELD);
    ReadSideText(INI_KEY_PRODUCT_VERSION, NULL, g_settings.productVersion, PRODUCT_VERSION_FIELD);
    ReadSideText(INI_KEY_TRANSFORM, NULL, g_settings.transformBase, TRANSFORM_BASE_FIELD);
    g_settings.removePrevious = ReadSideNumber(INI_KEY_REMOVE_PREVIOUS, 0) == 1;

    return g_settings.productCode[0] && g_settings.productVersion[0];
}

void LoadMessageText(char* out, MessageId id, LPCSTR iniPath, LPCSTR iniKey, LPCSTR builtIn) {
    out[0] = 0;
    if (g_run.embedded)
        ReadStoredText(out, id);
    else if (iniPath && iniPath[0])
        GetPrivateProfileStringA(INI_SECTION, iniKey, "", out, TEXT_FIELD, iniPath);
    if (!out[0]) CopyText(out, TEXT_FIELD, builtIn ? builtIn : "");
}

LPCSTR ExtractionFailureText(char* out, ExtractResult result) {
    if (result == EXTRACT_CANCELLED) return NULL;
    if (result == EXTRACT_NOT_OURS) return CORRUPT_TEXT;
    if (result == EXTRACT_CRC_MISMATCH)
        LoadMessageText(out, MSG_CRC_ERROR, g_run.iniPath, INI_KEY_CRC_ERROR, BUILTIN_CRC_ERROR);
    else
        LoadMessageText(out, MSG_SPACE_ERROR, g_run.iniPath, INI_KEY_SPACE_ERROR, BUILTIN_SPACE_ERROR);
    return out;
}
