// Shared pieces of the tool's tests: a scratch directory per test, the
// fixture MSI, settings files, and running the built vesk binary.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "synthetic_stub.h"

namespace vesk::test {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the vesk binary with arguments (no shell involved).
ToolRun RunTool(const std::vector<std::string>& arguments);
// Starts it with stdout and stderr going to the given files; -1 on failure.
pid_t StartTool(const std::vector<std::string>& arguments, const std::string& outPath, const std::string& errPath);
// Starts it with stderr on an open descriptor and SIGPIPE at its default, as
// a shell would start it in a pipeline; -1 on failure.
pid_t StartTool(const std::vector<std::string>& arguments, const std::string& outPath, int errFd);

// The fixture MSI built by wixl once per test run; empty when wixl failed.
std::filesystem::path SampleMsi();
// The fixture MSI built by wixl in dir, under another ProductName (in code
// page 1252) when one is given; empty when wixl failed.
std::filesystem::path BuildMsi(const std::filesystem::path& dir, const std::string& productName);

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
    std::filesystem::path WriteText(const std::string& name, const std::string& text) const;
    // A file with the compound-file signature and size bytes in all.
    std::filesystem::path WriteFakeMsi(const std::string& name, size_t size) const;
    std::filesystem::path WriteStub(const StubShape& shape = {}) const;
    // Names in the scratch directory, sorted.
    std::vector<std::string> Listing() const;

    std::filesystem::path dir_;
};

}  // namespace vesk::test
