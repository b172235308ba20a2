// What inspect says about a setup's resources: the splash picture and
// icon, and whether they are the ones Vesk's stub brings.
#pragma once

#include <optional>

#include "report.h"
#include "setup_file.h"

namespace vesk {

// None when the setup has no resource directory.
std::optional<Report> DescribeResources(const SetupFile& setup);

}  // namespace vesk
