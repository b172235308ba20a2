// A whole run of the stub on the simulator for a fuzz input: the machine of
// the unit tests' whole runs, with an engine and a runtime installer that
// end with 0. A run must end by ExitProcess with 0, 1 or 2 (the engine's 0,
// a reported failure, no administrator rights). One that returns from the
// entry routine or waits forever throws out of the target, and one with
// another exit code traps: the fuzzer reports either as a crash.
#pragma once

#include "tests/unit/machine.h"

namespace fuzz_run {

using run_fixture::kSetup;

inline void PrepareMachine() {
    run_fixture::PrepareMachine();
    run_fixture::ScriptEngine(0);
    sim::shell::Script("C:\\Setup\\instmsiw.exe", run_fixture::Running(100));
}

inline void RunToTheEnd() {
    if (sim::RunEntry() > 2) __builtin_trap();
}

}  // namespace fuzz_run
