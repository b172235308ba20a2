// The process-wide records of one run, and the three strings of the text
// block as everyone reads them.
#include "base/run_state.h"

#include "base/text.h"

RunState g_run;
SetupSettings g_settings;

LPCSTR NextBlockString(LPCSTR block, LPCSTR text) {
    // A text outside the block (the "" of a string it lacked) has no next.
    UINT_PTR offset = (UINT_PTR)text - (UINT_PTR)block;
    if (offset >= TEXT_BLOCK_FIELD) return "";
    UINT at = (UINT)offset + BoundedLength(text, TEXT_BLOCK_FIELD - (UINT)offset) + 1;
    return at < TEXT_BLOCK_FIELD ? block + at : "";
}

LPCSTR FontFace(void) { return g_settings.textBlock; }
LPCSTR ProductName(void) { return NextBlockString(g_settings.textBlock, FontFace()); }
LPCSTR InitLine(void) { return NextBlockString(g_settings.textBlock, ProductName()); }

