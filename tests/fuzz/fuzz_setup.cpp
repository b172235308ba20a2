// Whole runs of the stub on the simulator with a setup file made of the
// input: the payload section lookup, the container header, its strings,
// text block and texts, the size check and the extraction of every payload
// with its CRC. The first byte chooses how the rest becomes the setup:
// bit 0 clear, the rest is the whole file; set, the rest is the payload
// section's contents in a sound image, whose size is recorded when bit 1 is
// set. The image carries a digest record (of zeros: no input matches it, so
// the run reads the whole head and ends there) unless bit 2 is set, which
// makes it a bare stub's image, in side-file mode. Any exit code is fine; a
// crash, a sanitizer report or a hang is not.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/container_layout.h"
#include "fuzz_run.h"
#include "sim/resources.h"
#include "sim/files.h"
#include "tests/unit/pe_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fuzz_run::PrepareMachine();
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) rest = pe_builder::BuildSetup(rest, (data[0] & 2) != 0).bytes;
    if (!(data[0] & 4)) sim::ReplaceResource(10, DIGEST_RESOURCE_ID, std::vector<uint8_t>(DIGEST_RECORD_SIZE));
    sim::files::Put(fuzz_run::kSetup, rest);
    fuzz_run::RunToTheEnd();
    return 0;
}
