// What the product steps and whole runs share: the machine (machine.h) and
// the run's boxes.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "machine.h"
#include "sim/msgbox.h"

namespace run_fixture {

// The platform's first temporary name, made the runtime installer's folder:
// an administrator's run (the NT family's only one) makes it in the system's
// temporary folder.
constexpr const char* kRuntimeFolder = "C:\\WINDOWS\\SYSTEM32\\..\\Temp\\ZRP1.tmp";
constexpr const char* kRuntimeFile = "C:\\WINDOWS\\SYSTEM32\\..\\Temp\\ZRP1.tmp\\runtime.exe";

// The run showed exactly one box, with this text and caption.
// The box, for more checks, or none (the failure recorded) when the run
// showed another number of boxes: no caller ever reads a box that is not there.
inline std::optional<sim::MessageBoxShown> ExpectOnlyBox(const std::string& text,
                                                         const std::string& caption = "Install") {
    const auto& boxes = sim::MessageBoxes();
    EXPECT_EQ(1u, boxes.size()) << "expected only the box \"" << text << "\"";
    if (boxes.size() != 1) return std::nullopt;
    EXPECT_EQ(text, boxes[0].text);
    EXPECT_EQ(caption, boxes[0].caption);
    EXPECT_EQ(nullptr, boxes[0].owner) << "a box of the run has no owner";
    return boxes[0];
}

}  // namespace run_fixture
