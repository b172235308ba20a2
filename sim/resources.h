// The program's resources, read from the resource file that the build
// compiles from resources/vesk.rc, so the simulated stub sees the same bytes
// that the Windows build embeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win32/api.h"

namespace sim {

std::string ResourceFilePath();
// The bytes of one resource of the program (any language), or nullptr.
const std::vector<uint8_t>* ResourceBytes(int type, int id);
// The language of that resource; 0 when there is none.
WORD ResourceLanguage(int type, int id);
// The machine loses a resource until the next reset (a build without it).
void RemoveResource(int type, int id);
// ... or carries other bytes in its place (language 1033).
void ReplaceResource(int type, int id, const std::vector<uint8_t>& bytes);
// Resources the program loaded (LoadResource) minus those it released.
int ResourcesHeld();

}  // namespace sim
