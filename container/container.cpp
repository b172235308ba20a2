// Finding the payload section in the stub's own file and reading the
// container's header and configurable texts.
#include "container/container.h"

#include "format/sha256.h"
#include "base/text.h"

BOOL FindPayloadSection(void) {
    BYTE* image = g_run.workBuffer;
    // A short or failed read leaves zeros, never bytes of an earlier use.
    FillBytes(image, 0, VESK_HEADER_PROBE_SIZE);
    _lread(g_run.containerFile, image, VESK_HEADER_PROBE_SIZE);
    if (image[0] != 'M' || image[1] != 'Z') return FALSE;

    DWORD h = LoadDword(image + PE_DOS_LFANEW_OFFSET);
    if (h > VESK_HEADER_PROBE_SIZE - PE_DATA_DIRECTORIES_OFFSET) return FALSE;
    // The 32-bit stub is PE32, its x86-64 twin PE32+; any other optional
    // header puts the section table where this lookup cannot know.
    WORD magic = LoadWord(image + h + PE_OPTIONAL_HEADER_MAGIC_OFFSET);
    UINT shift;
    if (magic == PE32_MAGIC) shift = 0;
    else if (magic == PE32PLUS_MAGIC) shift = PE32PLUS_SHIFT;
    else return FALSE;
    if (h > VESK_HEADER_PROBE_SIZE - PE_DATA_DIRECTORIES_OFFSET - shift) return FALSE;
    WORD sectionCount = LoadWord(image + h + PE_NUMBER_OF_SECTIONS_OFFSET);
    DWORD directoryCount = LoadDword(image + h + PE_NUMBER_OF_RVA_AND_SIZES_OFFSET + shift);
    // The whole section table must lie inside the probe. A directory count
    // that alone overruns it is refused first, so that no sum below can wrap.
    if (sectionCount == 0 || directoryCount > VESK_HEADER_PROBE_SIZE / PE_DATA_DIRECTORY_SIZE) return FALSE;
    DWORD table = h + PE_DATA_DIRECTORIES_OFFSET + shift + directoryCount * PE_DATA_DIRECTORY_SIZE;
    if (table + (DWORD)sectionCount * PE_SECTION_HEADER_SIZE > VESK_HEADER_PROBE_SIZE) return FALSE;

    for (WORD i = 0; i < sectionCount; ++i) {
        const BYTE* header = image + table + (UINT)i * PE_SECTION_HEADER_SIZE;
        char name[9];  // an eight-character name fills the field without a NUL
        CopyBytes(name, header, 8);
        name[8] = 0;
        if (lstrcmpA(name, VESK_SECTION_NAME) != 0) continue;
        DWORD rawPointer = LoadDword(header + PE_SECTION_POINTER_TO_RAW_DATA);
        if (rawPointer > CONTAINER_MAX_FILE_SIZE ||
            _llseek(g_run.containerFile, (LONG)rawPointer, FILE_BEGIN) != (LONG)rawPointer)
            return FALSE;
        // The mode is the image's, not the file's: only a packed image carries
        // the digest record, and a bare stub put in a packed setup's place
        // then reads as a container whose head is not the recorded one.
        g_run.embedded = FindResourceA(g_run.instance, MAKEINTRESOURCEA(DIGEST_RESOURCE_ID), RT_RCDATA) != NULL;
        return TRUE;
    }
    return FALSE;
}

// Copies text into the block at offset at, leaving one byte for the
// terminator of each later string. Returns the offset after its NUL.
static UINT PlaceBlockString(UINT at, LPCSTR text, UINT laterStrings) {
    UINT room = TEXT_BLOCK_FIELD - at - laterStrings;
    CopyText(g_settings.textBlock + at, room, text);
    return at + BoundedLength(g_settings.textBlock + at, room) + 1;
}

void PackTextBlock(LPCSTR fontFace, LPCSTR productName, LPCSTR initLine) {
    UINT at = PlaceBlockString(0, fontFace, 2);
    at = PlaceBlockString(at, productName, 1);
    PlaceBlockString(at, initLine, 0);
}

// Where the configurable texts begin in the file, and their stored lengths
// (indexed by MessageId), for ReadStoredText.
RUN_STATE LONG s_textTableOffset;
RUN_STATE BYTE s_textLengths[MESSAGE_ID_LAST + 1];
// Every byte of the head as it is read, for its digest.
RUN_STATE Sha256 s_headDigest;

BOOL MatchesRecordedDigest(Sha256* digest, DigestIndex index) {
    HRSRC found = FindResourceA(g_run.instance, MAKEINTRESOURCEA(DIGEST_RESOURCE_ID), RT_RCDATA);
    HGLOBAL loaded = found && SizeofResource(g_run.instance, found) == DIGEST_RECORD_SIZE
                         ? LoadResource(g_run.instance, found)
                         : NULL;
    const BYTE* record = loaded ? (const BYTE*)LockResource(loaded) : NULL;
    BYTE computed[SHA256_DIGEST_SIZE];
    Sha256Finish(digest, computed);
    return record && EqualBytes(computed, record + index * DIGEST_SIZE, DIGEST_SIZE);
}

// Reads count bytes of the container; FALSE when fewer came. A read that
// falls short would leave the cursor inside a field and every later field,
// text and payload read from the wrong place.
static BOOL ReadWhole(void* out, UINT count) {
    if (count && _lread(g_run.containerFile, out, count) != count) return FALSE;
    Sha256Add(&s_headDigest, (const BYTE*)out, count);
    return TRUE;
}

