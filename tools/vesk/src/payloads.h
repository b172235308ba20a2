// The container's payloads, in container order, and every name each one
// goes by in the tool.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "format/container_layout.h"

namespace vesk {

enum class PayloadId : uint8_t { Runtime9X, RuntimeNT, Product };

struct PayloadNames {
    const char* name;          // inspect, verify and unpack: "runtimeNT"
    const char* label;         // pack: "runtime NT"
    const char* unpackedFile;  // the file unpack writes; the product keeps its stored name
    uint32_t ContainerHeader::*storedSize;
    DigestIndex digest;  // its place in the digest record
};

inline constexpr std::array<PayloadNames, 3> kPayloads = {{
    {"runtime9X", "runtime 9X", "runtime-9x.exe", &ContainerHeader::runtime9XSize, DIGEST_RUNTIME_9X},
    {"runtimeNT", "runtime NT", "runtime-nt.exe", &ContainerHeader::runtimeNTSize, DIGEST_RUNTIME_NT},
    {"product", "product", nullptr, &ContainerHeader::productSize, DIGEST_PRODUCT},
}};

inline constexpr const PayloadNames& NamesOf(PayloadId id) {
    return kPayloads[static_cast<size_t>(id)];
}

}  // namespace vesk
