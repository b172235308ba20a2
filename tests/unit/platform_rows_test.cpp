// The platform rows against the simulator. The same rows run under Wine in
// the end-to-end suite (tests/platform/platform_probe.cpp).
#include <gtest/gtest.h>

#include "sim/files.h"
#include "sim/os.h"
#include "sim/sim.h"
#include "tests/platform/platform_rows.h"

TEST(PlatformRows, TheSimulatorAnswersAsTheTableSays) {
    for (const platform_rows::Row& row : platform_rows::Rows()) {
        SCOPED_TRACE(row.name);
        sim::Reset();
        sim::os::SetEnvironment(platform_rows::kVariable, platform_rows::kVariableValue);
        sim::files::MakeDirectory("C:\\Rows");
        EXPECT_EQ(row.expected, row.run("C:\\Rows"));
    }
}
