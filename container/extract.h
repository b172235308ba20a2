// Copying a stored payload out of the container with its CRC-32 verified.
#pragma once

#include "base/run_state.h"

// FALSE when the table's memory could not be had. Its memory is released
// by the run's end.
BOOL BuildCrcTable(void);
extern "C" STUB_EXPORT DWORD WINAPI UpdateCRC(const BYTE* data, DWORD length);
// The progress bar position after done of total data bytes (total >= 10):
// about the percentage done, exactly done * 10 / (total / 10) with no
// overflow for sizes near 2 GiB.
int ProgressPosition(LONG done, LONG total);
typedef enum ExtractResult {
    EXTRACTED,             // written whole and verified
    EXTRACT_CANCELLED,     // stopped after a chunk: cancelRequested is set
    EXTRACT_WRITE_FAILED,  // a short write, such as a full disk
    EXTRACT_CRC_MISMATCH,  // the data read do not match the trailer
    EXTRACT_NOT_OURS,      // the file is not the payload the image records, or cannot be held
} ExtractResult;
ExtractResult ExtractPayload(HANDLE outFile, LONG storedSize);
// A new file at path (none may exist there) that only the setup writes and
// others may only read; written through. INVALID_HANDLE_VALUE on failure.
HANDLE CreateNewFile(LPCSTR path);
// Extracts the payload through writer (from CreateNewFile), closes it, and
// on EXTRACTED returns in *hold a read-only handle sharing reads only, which
// keeps the file unchanged, unrenamed and undeleted until it is closed; the
// file's bytes read back through it match the image's digest index. Else
// *hold is INVALID_HANDLE_VALUE and the caller deletes the file.
ExtractResult ExtractHeldFile(HANDLE writer, LPCSTR path, LONG storedSize, DigestIndex index, HANDLE* hold);
