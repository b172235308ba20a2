// vesk's installer-database reader on any bytes: the compound-file
// signature test and the Property table read through libmsi.
#include <cstddef>
#include <cstdint>

#include "failure.h"
#include "fuzz_file.h"
#include "msi_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_file::InputAsFile file(data, size);
    try {
        if (vesk::HasCompoundFileSignature(file.Path()))
            vesk::ReadMsiProperties(file.Path(), {"ProductCode", "ProductVersion", "ProductName", "Manufacturer"});
    } catch (const vesk::Failure&) {
    }
    return 0;
}
