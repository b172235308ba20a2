// Reading the payload container in the stub's own executable.
#pragma once

#include "base/run_state.h"
#include "format/sha256.h"

// TRUE when the payload section was found (containerFile at its raw data,
// embedded set for a section larger than the placeholder).
BOOL FindPayloadSection(void);
// Embedded mode: fills g_settings and notes where the texts are, leaves
// containerFile at the first payload. FALSE when the file ends or fails
// before the header and texts have been read whole, or when what was read
// is not the head this image records.
BOOL ReadContainerHeader(void);
// Fills out (TEXT_FIELD bytes) with stored text id, or leaves it empty.
// The file position is unchanged.
void ReadStoredText(char* out, MessageId id);
// TRUE when the file's size equals expectedFileSize. Position unchanged.
BOOL CheckFileSize(void);
// Finishes digest and compares it with the image's digest record (its
// resource DIGEST_RESOURCE_ID); FALSE without a whole record.
BOOL MatchesRecordedDigest(Sha256* digest, DigestIndex index);
// Moves the container cursor forward over stored payloads.
void SkipPayloads(LONG storedSize);
// Places the three strings into textBlock, each terminated inside its 256
// bytes; later strings are cut first when they do not all fit.
void PackTextBlock(LPCSTR fontFace, LPCSTR productName, LPCSTR initLine);
