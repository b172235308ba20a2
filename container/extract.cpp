// CRC-32 (ISO-HDLC, as zlib) and copying a stored payload out of the
// container while the windows stay alive.
#include "container/extract.h"

#include "driver/text.h"
#include "ui/ui.h"

#define CRC_POLYNOMIAL 0xEDB88320u
#define CRC_TABLE_BYTES (256u * sizeof(DWORD))
#define PROGRESS_MIN_BYTES 10

static DWORD CrcEntry(DWORD value) {
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ CRC_POLYNOMIAL : value >> 1;
    return value;
}

BOOL BuildCrcTable(void) {
    g_run.crcRegister = 0xFFFFFFFFu;
    g_run.crcTableMemory = GlobalAlloc(GMEM_MOVEABLE, CRC_TABLE_BYTES);
    if (!g_run.crcTableMemory) return FALSE;
    g_run.crcTable = (DWORD*)GlobalLock(g_run.crcTableMemory);
    if (!g_run.crcTable) {
        GlobalFree(g_run.crcTableMemory);
        g_run.crcTableMemory = NULL;
        return FALSE;
    }
    for (DWORD i = 0; i < 256; ++i) g_run.crcTable[i] = CrcEntry(i);
    return TRUE;
}

void FreeCrcTable(void) {
    if (!g_run.crcTableMemory) return;
    GlobalUnlock(g_run.crcTableMemory);
    GlobalFree(g_run.crcTableMemory);
    g_run.crcTableMemory = NULL;
    g_run.crcTable = NULL;
}

extern "C" DWORD WINAPI UpdateCRC(const BYTE* data, DWORD length) {
    if (!data) {
        g_run.crcRegister = 0xFFFFFFFFu;
        return 0;
    }
    const DWORD* table = g_run.crcTable;
    // An outside caller after the table is released still gets the right value.
    DWORD ownTable[256];
    if (!table) {
        for (DWORD i = 0; i < 256; ++i) ownTable[i] = CrcEntry(i);
        table = ownTable;
    }
    DWORD r = g_run.crcRegister;
    for (DWORD i = 0; i < length; ++i) r = (r >> 8) ^ table[(BYTE)(r ^ data[i])];
    g_run.crcRegister = r;
    return ~r;
}

int ProgressPosition(LONG done, LONG total) {
    return (int)(((int64_t)done * 10) / (total / 10));
}

int ExtractPayload(HFILE outFile, LONG storedSize) {
    BOOL splashAtStart = g_run.splashWindow != NULL;
    DWORD crc = UpdateCRC(NULL, 0);
    // A size below the trailer's cannot describe a payload: nothing is read.
    if (storedSize < (LONG)PAYLOAD_TRAILER_SIZE) {
        g_run.crcMismatch = TRUE;
        return 1;
    }
    LONG total = storedSize - (LONG)PAYLOAD_TRAILER_SIZE;
    LONG remaining = total;
    for (;;) {
        UINT chunk = remaining > (LONG)WORK_BUFFER_SIZE ? WORK_BUFFER_SIZE : (UINT)remaining;
        UINT n = _lread(g_run.containerFile, g_run.workBuffer, chunk);
        // 0 ends the data, complete or not; HFILE_ERROR (or any count above
        // what was asked) is a read error and ends them too.
        if (n == 0 || n > chunk) break;
        if (g_run.progressDialog && total >= PROGRESS_MIN_BYTES)
            SetProgressPosition(ProgressPosition(total - remaining, total));
        crc = UpdateCRC(g_run.workBuffer, n);
        if (_lwrite(outFile, (LPCSTR)g_run.workBuffer, n) != n) return 1;
        remaining -= (LONG)n;
        if (splashAtStart && !g_run.progressDialog && !g_run.splashHold) {
            CloseSplash();
            OpenProgressDialog();
        }
        PumpMessages();
        if (g_run.cancelRequested) return 0;
    }
    BYTE trailer[PAYLOAD_TRAILER_SIZE];
    if (_lread(g_run.containerFile, trailer, PAYLOAD_TRAILER_SIZE) == PAYLOAD_TRAILER_SIZE &&
        LoadDword(trailer) == crc)
        return 0;
    g_run.crcMismatch = TRUE;
    return 1;
}