// Reads count stored bytes (at most 255) into scratch, which ends up
// terminated whatever the file held.
static BOOL ReadStoredBytes(BYTE* scratch, UINT count) {
    FillBytes(scratch, 0, STORED_STRING_MAX + 1);
    return ReadWhole(scratch, count);
}

// A stored string into its field: cut to the field and terminated, while
// the file position moves by the whole stored length.
static BOOL ReadStoredString(char* field, UINT cap, BYTE length) {
    BYTE scratch[STORED_STRING_MAX + 1];
    BOOL read = ReadStoredBytes(scratch, length);
    CopyText(field, cap, (LPCSTR)scratch);
    return read;
}

// The text block's three strings, re-placed so that each is terminated
// inside the block; strings the block lacks are empty.
static BOOL ReadTextBlock(BYTE length) {
    BYTE scratch[STORED_STRING_MAX + 1];
    BOOL read = ReadStoredBytes(scratch, length);
    LPCSTR fontFace = (LPCSTR)scratch;
    LPCSTR productName = NextBlockString(fontFace, fontFace);
    LPCSTR initLine = NextBlockString(fontFace, productName);
    PackTextBlock(fontFace, productName, initLine);
    return read;
}

BOOL ReadContainerHeader(void) {
    BYTE header[CONTAINER_HEADER_SIZE];
    if (_lread(g_run.containerFile, header, CONTAINER_HEADER_SIZE) != CONTAINER_HEADER_SIZE) return FALSE;
#define READ_WORD(field, hex) g_settings.field = LoadDword(header + offsetof(ContainerHeader, field));
#define SKIP_WORD(field, hex)
    CONTAINER_HEADER_FIELDS(READ_WORD, SKIP_WORD)
#undef READ_WORD
#undef SKIP_WORD
    // Signing records the signed file's size after the digests were taken:
    // that word counts as 0 in the head's digest.
    FillBytes(header + offsetof(ContainerHeader, expectedFileSize), 0, sizeof(DWORD));
    Sha256Start(&s_headDigest);
    Sha256Add(&s_headDigest, header, CONTAINER_HEADER_SIZE);

    BYTE lengths[CONTAINER_STRING_COUNT];
    if (!ReadWhole(lengths, CONTAINER_STRING_COUNT) ||
        !ReadStoredString(g_settings.productFileName, PRODUCT_FILE_NAME_FIELD, lengths[0]) ||
        !ReadStoredString(g_settings.productCode, PRODUCT_CODE_FIELD, lengths[1]) ||
        !ReadStoredString(g_settings.productVersion, PRODUCT_VERSION_FIELD, lengths[2]) ||
        !ReadStoredString(g_settings.transformBase, TRANSFORM_BASE_FIELD, lengths[3]))
        return FALSE;

    BYTE descriptor[CONTAINER_DESCRIPTOR_SIZE];
    if (!ReadWhole(descriptor, CONTAINER_DESCRIPTOR_SIZE)) return FALSE;
    g_settings.fontCharSet = descriptor[DESCRIPTOR_FONT_CHARSET];
    g_settings.fontPointSize = descriptor[DESCRIPTOR_FONT_POINT_SIZE];
    for (int id = MESSAGE_ID_FIRST; id <= MESSAGE_ID_LAST; ++id)
        s_textLengths[id] = descriptor[DESCRIPTOR_FIRST_TEXT_LENGTH + id - MESSAGE_ID_FIRST];
    BYTE scratch[STORED_STRING_MAX + 1];
    if (!ReadTextBlock(descriptor[DESCRIPTOR_TEXT_BLOCK_LENGTH]) ||
        !ReadStoredBytes(scratch, descriptor[DESCRIPTOR_SKIPPED_LENGTH]))
        return FALSE;
    s_textTableOffset = _llseek(g_run.containerFile, 0, FILE_CURRENT);
    if (s_textTableOffset == HFILE_ERROR) return FALSE;
    for (int id = MESSAGE_ID_FIRST; id <= MESSAGE_ID_LAST; ++id)
        if (!ReadStoredBytes(scratch, s_textLengths[id])) return FALSE;
    g_settings.removePrevious = TRUE;
    // The file at the own path may not be the image that was started.
    return MatchesRecordedDigest(&s_headDigest, DIGEST_HEAD);
}

void ReadStoredText(char* out, MessageId id) {
    out[0] = 0;
    if (id < MESSAGE_ID_FIRST || id > MESSAGE_ID_LAST) return;
    LONG skip = 0;
    for (int i = MESSAGE_ID_FIRST; i < (int)id; ++i) skip += s_textLengths[i];
    UINT length = s_textLengths[id];
    HFILE file = g_run.containerFile;
    LONG saved = _llseek(file, 0, FILE_CURRENT);
    if (length && _llseek(file, s_textTableOffset + skip, FILE_BEGIN) != HFILE_ERROR) {
        UINT got = _lread(file, out, length);
        // A failed or short read keeps no stale bytes; a text stored
        // without its NUL is terminated (length is at most 255).
        out[got <= length ? got : 0] = 0;
    }
    _llseek(file, saved, FILE_BEGIN);
}

BOOL CheckFileSize(void) {
    HFILE file = g_run.containerFile;
    LONG saved = _llseek(file, 0, FILE_CURRENT);
    LONG size = _llseek(file, 0, FILE_END);
    _llseek(file, saved, FILE_BEGIN);
    return (DWORD)size == g_settings.expectedFileSize;
}

void SkipPayloads(LONG storedSize) { _llseek(g_run.containerFile, storedSize, FILE_CURRENT); }
