// A fresh machine with the settings that the splash window and the progress
// dialog read, and the steps that put them on screen.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/run_state.h"
#include "sim/sim.h"
#include "sim/windows.h"
#include "ui/ui.h"

class UiTest : public ::testing::Test {
protected:
    static constexpr const char* kProductName = "Vesk Demo";
    static constexpr const char* kInitLine = "Preparing to install...";

    void SetUp() override { StartOver(); }

    // A fresh machine: every test begins with it, and each case of a table.
    virtual void StartOver() {
        sim::Reset();
        g_run.instance = GetModuleHandleA(nullptr);
        SetTexts("MS Sans Serif", kProductName, kInitLine);
        g_settings.fontPointSize = 8;
    }

    // fontFace, productName and initLine, one after another in textBlock.
    static void SetTexts(const std::string& face, const std::string& name, const std::string& line) {
        std::string block = face + '\0' + name + '\0' + line + '\0';
        ASSERT_LE(block.size(), sizeof g_settings.textBlock);
        std::memset(g_settings.textBlock, 0, sizeof g_settings.textBlock);
        std::memcpy(g_settings.textBlock, block.data(), block.size());
    }

    // What start-up does before the progress dialog can be opened.
    static void RegisterProgressClass() { InitCommonControls(); }

    // The run's splash step: picture, class, window.
    static void ShowSplash() {
        LoadSplashBitmap();
        ASSERT_NE(0, RegisterSplashClass());
        CreateSplash();
    }

    // Pumps as the run's loops do until the virtual clock reaches ms.
    static void PumpUntil(uint64_t ms) {
        while (sim::Now() < ms) {
            PumpMessages();
            if (g_run.sessionEnding) sim::Advance(1);
        }
    }
};
