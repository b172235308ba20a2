// CRC-32 (ISO-HDLC, as zlib) and copying a stored payload out of the
// container while the windows stay alive.
#include "container/extract.h"

#include "format/sha256.h"
#include "base/text.h"
#include "container/container.h"
#include "ui/ui.h"

#define CRC_POLYNOMIAL 0xEDB88320u
// Slice k's entry i is the remainder of byte i followed by k zero bytes, so
// sixteen bytes advance the register in one step of independent lookups.
#define CRC_SLICES 16
#define CRC_TABLE_BYTES (CRC_SLICES * 256u * sizeof(DWORD))
#define PROGRESS_MIN_BYTES 10

// The table and the register live from start-up to the run's end, which
// releases the table's memory (g_run.crcTableMemory) with the rest.
RUN_STATE DWORD* s_crcTable;  // 16 slices of 256 entries; the first is the byte table
RUN_STATE DWORD s_crcRegister;

static DWORD CrcEntry(DWORD value) {
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ CRC_POLYNOMIAL : value >> 1;
    return value;
}

BOOL BuildCrcTable(void) {
    s_crcRegister = 0xFFFFFFFFu;
    DWORD* table = (DWORD*)AllocateLocked(GMEM_MOVEABLE, CRC_TABLE_BYTES, &g_run.crcTableMemory);
    if (!table) return FALSE;
    for (DWORD i = 0; i < 256; ++i) table[i] = CrcEntry(i);
    for (DWORD i = 256; i < CRC_SLICES * 256; ++i) {
        DWORD previous = table[i - 256];
        table[i] = (previous >> 8) ^ table[previous & 0xFF];
    }
    s_crcTable = table;
    return TRUE;
}

// The four bytes of word looked up in slices last down to last - 3.
static inline DWORD CrcWord(const DWORD* table, DWORD word, DWORD last) {
    return table[last * 256 + (word & 0xFF)] ^ table[(last - 1) * 256 + ((word >> 8) & 0xFF)] ^
           table[(last - 2) * 256 + ((word >> 16) & 0xFF)] ^ table[(last - 3) * 256 + (word >> 24)];
}

extern "C" DWORD WINAPI UpdateCRC(const BYTE* data, DWORD length) {
    if (!data) {
        s_crcRegister = 0xFFFFFFFFu;
        return 0;
    }
    DWORD r = s_crcRegister;
    const DWORD* table = s_crcTable;
    if (table) {
        for (; length >= CRC_SLICES; length -= CRC_SLICES, data += CRC_SLICES) {
            // The last twelve bytes do not depend on the register: summed
            // first, their lookups run while the previous step's finish.
            DWORD rest = CrcWord(table, LoadDword(data + 4), 11) ^ CrcWord(table, LoadDword(data + 8), 7) ^
                         CrcWord(table, LoadDword(data + 12), 3);
            r = CrcWord(table, LoadDword(data) ^ r, 15) ^ rest;
        }
    }
    // An outside caller before the table is built still gets the right
    // value, a byte at a time.
    DWORD ownTable[256];
    if (!table) {
        for (DWORD i = 0; i < 256; ++i) ownTable[i] = CrcEntry(i);
        table = ownTable;
    }
    for (DWORD i = 0; i < length; ++i) r = (r >> 8) ^ table[(BYTE)(r ^ data[i])];
    s_crcRegister = r;
    return ~r;
}

// done * 10 / (total / 10) without a 64-bit product: the whole tenths and
// the remainder's share apart, so the stub needs no 64-bit division helper.
int ProgressPosition(LONG done, LONG total) {
    DWORD tenth = (DWORD)total / 10;
    DWORD whole = (DWORD)done / tenth, rest = (DWORD)done % tenth;
    return (int)(whole * 10 + rest * 10 / tenth);
}

ExtractResult ExtractPayload(HANDLE outFile, LONG storedSize) {
    BOOL splashAtStart = g_run.splashWindow != NULL;
    DWORD crc = UpdateCRC(NULL, 0);
    // A size below the trailer's cannot describe a payload: nothing is read.
    if (storedSize < (LONG)PAYLOAD_TRAILER_SIZE) return EXTRACT_CRC_MISMATCH;
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
        DWORD written = 0;
        if (!WriteFile(outFile, g_run.workBuffer, n, &written, NULL) || written != n) return EXTRACT_WRITE_FAILED;
        remaining -= (LONG)n;
        if (splashAtStart && !g_run.progressDialog && !g_run.splashHold) {
            CloseSplash();
            OpenProgressDialog();
        }
        PumpMessages();
        if (g_run.cancelRequested) return EXTRACT_CANCELLED;
    }
    BYTE trailer[PAYLOAD_TRAILER_SIZE];
    if (_lread(g_run.containerFile, trailer, PAYLOAD_TRAILER_SIZE) == PAYLOAD_TRAILER_SIZE &&
        LoadDword(trailer) == crc)
        return EXTRACTED;
    return EXTRACT_CRC_MISMATCH;
}

HANDLE CreateNewFile(LPCSTR path) {
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, NULL);
}

// TRUE when the file read through hold is exactly dataSize bytes whose
// digest the image records.
static BOOL ReadBackMatches(HANDLE hold, LONG dataSize, DigestIndex index) {
    Sha256 digest;
    Sha256Start(&digest);
    DWORD total = 0, got;
    while (ReadFile(hold, g_run.workBuffer, WORK_BUFFER_SIZE, &got, NULL) && got) {
        Sha256Add(&digest, g_run.workBuffer, got);
        total += got;
        PumpMessages();
    }
    return total == (DWORD)dataSize && MatchesRecordedDigest(&digest, index);
}

ExtractResult ExtractHeldFile(HANDLE writer, LPCSTR path, LONG storedSize, DigestIndex index, HANDLE* hold) {
    *hold = INVALID_HANDLE_VALUE;
    ExtractResult result = ExtractPayload(writer, storedSize);
    CloseHandle(writer);
    if (result != EXTRACTED) return result;
    // A child cannot open a program while the setup may write to it: the
    // hold only reads, and whoever opened the file for writing since the
    // writer closed keeps it from being taken. The bytes checked are the
    // bytes the child will read.
    HANDLE reader = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (reader == INVALID_HANDLE_VALUE) return EXTRACT_NOT_OURS;
    if (!ReadBackMatches(reader, storedSize - (LONG)PAYLOAD_TRAILER_SIZE, index)) {
        CloseHandle(reader);
        return EXTRACT_NOT_OURS;
    }
    *hold = reader;
    return EXTRACTED;
}
