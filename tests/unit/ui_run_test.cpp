// Whole runs as the windows see them: the splash window through a run, a
// run without the picture, and a run whose window class is refused.
#include <gtest/gtest.h>

#include <string>

#include "pe_builder.h"
#include "sim/files.h"
#include "sim/msgbox.h"
#include "sim/registry.h"
#include "sim/resources.h"
#include "sim/shell.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui/ui.h"

namespace {

const char* const kEngine = "C:\\WINDOWS\\SYSTEM32\\msiexec.exe";

class UiRun : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::registry::SetText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
                               "C:\\Program Files\\Common Files");
        pe_builder::Container container;
        std::string product = pe_builder::Payload("the product's installer database");
        container.productSize = uint32_t(product.size());
        container.payloads = product;
        sim::files::Put("C:\\Setup\\setup.exe", pe_builder::BuildSetup(container.Bytes()).bytes);
        sim::SetModulePath("C:\\Setup\\setup.exe");
        sim::SetCommandLine("\"C:\\Setup\\setup.exe\"");
        sim::shell::Program engine;
        engine.runMs = 1000;
        sim::shell::Script(kEngine, engine);
    }
};

TEST_F(UiRun, SplashIsShownForItsHoldAndGoneBeforeTheEngine) {
    EXPECT_EQ(0u, sim::RunEntry());
    auto splash = sim::FindWindowOfClass(SPLASH_CLASS_NAME);
    ASSERT_TRUE(splash.has_value()) << "no splash window during the run";
    EXPECT_FALSE(splash->alive);
    int engine = sim::FindTrace("ShellExecuteExA");
    int destroyed = sim::FindTrace("DestroyWindow " SPLASH_CLASS_NAME);
    ASSERT_NE(-1, engine);
    EXPECT_LT(destroyed, engine);
    EXPECT_EQ(1, sim::CountDelivered(SPLASH_CLASS_NAME, WM_TIMER)) << "the hold was waited for";
}

TEST_F(UiRun, WithoutThePictureTheRunInstallsWithNoWindows) {
    sim::RemoveResource(2, 111);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_EQ(1u, sim::shell::Starts().size()) << "the engine still runs";
    EXPECT_EQ(0, sim::CountWindowsOfClass(SPLASH_CLASS_NAME));
    EXPECT_EQ(0, sim::CountWindowsOfClass("#32770")) << "no progress dialog either";
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(UiRun, RefusedWindowClassEndsTheRunSilently) {
    sim::RefuseClassRegistration(SPLASH_CLASS_NAME);
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_TRUE(sim::shell::Starts().empty());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(0, sim::CountWindowsOfClass(SPLASH_CLASS_NAME));
}

TEST_F(UiRun, SessionEndingDuringTheHoldEndsTheRunWithoutTheEngine) {
    sim::EndSession(sim::At(1500));
    EXPECT_EQ(0u, sim::RunEntry());
    EXPECT_TRUE(sim::shell::Starts().empty());
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

}  // namespace
