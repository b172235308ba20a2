// The container the setup reads from its `.VESK` section: the header words,
// the four strings, the descriptor bytes, the text block and the text table,
// followed by the payloads (95/98 runtime, NT runtime, product), each ending
// in the CRC-32 of its data.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format/container_layout.h"

namespace vesk {

inline constexpr size_t kTextCount = MESSAGE_COUNT;

// What the tool writes; every string is stored with its NUL.
struct ContainerFields {
    ContainerHeader header{};
    std::string productFileName;
    std::string productCode;
    std::string productVersion;
    std::string transformBase;
    uint8_t fontCharSet = 0;
    uint8_t fontPointSize = 0;
    std::string fontFace;
    std::string productName;
    std::string initLine;
    std::array<std::string, kTextCount> texts;  // MessageId 4..9
};

// The text block's strings and the descriptor bytes a setting gives, in the
// order of their slots: a settings key's slot names one.
inline constexpr std::array kTextBlockParts = {&ContainerFields::fontFace, &ContainerFields::productName,
                                               &ContainerFields::initLine};
inline constexpr std::array kDescriptorSettings = {&ContainerFields::fontCharSet, &ContainerFields::fontPointSize};
static_assert(DESCRIPTOR_FONT_CHARSET == 0 && DESCRIPTOR_FONT_POINT_SIZE == 1 &&
              kDescriptorSettings.size() == DESCRIPTOR_TEXT_BLOCK_LENGTH);

// Everything before the first payload. Throws Failure(input, ...) when a
// string does not fit its length byte or its field.
std::vector<uint8_t> EncodeContainerHead(const ContainerFields& fields, const std::string& input);

// The container head as stored, byte for byte, for reading setups that
// another builder may have written.
struct StoredHead {
    ContainerHeader header{};
    std::array<std::string, CONTAINER_STRING_COUNT> strings;  // raw, with their NULs
    std::array<uint8_t, CONTAINER_DESCRIPTOR_SIZE> descriptor{};
    std::string textBlock;  // raw d2 bytes
    std::string skipped;    // raw d3 bytes
    std::array<std::string, kTextCount> texts;  // raw
    uint32_t textTableOffset = 0;  // from the container's start
    uint32_t size = 0;             // bytes before the first payload
};

// Decodes from the bytes at the container's start; Failure when they end
// before the head does.
StoredHead DecodeContainerHead(std::span<const uint8_t> bytes, const std::string& input);

// The longest head a container can have: every length byte at 255.
inline constexpr size_t kMaxHeadSize = CONTAINER_STRINGS_OFFSET + CONTAINER_STRING_COUNT * 255 +
                                       CONTAINER_DESCRIPTOR_SIZE + 2 * 255 + kTextCount * 255;

// The code page a setup's texts are read in: the one recorded, or 1252
// where none is (an older setup) or the recorded one is not a Windows ANSI
// code page.
unsigned TextCodePage(const ContainerHeader& header);

// A stored string up to its first NUL.
std::string StoredText(const std::string& raw);
// The three NUL-terminated strings of a text block (missing ones empty).
std::array<std::string, 3> SplitTextBlock(const std::string& raw);

}  // namespace vesk
