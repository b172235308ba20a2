// Copying a stored payload out of the container with its CRC-32 verified.
#pragma once

#include "driver/run_state.h"

// FALSE when the table's memory could not be had.
BOOL BuildCrcTable(void);
void FreeCrcTable(void);
extern "C" STUB_EXPORT DWORD WINAPI UpdateCRC(const BYTE* data, DWORD length);
// The progress bar position after done of total data bytes (total >= 10):
// about the percentage done, exactly done * 10 / (total / 10) with no
// overflow for sizes near 2 GiB.
int ProgressPosition(LONG done, LONG total);
// 0: written and verified, or cancelled (cancelRequested set). 1: failed,
// crcMismatch set when the trailer did not match, clear on a short write.
int ExtractPayload(HFILE outFile, LONG storedSize);
