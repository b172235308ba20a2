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
} ExtractResult;
ExtractResult ExtractPayload(HFILE outFile, LONG storedSize);
