// The simulated machine of a whole run: where the setup, the installer
// engine and the common files folder are, and the engine's script. Free of
// any test framework, so the fuzz targets share it with the unit tests.
#pragma once

#include <functional>
#include <string>

#include "sim/registry.h"
#include "sim/shell.h"
#include "sim/sim.h"

namespace run_fixture {

constexpr const char* kSetup = "C:\\Setup\\setup.exe";
constexpr const char* kPlaced = "C:\\Program Files\\Common Files\\Vesk Installation Wizard\\product.MSI";
constexpr const char* kEngine = "C:\\WINDOWS\\SYSTEM32\\msiexec.exe";
constexpr const char* kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kCommonFiles = "C:\\Program Files\\Common Files";
constexpr const char* kWizardFolder = "C:\\Program Files\\Common Files\\Vesk Installation Wizard";
// The registry names that outlive a run, spelled out: a test that compared
// with the stub's own macros would follow a misspelling.
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRunOnceEntriesKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\RunOnceEntries";
constexpr const char* kResumeValue = "VeskStubReboot";
constexpr const char* kCorruptText = "Corrupt installation detected.";
constexpr const char* kCrcText = "Corrupt installation detected, check source media or re-download.";

inline void SetCommonFiles(const std::string& folder) {
    sim::registry::SetText(kCurrentVersion, "CommonFilesDir", folder);
}

// A fresh machine for a whole run: the setup at kSetup, started by its quoted
// path without arguments, and a common files folder.
inline void PrepareMachine() {
    sim::Reset();
    SetCommonFiles(kCommonFiles);
    sim::SetModulePath(kSetup);
    sim::SetCommandLine(std::string("\"") + kSetup + "\"");
}

// A child program that runs ms on the virtual clock and ends with exitCode.
inline sim::shell::Program Running(uint64_t ms, uint32_t exitCode = 0) {
    sim::shell::Program program;
    program.runMs = ms;
    program.exitCode = exitCode;
    return program;
}

inline void ScriptEngine(uint32_t exitCode, uint64_t runMs = 100, std::function<void()> onStart = {}) {
    sim::shell::Program engine = Running(runMs, exitCode);
    engine.onStart = std::move(onStart);
    sim::shell::Script(kEngine, engine);
}

}  // namespace run_fixture
