#include "stub_location.h"

#include <optional>
#include <vector>

#include "failure.h"

namespace vesk {

namespace {

std::vector<std::filesystem::path> StubDirectories() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) throw Failure("/proc/self/exe", "cannot find the tool's own directory; give --stub");
    const std::filesystem::path bin = self.parent_path();
    return {bin, (bin / ".." / "lib" / "vesk").lexically_normal()};
}

std::optional<std::filesystem::path> FindStub(StubArch arch, const std::vector<std::filesystem::path>& directories) {
    for (const std::filesystem::path& directory : directories) {
        std::error_code error;
        if (std::filesystem::is_regular_file(directory / StubFileName(arch), error)) return directory / StubFileName(arch);
    }
    return std::nullopt;
}

std::string NotFound(const std::vector<std::filesystem::path>& directories) {
    std::string places;
    for (const std::filesystem::path& directory : directories)
        places += (places.empty() ? "" : " or ") + directory.string();
    return "not found in " + places;
}

}  // namespace

const char* StubFileName(StubArch arch) {
    return arch == StubArch::X64 ? "vesk-stub-x64.exe" : "vesk-stub.exe";
}

std::filesystem::path DefaultStubPath(StubArch arch) {
    const auto directories = StubDirectories();
    if (auto stub = FindStub(arch, directories)) return *stub;
    throw Failure(StubFileName(arch), NotFound(directories) +
                                          "; give --stub FILE, or --arch for another stub (vesk --version "
                                          "--verbose says which are there)");
}

std::string DescribeStubs() {
    const auto directories = StubDirectories();
    std::string text;
    for (StubArch arch : {StubArch::X86, StubArch::X64}) {
        const auto stub = FindStub(arch, directories);
        text += std::string("stub ") + ArchName(arch) + ": " +
                (stub ? stub->string() : std::string(StubFileName(arch)) + " " + NotFound(directories)) + "\n";
    }
    return text;
}

}  // namespace vesk
