// What `vesk inspect` prints: everything a setup holds, as text or JSON, and
// who signed it when.
#pragma once

#include <filesystem>

#include "report.h"

namespace vesk {

Report InspectSetup(const std::filesystem::path& setup);

}  // namespace vesk
