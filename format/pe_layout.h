// The PE headers that the setup's payload lookup and vesk read and write:
// the DOS header's e_lfanew, the file header, the optional header (PE32's
// fields; PE32+ has a 64-bit ImageBase and 64-bit stack and heap sizes, so
// its fields from SizeOfStackReserve on lie PE32PLUS_SHIFT bytes later), the
// data directories and the section table. Every field is little-endian and
// read and written by its offsetof, never by a bare number.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define PE_DOS_HEADER_SIZE 64u    // "MZ" ...
#define PE_DOS_LFANEW_OFFSET 60u  // the 32-bit offset of "PE\0\0" (H)
#define PE_SIGNATURE_SIZE 4u      // "PE\0\0", then the file header

typedef struct PeFileHeader {
    uint16_t machine;
    uint16_t numberOfSections;
    uint32_t timeDateStamp;
    uint32_t pointerToSymbolTable;
    uint32_t numberOfSymbols;
    uint16_t sizeOfOptionalHeader;
    uint16_t characteristics;
} PeFileHeader;
static_assert(sizeof(PeFileHeader) == 20, "the COFF file header");

typedef struct PeDataDirectory {
    uint32_t virtualAddress;  // a file offset for the certificate table
    uint32_t size;
} PeDataDirectory;

typedef struct PeOptionalHeader32 {
    uint16_t magic;
    uint8_t majorLinkerVersion;
    uint8_t minorLinkerVersion;
    uint32_t sizeOfCode;
    uint32_t sizeOfInitializedData;
    uint32_t sizeOfUninitializedData;
    uint32_t addressOfEntryPoint;
    uint32_t baseOfCode;
    uint32_t baseOfData;  // PE32+ has none: its ImageBase takes these four bytes too
    uint32_t imageBase;
    uint32_t sectionAlignment;
    uint32_t fileAlignment;
    uint16_t majorOperatingSystemVersion;
    uint16_t minorOperatingSystemVersion;
    uint16_t majorImageVersion;
    uint16_t minorImageVersion;
    uint16_t majorSubsystemVersion;
    uint16_t minorSubsystemVersion;
    uint32_t win32VersionValue;
    uint32_t sizeOfImage;
    uint32_t sizeOfHeaders;
    uint32_t checkSum;
    uint16_t subsystem;
    uint16_t dllCharacteristics;
    uint32_t sizeOfStackReserve;  // from here on PE32+ is PE32PLUS_SHIFT bytes later
    uint32_t sizeOfStackCommit;
    uint32_t sizeOfHeapReserve;
    uint32_t sizeOfHeapCommit;
    uint32_t loaderFlags;
    uint32_t numberOfRvaAndSizes;
    PeDataDirectory dataDirectory[1];  // numberOfRvaAndSizes of them
} PeOptionalHeader32;

typedef struct PeSectionHeader {
    char name[8];  // NUL-padded; an 8-byte name has no NUL
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t sizeOfRawData;
    uint32_t pointerToRawData;
    uint32_t pointerToRelocations;
    uint32_t pointerToLinenumbers;
    uint16_t numberOfRelocations;
    uint16_t numberOfLinenumbers;
    uint32_t characteristics;
} PeSectionHeader;
static_assert(sizeof(PeSectionHeader) == 40, "a section header");

// The head of each block of base relocations, its 16-bit entries after it.
typedef struct PeRelocationBlock {
    uint32_t pageRva;
    uint32_t blockSize;  // with this head
} PeRelocationBlock;

// The export directory (data directory 0).
typedef struct PeExportDirectory {
    uint32_t characteristics;
    uint32_t timeDateStamp;
    uint16_t majorVersion;
    uint16_t minorVersion;
    uint32_t name;
    uint32_t base;
    uint32_t numberOfFunctions;
    uint32_t numberOfNames;
    uint32_t addressOfFunctions;
    uint32_t addressOfNames;
    uint32_t addressOfNameOrdinals;
} PeExportDirectory;

// The resource directory (data directory 2): tables of entries, each entry
// naming a table below it (high bit set) or a data entry.
typedef struct PeResourceTable {
    uint32_t characteristics;
    uint32_t timeDateStamp;
    uint16_t majorVersion;
    uint16_t minorVersion;
    uint16_t numberOfNamedEntries;
    uint16_t numberOfIdEntries;
} PeResourceTable;
typedef struct PeResourceEntry {
    uint32_t nameOrId;  // high bit: the offset of a counted UTF-16 name
    uint32_t offset;    // high bit: a table, else a data entry
} PeResourceEntry;
typedef struct PeResourceDataEntry {
    uint32_t dataRva;
    uint32_t size;
    uint32_t codePage;
    uint32_t reserved;
} PeResourceDataEntry;
static_assert(sizeof(PeExportDirectory) == 40 && sizeof(PeResourceTable) == 16 && sizeof(PeResourceEntry) == 8 &&
                  sizeof(PeResourceDataEntry) == 16,
              "the export and resource directories");

#define PE32_MAGIC 0x10Bu
#define PE32PLUS_MAGIC 0x20Bu
#define PE32PLUS_SHIFT 16u  // PE32+ has a 64-bit ImageBase and stack and heap sizes

// Offsets from H of the file header's and the optional header's fields.
#define PE_FILE_FIELD(field) ((unsigned)(PE_SIGNATURE_SIZE + offsetof(PeFileHeader, field)))
#define PE_OPTIONAL_HEADER_OFFSET ((unsigned)(PE_SIGNATURE_SIZE + sizeof(PeFileHeader)))
#define PE_OPTIONAL_FIELD(field) ((unsigned)(PE_OPTIONAL_HEADER_OFFSET + offsetof(PeOptionalHeader32, field)))
#define PE_SECTION_FIELD(field) ((unsigned)offsetof(PeSectionHeader, field))

// What the setup's payload lookup reads. NumberOfRvaAndSizes and the data
// directories are PE32's; in PE32+ both lie PE32PLUS_SHIFT bytes later.
#define PE_NUMBER_OF_SECTIONS_OFFSET PE_FILE_FIELD(numberOfSections)
#define PE_OPTIONAL_HEADER_MAGIC_OFFSET PE_OPTIONAL_FIELD(magic)
#define PE_NUMBER_OF_RVA_AND_SIZES_OFFSET PE_OPTIONAL_FIELD(numberOfRvaAndSizes)
#define PE_DATA_DIRECTORIES_OFFSET PE_OPTIONAL_FIELD(dataDirectory)
#define PE_DATA_DIRECTORY_SIZE ((unsigned)sizeof(PeDataDirectory))
#define PE_SECTION_HEADER_SIZE ((unsigned)sizeof(PeSectionHeader))
#define PE_SECTION_SIZE_OF_RAW_DATA PE_SECTION_FIELD(sizeOfRawData)
#define PE_SECTION_POINTER_TO_RAW_DATA PE_SECTION_FIELD(pointerToRawData)
static_assert(PE_NUMBER_OF_SECTIONS_OFFSET == 6 && PE_OPTIONAL_HEADER_MAGIC_OFFSET == 24 &&
                  PE_NUMBER_OF_RVA_AND_SIZES_OFFSET == 116 && PE_DATA_DIRECTORIES_OFFSET == 120 &&
                  PE_SECTION_SIZE_OF_RAW_DATA == 16 && PE_SECTION_POINTER_TO_RAW_DATA == 20,
              "the offsets of the PE format");
