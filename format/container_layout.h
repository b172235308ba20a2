// The byte layout of the payload container that `vesk pack` writes into the
// stub's `.VESK` section and the stub reads back. Included by the stub and by
// the host tool: this header is the one description of the format.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "format/pe_layout.h"

// Payload section lookup.
#define VESK_SECTION_NAME ".VESK"
#define VESK_PLACEHOLDER_SIZE 4096u   // SizeOfRawData at or below this: side-file mode
#define VESK_HEADER_PROBE_SIZE 1536u  // the image headers (format/pe_layout.h) must fit in this many bytes

// The little-endian words that begin the container, in order: the one list
// of them. The setup's reader, vesk's encoder, decoder and inspect, and the
// tests' builder each expand it, so a new word is one line here and every
// reader that misses it fails to compile. SETUP(name, hex) is a word the
// setup reads into g_settings.name, VESK(name, hex) one only vesk reads; hex
// is 1 where inspect shows the word in hexadecimal.
#define CONTAINER_HEADER_FIELDS(SETUP, VESK)                                                      \
    VESK(textCodePage, 0)       /* the Windows code page vesk stored the texts in, 0 = not recorded */ \
    SETUP(runtimeNTSize, 0)     /* stored size of the NT-family runtime installer, 0 = none */    \
    SETUP(expectedFileSize, 0)  /* size of the whole setup executable, 0 = not tested */          \
    SETUP(requiredRuntimeMS, 1) /* (major << 16) | minor */                                       \
    SETUP(requiredRuntimeLS, 1) /* (build << 16) | revision */                                    \
    SETUP(runtime9XSize, 0)     /* stored size of the 95/98-family runtime installer, 0 = none */ \
    SETUP(productSize, 0)       /* stored size of the product payload */

#define CONTAINER_HEADER_MEMBER(name, hex) uint32_t name;
typedef struct ContainerHeader {
    CONTAINER_HEADER_FIELDS(CONTAINER_HEADER_MEMBER, CONTAINER_HEADER_MEMBER)
} ContainerHeader;
#undef CONTAINER_HEADER_MEMBER

// Fields are read and written by their offsetof, never by bare numbers.
#define CONTAINER_HEADER_WORD_COUNT_OF(name, hex) +1u
#define CONTAINER_HEADER_SIZE (4u * (0u CONTAINER_HEADER_FIELDS(CONTAINER_HEADER_WORD_COUNT_OF, CONTAINER_HEADER_WORD_COUNT_OF)))
static_assert(sizeof(ContainerHeader) == CONTAINER_HEADER_SIZE, "32-bit words, no padding");
#define CONTAINER_STRING_LENGTHS_OFFSET CONTAINER_HEADER_SIZE  // s0..s3, one byte each
#define CONTAINER_STRING_COUNT 4u            // product file name, code, version, transform base
#define CONTAINER_STRINGS_OFFSET (CONTAINER_STRING_LENGTHS_OFFSET + CONTAINER_STRING_COUNT)
// After the strings: d0..d3, then one text length per MessageId.
#define CONTAINER_DESCRIPTOR_SIZE (DESCRIPTOR_FIRST_TEXT_LENGTH + MESSAGE_COUNT)

// Descriptor bytes.
#define DESCRIPTOR_FONT_CHARSET 0u
#define DESCRIPTOR_FONT_POINT_SIZE 1u
#define DESCRIPTOR_TEXT_BLOCK_LENGTH 2u
#define DESCRIPTOR_SKIPPED_LENGTH 3u
#define DESCRIPTOR_FIRST_TEXT_LENGTH 4u      // d4..: texts 4.. in order

// Configurable texts, numbered as stored in the text table. A new one is
// the next number and MESSAGE_ID_LAST: the descriptor, the setup's text
// table and vesk's encoder, decoder and inspect follow.
typedef enum MessageId {
    MSG_CMDLINE = 4,
    MSG_ADMIN_ERROR = 5,
    MSG_EXIST_ERROR = 6,
    MSG_SPACE_ERROR = 7,
    MSG_CRC_ERROR = 8,
    MSG_REBOOT = 9
} MessageId;

#define MESSAGE_ID_FIRST 4
#define MESSAGE_ID_LAST 9
#define MESSAGE_COUNT (MESSAGE_ID_LAST - MESSAGE_ID_FIRST + 1)
static_assert(MSG_REBOOT == MESSAGE_ID_LAST, "the last MessageId");

// Field limits. Every stored length is one byte and counts the NUL.
#define STORED_STRING_MAX 255u
#define PRODUCT_FILE_NAME_FIELD 256u
#define PRODUCT_CODE_FIELD 64u
#define PRODUCT_VERSION_FIELD 64u
#define TRANSFORM_BASE_FIELD 256u
#define TEXT_BLOCK_FIELD 256u
#define TEXT_FIELD 256u
// The most characters a string can have when the setup reads it into a
// field of this many bytes: its NUL must fit, and its one-byte length.
#define STORED_TEXT_MAX(field) (((field) < STORED_STRING_MAX ? (field) : STORED_STRING_MAX) - 1u)

// Every payload ends with the little-endian CRC-32 of its data bytes.
#define PAYLOAD_TRAILER_SIZE 4u
// The digest record, a resource of the setup's own image (RT_RCDATA): the
// SHA-256 of the container's head (from its start through the last text,
// its expectedFileSize word taken as 0) and of each payload's data bytes, in container order (a payload not
// stored has the digest of no bytes). The image cannot change once Windows
// has mapped it; the file at its path can, so the setup checks every byte
// it reads from there against this record.
#define DIGEST_RESOURCE_ID 112u
#define DIGEST_SIZE 32u
typedef enum DigestIndex {
    DIGEST_HEAD,
    DIGEST_RUNTIME_9X,
    DIGEST_RUNTIME_NT,
    DIGEST_PRODUCT,
    DIGEST_COUNT,
} DigestIndex;
#define DIGEST_RECORD_SIZE (DIGEST_COUNT * DIGEST_SIZE)

// Sizes and offsets are signed 32-bit file offsets.
#define CONTAINER_MAX_FILE_SIZE 0x7FFFFFFFu

// The default command of a runtime installer and the texts shown when a
// configured text is empty live with the INI keys (format/ini_keys.h).
