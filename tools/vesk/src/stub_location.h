// Where vesk finds its stubs: beside itself (a build tree) or in
// ../lib/vesk (installed: bin/vesk and lib/vesk/vesk-stub.exe).
#pragma once

#include <filesystem>
#include <string>

#include "pe_image.h"

namespace vesk {

const char* StubFileName(StubArch arch);

// The arch's stub; Failure naming the places looked in when there is none.
std::filesystem::path DefaultStubPath(StubArch arch);

// For vesk --version --verbose: each arch's stub and where it was found.
std::string DescribeStubs();

}  // namespace vesk
