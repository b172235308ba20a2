// Whole side-file runs of the bare stub on the simulator with the input as
// its setup.ini: the settings, the message texts, the product and runtime
// names and the command texts read from it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_run.h"
#include "sim/files.h"
#include "tests/unit/pe_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_run::PrepareMachine();
    sim::files::Put(fuzz_run::kSetup, pe_builder::BuildSideFileStub().bytes);
    sim::files::Put("C:\\Setup\\setup.ini", std::string(reinterpret_cast<const char*>(data), size));
    sim::files::Put("C:\\Setup\\product.msi", "a product database");
    sim::files::Put("C:\\Setup\\instmsiw.exe", "a runtime installer");
    fuzz_run::RunToTheEnd();
    return 0;
}
