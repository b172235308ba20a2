// Where a PE image keeps its resources, and how a stub gets a resource
// section laid out anew: the section keeps its place and RVA and takes the
// size it needs; whatever follows it in the file moves, and a relocation
// section that follows it in memory moves to stay adjacent. The headers
// (section table, resource and relocation directories, SizeOfImage,
// SizeOfInitializedData, CheckSum) are made to agree.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pe_image.h"
#include "resource_tree.h"

namespace vesk {

// Index of the section at whose start the resource directory begins; -1
// when the image has no resource directory. Failure(input, ...) when the
// directory starts anywhere else.
int FindResourceSection(const PeImage& image, const std::string& input);

// rawData: the raw data of section `index` as far as the file holds them.
ResourceTree ReadResources(std::span<const uint8_t> rawData, const PeImage& image, int index,
                           const std::string& input);

// The stub with tree as its resource section. Throws Failure(input, ...)
// when the stub has no resource section after `.VESK`, or when something
// that cannot move stands in the way of its growth.
std::vector<uint8_t> ReplaceResourceSection(const std::vector<uint8_t>& stub, const PeImage& image,
                                            const ResourceTree& tree, const std::string& input);

}  // namespace vesk
