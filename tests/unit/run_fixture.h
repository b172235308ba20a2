// What the product steps and whole runs share: the machine (machine.h) and
// the run's boxes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "machine.h"
#include "sim/msgbox.h"

namespace run_fixture {

// The run showed exactly one box, with this text and caption.
inline void ExpectOnlyBox(const std::string& text, const std::string& caption = "Install") {
    ASSERT_EQ(1u, sim::MessageBoxes().size()) << "expected only the box \"" << text << "\"";
    EXPECT_EQ(text, sim::MessageBoxes()[0].text);
    EXPECT_EQ(caption, sim::MessageBoxes()[0].caption);
    EXPECT_EQ(nullptr, sim::MessageBoxes()[0].owner) << "a box of the run has no owner";
}

}  // namespace run_fixture
