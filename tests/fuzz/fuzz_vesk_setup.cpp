// vesk's setup reader on any bytes: what verify and inspect read (PE
// headers, payload section, container head, texts, payloads and their CRC
// trailers). A refusal is a vesk::Failure; anything else escaping is a bug.
#include <cstddef>
#include <cstdint>

#include "describe_setup.h"
#include "failure.h"
#include "fuzz_file.h"
#include "verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_file::InputAsFile file(data, size);
    try {
        vesk::VerifySetup(file.Path());
        vesk::InspectSetup(file.Path());
    } catch (const vesk::Failure&) {
    }
    return 0;
}
